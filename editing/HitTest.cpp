#include "HitTest.h"

#include "mapdata/Geometry.h"

#include <algorithm>
#include <cmath>

namespace dm {

namespace {

// How far outside an object's vertex extent a click the rules accept can
// lie, in pixels: a segment's hit is less than 4.5 pixels from its line
// with the foot at most a pixel and a half past an end, a vertex's within
// 2; each vertex is rounded to its pixel (half a pixel); and over a long
// segment the rule's line turns by up to 2.4e-7 of its length (the
// near-axis rounding), bounded by the extent of the whole map.  Never more
// than 10.
double hitMargin(const MapDoc& doc, const MapView& view) {
    const double longest = doc.Index.extentDiagonal() * view.Scale;
    return std::isfinite(longest) ? std::min(10.0, 7 + 2.5e-7 * longest) : 10.0;
}

bool passes(const TObj& o, const std::vector<int>* filter) {
    return !filter || std::find(filter->begin(), filter->end(), o.Code) != filter->end();
}

// Tests one object whose EditPoints are `ep`; fills the hit.
bool testObject(const TObj& o, const std::vector<TGn>& ep, QPoint click, ObjectHit& hit) {
    if (!AllFinite(o.Points)) return false;  // never drawn, so never found
    const size_t n = ep.size();
    for (size_t j = 0; j < n; ++j) {
        if (VertexUnderClick(ep[j], click)) {
            hit.Index = int(j);
            hit.OnVertex = true;
            hit.Snapped = QPoint(ep[j].PX, ep[j].PY);
            hit.Map = o.Points[j];
            return true;
        }
        if (j + 1 < n && SegmentMayHold({ep[j].PX, ep[j].PY}, {ep[j + 1].PX, ep[j + 1].PY}, {click.x(), click.y()}) &&
            PointOnSegment({ep[j].PX, ep[j].PY}, {ep[j + 1].PX, ep[j + 1].PY}, {click.x(), click.y()})) {
            hit.Index = int(j);
            hit.OnVertex = false;
            hit.Snapped = click;
            return true;
        }
    }
    return false;
}

}  // namespace

void FillEditPoints(const TObj& o, const MapView& view, std::vector<TGn>& out) {
    out.resize(o.Points.size());
    for (size_t i = 0; i < o.Points.size(); ++i) out[i] = view.toPixel(o.Points[i]);
}

int PickVertex(const std::vector<TGn>& pts, QPoint click, bool lastMatch) {
    int found = -1;
    for (size_t i = 0; i < pts.size(); ++i) {
        if (VertexUnderClick(pts[i], click)) {
            found = int(i);
            if (!lastMatch) break;
        }
    }
    return found;
}

int PickVertex(const std::vector<QPoint>& pts, QPoint click, bool lastMatch) {
    int found = -1;
    for (size_t i = 0; i < pts.size(); ++i) {
        if (VertexUnderClick({pts[i].x(), pts[i].y()}, click)) {
            found = int(i);
            if (!lastMatch) break;
        }
    }
    return found;
}

ObjectHit HitTester::FindObjectByScan(MapDoc& doc, const MapView& view, QPoint click,
                                      const std::vector<int>* layerFilter, size_t from) {
    ObjectHit hit;
    for (size_t i = from; i < doc.ObjList.size(); ++i) {
        TObj* o = doc.ObjList[i];
        if (!passes(*o, layerFilter)) continue;
        doc.CurObj = o;
        FillEditPoints(*o, view, doc.EditPoints);
        if (testObject(*o, doc.EditPoints, click, hit)) {
            hit.Number = o->Number;
            hit.Object = o;
            return hit;
        }
    }
    return hit;
}

ObjectHit HitTester::FindObject(MapDoc& doc, const MapView& view, QPoint click, const std::vector<int>* layerFilter,
                                size_t from) {
    ObjectHit hit;
    if (view.Scale <= 0 || !std::isfinite(view.Scale)) return FindObjectByScan(doc, view, click, layerFilter, from);
    const TXY c = view.toMap(click.x(), click.y());
    const double m = hitMargin(doc, view) / view.Scale;
    doc.Index.query(c.X - m, c.X + m, c.Y - m, c.Y + m, cand_);
    const int64_t fromKey = from == 0 ? INT64_MIN : from < doc.ObjList.size() ? doc.Index.key(doc.ObjList[from]) : INT64_MAX;
    std::vector<TGn>& ep = ep_;
    for (TObj* o : cand_) {
        if (from > 0 && doc.Index.key(o) < fromKey) continue;
        if (!passes(*o, layerFilter)) continue;
        FillEditPoints(*o, view, ep);
        if (testObject(*o, ep, click, hit)) {
            hit.Number = o->Number;
            hit.Object = o;
            doc.CurObj = o;
            doc.EditPoints = ep;
            return hit;
        }
    }
    // A miss leaves the last object tested current, as the scan does.
    for (size_t i = doc.ObjList.size(); i > from; --i) {
        TObj* o = doc.ObjList[i - 1];
        if (!passes(*o, layerFilter)) continue;
        doc.CurObj = o;
        FillEditPoints(*o, view, doc.EditPoints);
        break;
    }
    return hit;
}

ObjectHit HitTester::FindVertexOfAnyObject(const MapDoc& doc, const MapView& view, QPoint click) {
    ObjectHit hit;
    const TXY c = view.toMap(click.x(), click.y());
    const double m = hitMargin(doc, view) / std::max(view.Scale, 1e-300);
    doc.Index.query(c.X - m, c.X + m, c.Y - m, c.Y + m, cand_);
    for (const TObj* o : cand_) {
        if (!AllFinite(o->Points)) continue;
        for (size_t j = 0; j < o->Points.size(); ++j) {
            const TGn v = view.toPixel(o->Points[j]);
            if (VertexUnderClick(v, click)) {
                hit.Number = o->Number;
                hit.Index = int(j);
                hit.OnVertex = true;
                hit.Object = const_cast<TObj*>(o);
                hit.Snapped = QPoint(v.PX, v.PY);
                hit.Map = o->Points[j];
                return hit;
            }
        }
    }
    return hit;
}

}  // namespace dm
