#include "UserAreas.h"

#include "display/MapView.h"
#include "display/Render.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace fs = std::filesystem;

namespace dm {

namespace {
void need(BinReader& in, uint64_t n, uint64_t at) {
    if (in.remaining() < n) in.fail("запись области обрезана", at);
}
}  // namespace

void LoadUserAreas(BinReader& in, std::vector<AreaRef>& out, std::vector<uint64_t>* ends) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        auto a = std::make_shared<TRovd>();
        need(in, 4, at);
        in.i32();  // the stored number: areas are numbered by position
        a->Name = in.countedString(kAreaNameMax, "названия");
        a->FontName = in.countedString(kAreaFontMax, "шрифта");
        need(in, 1 + 1 + 4 + 1, at);
        a->Bold = in.u8();
        a->Italic = in.u8();
        a->FontColor = in.i32();
        a->FontSize = in.u8();
        a->Note = in.countedString(kAreaNoteMax, "примечания");
        need(in, 1 + 8 + 8 + 4 + 4, at);
        a->Figure = in.u8();
        a->PenColor = in.i32();
        a->BrushColor = in.i32();
        a->BrushColor = in.i32();  // written twice: the later copy wins
        a->PenWidth = in.i32();
        a->PenWidth = in.i32();
        const uint64_t countAt = in.offset();
        const int32_t n = in.i32();
        if (n < 0 || uint64_t(n) * 16 > in.remaining())
            in.fail("недопустимое число точек " + std::to_string(n), countAt);
        a->Points.resize(size_t(n));
        for (TXY& p : a->Points) {
            p.X = in.f64();
            p.Y = in.f64();
        }
        need(in, 4, at);
        const uint64_t linesAt = in.offset();
        const int32_t lines = in.i32();
        if (lines < 0 || uint64_t(lines) * 5 > in.remaining())
            in.fail("недопустимое число строк справки " + std::to_string(lines), linesAt);
        for (int32_t i = 0; i < lines; ++i) {
            // Lines longer than 79 are cut on reading.
            const uint64_t lat = in.offset();
            if (in.remaining() < 4) in.fail("запись обрезана: справка", lat);
            const int32_t l = in.i32();
            if (l < 1 || l > 256 || uint64_t(l) > in.remaining()) in.fail("недопустимая длина строки справки", lat);
            const uint8_t* p = in.take(size_t(l));
            if (p[0] > l - 1) in.fail("длина строки справки больше поля", lat + 4);
            a->Lines.emplace_back(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], kAreaLineMax));
        }
        a->Number = int32_t(out.size());
        out.push_back(std::move(a));
        if (ends) ends->push_back(in.offset());
    }
}

void LoadUserAreas(const fs::path& path, std::vector<AreaRef>& out) {
    BinReader in(resolvePathCase(path));
    LoadUserAreas(in, out);
}

void EncodeUserArea(BinWriter& w, const TRovd& a) {
    w.i32(a.Number);
    w.countedString(std::string_view(a.Name).substr(0, kAreaNameMax));
    w.countedString(std::string_view(a.FontName).substr(0, kAreaFontMax));
    w.u8(a.Bold);
    w.u8(a.Italic);
    w.i32(a.FontColor);
    w.u8(a.FontSize);
    w.countedString(std::string_view(a.Note).substr(0, kAreaNoteMax));
    w.u8(a.Figure);
    w.i32(a.PenColor);
    w.i32(a.BrushColor);
    w.i32(a.BrushColor);
    w.i32(a.PenWidth);
    w.i32(a.PenWidth);
    w.i32(int32_t(a.Points.size()));
    for (const TXY& p : a.Points) {
        w.f64(p.X);
        w.f64(p.Y);
    }
    w.i32(int32_t(a.Lines.size()));
    for (const auto& l : a.Lines) w.countedString(std::string_view(l).substr(0, kAreaLineMax));
}

void SaveUserAreas(const fs::path& path, const std::vector<AreaRef>& areas) {
    BinWriter w;
    for (const auto& a : areas) EncodeUserArea(w, *a);
    writeFileAtomically(path, w.data());
}

namespace {
constexpr double kPi = std::numbers::pi;
QPoint step(QPoint from, double q, double dir) {
    return QPoint(rnd(from.x() + q * std::cos(dir)), rnd(from.y() + q * std::sin(dir)));
}
// Radians to degrees and back through degrees, minutes and seconds.
double toDegrees(double r) {
    double d, m, s;
    RadiansToDms(r, d, m, s);
    const double v = std::fabs(d) + m / 60 + s / 3600;
    return r < 0 ? -v : v;
}
double fromDegrees(double g) {
    const double a = std::fabs(g);
    const double d = std::trunc(a), m = std::trunc((a - d) * 60), s = ((a - d) * 60 - m) * 60;
    const double r = DmsToRadians(d, m, s);
    return g < 0 ? -r : r;
}
}  // namespace

std::vector<QPoint> BuildFigure(uint8_t figure, QPoint p0, QPoint p1, QPoint p2, int size) {
    const double q = size;
    const double alpha = DirectionAngle(p0.x(), p0.y(), p1.x(), p1.y());
    const double gamma = DirectionAngle(p1.x(), p1.y(), p2.x(), p2.y());
    const QPoint k1 = step(p0, q, alpha);
    // At right angles to alpha, towards the side of P0-P1 where P2 lies.
    double A = toDegrees(alpha + kPi), G = toDegrees(gamma);
    if (G < A) G += 360;
    double s = G - A;
    if (std::fabs(s) > 180) s = std::fabs(s) - 180;
    if (s > 0) G -= s - 90;
    else if (s < 0) G = G - 90 + std::fabs(s);
    const double beta = fromDegrees(G);
    QPoint k2 = step(k1, q, beta), k3 = step(p0, q, beta);
    switch (figure) {
        case FigureRectangle:
            k2 = step(k1, 0.75 * q, beta);
            k3 = step(p0, 0.75 * q, beta);
            return {p0, k1, k2, k3, p0};
        case FigureTriangle: {
            const QPoint mid(rnd((p0.x() + k1.x()) / 2.0), rnd((p0.y() + k1.y()) / 2.0));
            return {p0, k1, step(mid, q, beta), p0};
        }
        case FigureCircle:
            return {k3, k1};
        case FigurePentagon: {
            while (A >= 360) A -= 360;
            double d = A + 108;
            std::vector<QPoint> pts{p0, k1};
            QPoint cur = step(k1, q, fromDegrees(d));
            pts.push_back(cur);
            for (int i = 0; i < 3; ++i) {
                d = d + 108 - 180;
                cur = step(cur, q, fromDegrees(d));
                pts.push_back(cur);
            }
            return pts;
        }
        case FigureSquare:
            return {p0, k1, k2, k3, p0};
        default:
            return {};
    }
}

void DrawFigure(QPainter& p, const TRovd& area, const std::vector<QPoint>& pts, bool blinkForm) {
    if (pts.empty()) return;
    if (blinkForm) {
        if (area.Figure == FigureCircle && pts.size() >= 2) p.drawEllipse(QRect(pts[0], pts[1]).normalized());
        else p.drawPolyline(pts.data(), int(pts.size()));
        return;
    }
    p.setPen(windowsPen(area.PenColor, std::max(1, area.PenWidth), 0));
    p.setBrush(QBrush(colorFromTColor(area.BrushColor)));
    switch (area.Figure) {
        case FigureRectangle:
        case FigureSquare:
            p.drawPolygon(pts.data(), int(std::min<size_t>(4, pts.size())));
            break;
        case FigureTriangle:
            p.drawPolygon(pts.data(), int(std::min<size_t>(3, pts.size())));
            break;
        case FigurePentagon:
            p.drawPolygon(pts.data(), int(std::min<size_t>(5, pts.size())));
            break;
        case FigureCircle:
            if (pts.size() >= 2) p.drawEllipse(QRect(pts[0], pts[1]).normalized());
            break;
        default:
            break;
    }
}

std::vector<QPoint> DrawUserArea(QPainter& p, const TRovd& area, const MapView& view) {
    std::vector<QPoint> pts;
    if (!AllFinite(area.Points)) return pts;
    for (const TXY& q : area.Points) {
        const TGn g = view.toPixel(q);
        pts.emplace_back(g.PX, g.PY);
    }
    DrawFigure(p, area, pts, false);
    if (area.Figure != FigureCircle && pts.size() >= 2) {
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(pts.data(), int(pts.size()));
    }
    if (!pts.empty()) {
        QFont f(fromCp1251(area.FontName));
        f.setBold(area.Bold != 0);
        f.setItalic(area.Italic != 0);
        f.setPointSize(std::max<int>(1, area.FontSize));
        p.setFont(f);
        p.setPen(colorFromTColor(area.FontColor));
        p.setBackgroundMode(Qt::TransparentMode);
        p.drawText(QPoint(pts.back().x() + 5, pts.back().y() + QFontMetrics(f, p.device()).ascent()),
                   fromCp1251(area.Name));
    }
    return pts;
}

}  // namespace dm
