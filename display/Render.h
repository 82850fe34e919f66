#pragma once
// Drawing of one map object on a painter: the screen path (symbol factor 1,
// raster symbols for points) and the print path (factor above 1, printer
// transform, drawn point figures and heavier lines for some codes).

#include "MapView.h"

#include "mapdata/MapObjects.h"
#include "mapdata/ObjectIndex.h"

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QPen>

class QImage;
class QPainter;

namespace dm {

class ZnakSet;

struct RenderContext {
    MapView view;                 // transform of the screen path
    double PrintScaleX = 0;       // rows per map unit of the print path
    double PrintScaleY = 0;       // columns per map unit of the print path
    bool NoAreaFill = false;      // areas as outlines only
    uint8_t SeriesSelector = 10;  // drawing happens only when it is 10
    const ZnakSet* znaks = nullptr;
};

inline QColor colorFromTColor(int32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline int32_t tcolorFromColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }

// The Windows pen of an object: style 5 draws nothing; dashed styles apply to
// one-pixel pens only (a wider styled pen is solid), wide pens have round
// ends and joins.
QPen windowsPen(int32_t color, int width, uint8_t style);
// Brush style 0 solid, 1 clear, 2 horizontal, 3 vertical, 4 forward
// diagonal, 5 backward diagonal, 6 cross, 7 diagonal cross.
QBrush windowsBrush(int32_t color, uint8_t style);

// Fills a closed outline of screen points (its last point in the column of
// its first) as one polygon with the painter's brush and pen; a point after
// the first in a negative column stands in for the point before it.  False,
// nothing drawn, when the outline is open.
bool DrawAreaFill(QPainter& p, const std::vector<QPoint>& pts);

// Draws the object with the factor: the screen path when it is 1, the print
// path when above 1, nothing below 1.  A stored pen width of 0 becomes 1.
// The painter's composition mode is the caller's (copy or not-xor).
void DrawObject(QPainter& p, TObj& obj, double factor, const RenderContext& ctx);
// Draws objects one after another on one painter, each as DrawObject does.
// What depends only on the painter is found once, and figures written
// straight into the painter's image leave its pen and brush as they were;
// the painter's state must not change while this is in use.
class ObjectPainter {
public:
    ObjectPainter(QPainter& p, const RenderContext& ctx);
    void draw(TObj& obj, double factor);

private:
    QPainter& p_;
    const RenderContext ctx_;   // a copy: small, and safe from temporaries
    QImage* direct_ = nullptr;  // the image behind the painter, when pixels may be written into it
    QSize device_;
    std::vector<QPoint> pts_;
};

// What drawing the object changes in it (a stored pen width of 0 becomes 1),
// without drawing it: after it, drawing only reads the object.
void PrepareForDrawing(TObj& obj, double factor, const RenderContext& ctx);

// False when nothing of the object drawn with the factor can come within
// `margin` pixels of the rectangle (the object's vertices, the circle of a
// circle or arc, its pen and ornaments taken into account); true when it may.
bool MayReach(const TObj& o, double factor, const RenderContext& ctx, const QRect& pixels, double margin);
// The same answer, found without the object where its note can rule it out:
// the note keeps, for one scale and factor, how far the object's figure can
// reach from its first vertex, and is worked out again when they change.
// The note must be emptied whenever the object changes.
bool MayReach(const TObj& o, double factor, const RenderContext& ctx, const QRect& pixels, double margin,
              ObjectIndex::FarNote& note);

// Centre of the circle through three pixels (to the nearest pixel); false
// when they lie on one line.
bool CircleCentre(QPoint a, QPoint b, QPoint c, QPoint& centre);

}  // namespace dm
