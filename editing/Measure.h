#pragma once
// Measuring on the map: coordinates of clicked points, distances with a
// running sum, the area of the clicked polygon, and the length, area and
// perimeter of the selected object.

#include "classifier/Semantics.h"
#include "mapdata/MapDoc.h"

#include <QString>

namespace dm {

// Pascal's value:width:decimals: fixed decimals, right-aligned in at least `width`.
QString Fixed(double value, int width, int decimals);

// Text of measured point k (1-based) at map point p; `p` becomes the plane
// point for geographic maps (kind other than 1).  With a previous point the
// distance L is added to `sum` and shown with it.
QString MeasuredPointText(TXY& p, const TXY* previous, double& sum, const OrientationRecord& orient);
// "Площадь=..." of the polygon of the points (a closing copy of the first
// may follow).
QString MeasuredAreaText(const std::vector<TXY>& points);

struct LengthArea {
    double length = 0;  // along the vertices in order
    double area = 0;    // areas (kind 3) only
};
LengthArea ObjectLengthArea(const TObj& o, const OrientationRecord& orient);

// The status texts for a selected object: panel 3 (name or contour
// elevation), 4 (classifier name and code), 5 (length, or area and perimeter).
struct ObjectInfo {
    QString panel3, panel4, panel5;
    bool known = false;  // the code has a classifier line
};
ObjectInfo ShowObjectInfo(const TObj& o, const ActiveSemanticList& semantics, const OrientationRecord& orient);

inline bool IsContourCode(int code) { return code >= 2130 && code <= 2134; }

}  // namespace dm
