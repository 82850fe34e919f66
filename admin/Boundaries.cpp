#include "Boundaries.h"

#include "display/Render.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/MapFiles.h"

#include <QPainter>

#include <algorithm>

namespace fs = std::filesystem;

namespace dm {

void ReadBoundaryFile(const fs::path& path, TObjList& into, bool drawn) {
    TObjList read;
    std::exception_ptr failure;
    try {
        LoadObjects(path, read);
    } catch (const FileError&) {
        failure = std::current_exception();
    }
    for (const auto& o : read) {
        auto b = std::make_unique<TRayObj>(*o);
        if (drawn) b->PenWidth = 2;
        into.appendAsIs(std::move(b));
    }
    if (failure) std::rethrow_exception(failure);
}

void WriteBoundaries(const fs::path& path, const TObjList& bounds) { SaveObjects(path, bounds); }

void RewriteBoundaryFile(const fs::path& path, const TObjList& bounds) {
    BinWriter w;
    for (const auto& b : bounds) EncodeObject(w, *b);
    writeFileAtomically(path, w.data());
}

std::vector<QPoint> ScreenPolygon(const TObj& o, const MapView& view) {
    std::vector<QPoint> out;
    // A boundary with a vertex that is not a number has no inside.
    if (!AllFinite(o.Points)) return out;
    out.reserve(o.Points.size());
    for (const TXY& p : o.Points) {
        const TGn g = view.toPixel(p);
        out.emplace_back(g.PX, g.PY);
    }
    return out;
}

bool PointInBoundary(const std::vector<QPoint>& poly, int x, int y) {
    if (poly.empty()) return false;
    bool inside = false;
    const double px = x, py = y;
    size_t j = poly.size() - 1;
    for (size_t i = 0; i < poly.size(); j = i++) {
        // The edge from vertex j to vertex i; in doubles, so that far-off
        // pixels cannot overflow.
        const double xi = poly[j].x(), yi = poly[j].y(), xj = poly[i].x(), yj = poly[i].y();
        const bool spans = (yi <= py && py < yj) || (yj <= py && py < yi);
        if (spans && px < (py - yi) * (xj - xi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

BoundaryTester::BoundaryTester(const std::vector<QPoint>& poly) : poly_(poly) {
    if (poly_.empty()) return;
    left_ = right_ = poly_[0].x();
    top_ = bottom_ = poly_[0].y();
    for (const QPoint& p : poly_) {
        left_ = std::min(left_, p.x());
        right_ = std::max(right_, p.x());
        top_ = std::min(top_, p.y());
        bottom_ = std::max(bottom_, p.y());
    }
}

const ListEntry* FindDistrict(const TObjList& bounds, const MapView& view, int x, int y,
                              const std::vector<ListEntry>& districts) {
    for (const auto& b : bounds) {
        if (!PointInBoundary(ScreenPolygon(*b, view), x, y)) continue;
        for (const ListEntry& e : districts)
            if (b->Name == e.name) return &e;
    }
    return nullptr;
}

std::string DistrictNameAt(const TObjList& bounds, double x, double y) {
    for (const auto& b : bounds) {
        const auto& pts = b->Points;
        if (pts.empty() || !AllFinite(pts)) continue;
        // The even-odd rule in map coordinates (Y across, X up).
        bool inside = false;
        for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
            const double yi = pts[j].Y, xi = pts[j].X, yj = pts[i].Y, xj = pts[i].X;
            if ((xi <= x && x < xj) || (xj <= x && x < xi))
                if (y < (x - xi) * (yj - yi) / (xj - xi) + yi) inside = !inside;
        }
        if (inside) return b->Name.str();
    }
    return {};
}

void DrawBoundary(QPainter& p, const TObj& b, const MapView& view, int32_t chosenColor, int chosenStyle) {
    const uint8_t style = chosenStyle != 1 ? uint8_t(chosenStyle) : b.BrushStyle;
    const int32_t color = chosenColor != 0xFFFFFF ? chosenColor : b.BrushColor;
    const std::vector<QPoint> pts = ScreenPolygon(b, view);
    if (pts.empty()) return;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(windowsPen(0, std::clamp(b.PenWidth, 1, 255), 0));
    p.setBrush(windowsBrush(color, style));
    if (!DrawAreaFill(p, pts))
        for (size_t i = 1; i < pts.size(); ++i) p.drawLine(pts[i - 1], pts[i]);
    p.restore();
}

}  // namespace dm
