#pragma once
// Which object, vertex or segment lies under a click on the map image.
// The vertex rule: both pixel differences below 3.  The segment rule: the
// foot of the perpendicular on the segment (within a pixel) and the click
// less than 5 pixels from the line.  Objects are searched in list order;
// the map's object index picks the few that can be near the click, and they
// are tested in list order, so the answer is the one of a scan of the whole
// list.

#include "display/MapView.h"
#include "mapdata/MapDoc.h"

#include <QPoint>

#include <cstdint>
#include <vector>

namespace dm {

inline bool VertexUnderClick(const TGn& v, QPoint click) {
    return std::abs(click.x() - v.PX) < 3 && std::abs(click.y() - v.PY) < 3;
}

// The vertex of `pts` under a click: the lowest index (first match) or the
// highest (last match); -1 when none.
int PickVertex(const std::vector<TGn>& pts, QPoint click, bool lastMatch);
int PickVertex(const std::vector<QPoint>& pts, QPoint click, bool lastMatch);

struct ObjectHit {
    int Number = -1;          // the object's Number, -1 when nothing was hit
    int Index = -1;           // the vertex, or the first vertex of the segment
    bool OnVertex = false;
    TObj* Object = nullptr;
    QPoint Snapped;           // the click, moved onto the vertex when one was hit
    TXY Map;                  // the vertex's map coordinates when one was hit
};

class HitTester {
public:
    // The object rule: the first object (from list position `from`) with a
    // vertex or segment under the click.  As the rule does, every object it
    // passes becomes CurObj in turn and EditPoints holds the vertices of
    // CurObj: after a hit those of the object hit, after a miss those of the
    // last object tested.  With a layer filter only objects whose code is in
    // it are tested.
    ObjectHit FindObject(MapDoc& doc, const MapView& view, QPoint click, const std::vector<int>* layerFilter,
                         size_t from = 0);
    // The same by scanning the whole list (the reference for the index).
    static ObjectHit FindObjectByScan(MapDoc& doc, const MapView& view, QPoint click,
                                      const std::vector<int>* layerFilter, size_t from = 0);
    // The first vertex of any object under the click (list order, then
    // vertex order); no side effects.
    ObjectHit FindVertexOfAnyObject(const MapDoc& doc, const MapView& view, QPoint click);

private:
    std::vector<TObj*> cand_;
    std::vector<TGn> ep_;
};

// EditPoints of an object in the view.
void FillEditPoints(const TObj& o, const MapView& view, std::vector<TGn>& out);

}  // namespace dm
