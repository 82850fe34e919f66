#include "HitTest.h"

#include "mapdata/Geometry.h"

#include <algorithm>
#include <cmath>

namespace dm {

namespace {

constexpr double kMarginPixels = 10;   // beyond any pixel the rules accept
constexpr size_t kLargeCells = 64;     // objects over more cells are kept aside

bool passes(const TObj& o, const std::vector<int>* filter) {
    return !filter || std::find(filter->begin(), filter->end(), o.Code) != filter->end();
}

// Tests one object whose EditPoints are `ep`; fills the hit.
bool testObject(const TObj& o, const std::vector<TGn>& ep, QPoint click, ObjectHit& hit) {
    const size_t n = ep.size();
    for (size_t j = 0; j < n; ++j) {
        if (VertexUnderClick(ep[j], click)) {
            hit.Index = int(j);
            hit.OnVertex = true;
            hit.Snapped = QPoint(ep[j].PX, ep[j].PY);
            hit.Map = o.Points[j];
            return true;
        }
        if (j + 1 < n && PointOnSegment({ep[j].PX, ep[j].PY}, {ep[j + 1].PX, ep[j + 1].PY}, {click.x(), click.y()})) {
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

void ObjectGrid::build(const TObjList& list) {
    const size_t n = list.size();
    boxes_.assign(n, Box{1, -1, 1, -1});
    double gx0 = INFINITY, gx1 = -INFINITY, gy0 = INFINITY, gy1 = -INFINITY;
    for (size_t i = 0; i < n; ++i) {
        const TObj& o = *list[i];
        Box b{INFINITY, -INFINITY, INFINITY, -INFINITY};
        for (const TXY& p : o.Points) {
            if (!std::isfinite(p.X) || !std::isfinite(p.Y)) continue;
            b.xmin = std::min(b.xmin, p.X);
            b.xmax = std::max(b.xmax, p.X);
            b.ymin = std::min(b.ymin, p.Y);
            b.ymax = std::max(b.ymax, p.Y);
        }
        if (b.xmin > b.xmax) continue;  // no usable vertex: never under a click
        boxes_[i] = b;
        gx0 = std::min(gx0, b.xmin);
        gx1 = std::max(gx1, b.xmax);
        gy0 = std::min(gy0, b.ymin);
        gy1 = std::max(gy1, b.ymax);
    }
    cells_.clear();
    large_.clear();
    list_ = &list;
    revision_ = list.revision();
    built_ = true;
    if (!(gx0 <= gx1)) {
        nx_ = ny_ = 0;
        return;
    }
    const double w = std::max(gx1 - gx0, 1e-3), h = std::max(gy1 - gy0, 1e-3);
    const double cells = std::clamp(double(n) / 2, 1.0, 4e6);
    cell_ = std::max({std::sqrt(w * h / cells), std::max(w, h) / 4096, 1e-3});
    x0_ = gx0;
    y0_ = gy0;
    nx_ = std::max(1, int(std::ceil(w / cell_)) + 1);
    ny_ = std::max(1, int(std::ceil(h / cell_)) + 1);
    cells_.assign(size_t(nx_) * size_t(ny_), {});
    for (size_t i = 0; i < n; ++i) {
        const Box& b = boxes_[i];
        if (b.xmin > b.xmax) continue;
        const int cx0 = int((b.xmin - x0_) / cell_), cx1 = int((b.xmax - x0_) / cell_);
        const int cy0 = int((b.ymin - y0_) / cell_), cy1 = int((b.ymax - y0_) / cell_);
        if (size_t(cx1 - cx0 + 1) * size_t(cy1 - cy0 + 1) > kLargeCells) {
            large_.push_back(uint32_t(i));
            continue;
        }
        for (int cx = cx0; cx <= cx1; ++cx)
            for (int cy = cy0; cy <= cy1; ++cy) cells_[size_t(cx) * size_t(ny_) + size_t(cy)].push_back(uint32_t(i));
    }
}

void ObjectGrid::candidates(double xmin, double xmax, double ymin, double ymax, std::vector<uint32_t>& out) const {
    out.clear();
    auto meets = [&](uint32_t i) {
        const Box& b = boxes_[i];
        return b.xmin <= xmax && b.xmax >= xmin && b.ymin <= ymax && b.ymax >= ymin;
    };
    for (uint32_t i : large_)
        if (meets(i)) out.push_back(i);
    if (nx_ > 0) {
        // Cell numbers in doubles first: a query far off the grid must not overflow.
        auto cellOf = [this](double v, double origin, int n) {
            return int(std::clamp(std::floor((v - origin) / cell_), -1.0, double(n)));
        };
        const int cx0 = std::max(0, cellOf(xmin, x0_, nx_)), cx1 = std::min(nx_ - 1, cellOf(xmax, x0_, nx_));
        const int cy0 = std::max(0, cellOf(ymin, y0_, ny_)), cy1 = std::min(ny_ - 1, cellOf(ymax, y0_, ny_));
        for (int cx = cx0; cx <= cx1; ++cx)
            for (int cy = cy0; cy <= cy1; ++cy)
                for (uint32_t i : cells_[size_t(cx) * size_t(ny_) + size_t(cy)])
                    if (meets(i)) out.push_back(i);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
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
    if (!grid_.current(doc.ObjList)) grid_.build(doc.ObjList);
    const TXY c = view.toMap(click.x(), click.y());
    const double m = kMarginPixels / view.Scale;
    grid_.candidates(c.X - m, c.X + m, c.Y - m, c.Y + m, cand_);
    std::vector<TGn> ep;
    for (uint32_t i : cand_) {
        if (i < from) continue;
        TObj* o = doc.ObjList[i];
        if (!passes(*o, layerFilter)) continue;
        FillEditPoints(*o, view, ep);
        if (testObject(*o, ep, click, hit)) {
            hit.Number = o->Number;
            hit.Object = o;
            doc.CurObj = o;
            doc.EditPoints.swap(ep);
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
    if (!grid_.current(doc.ObjList)) grid_.build(doc.ObjList);
    const TXY c = view.toMap(click.x(), click.y());
    const double m = kMarginPixels / std::max(view.Scale, 1e-300);
    grid_.candidates(c.X - m, c.X + m, c.Y - m, c.Y + m, cand_);
    for (uint32_t i : cand_) {
        const TObj* o = doc.ObjList[i];
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
