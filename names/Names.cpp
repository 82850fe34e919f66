#include "Names.h"

#include "display/MapView.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fs = std::filesystem;

namespace dm {

void NameState::remove(const TNaz* n) {
    auto drop = [n](std::vector<NameRef>& v) {
        v.erase(std::remove_if(v.begin(), v.end(), [n](const NameRef& r) { return r.get() == n; }), v.end());
    };
    drop(MapNames);
    drop(AllNames);
}

void LoadNames(BinReader& in, std::vector<NameRef>& out, std::vector<uint64_t>* ends) {
    out.clear();
    while (!in.atEnd()) {
        auto n = std::make_shared<TNaz>();
        n->OldName = in.countedString();
        n->NewName = in.countedString();
        n->X1 = in.f64();
        n->Y1 = in.f64();
        n->X2 = in.f64();
        n->Y2 = in.f64();
        n->FontName = in.countedString();
        if (n->FontName.size() > kFontNameMax) n->FontName.resize(kFontNameMax);
        n->Bold = in.u8() != 0;
        n->Italic = in.u8() != 0;
        n->FontColor = in.i32();
        n->FontSize = in.u8();
        n->BoundObject = in.i32();
        n->Anchor = in.u8();
        out.push_back(std::move(n));
        if (ends) ends->push_back(in.offset());
    }
}

void LoadNames(const fs::path& path, std::vector<NameRef>& out) {
    BinReader in(resolvePathCase(path));
    LoadNames(in, out);
}

void EncodeName(BinWriter& w, const TNaz& n) {
    w.countedString(n.OldName);
    w.countedString(n.NewName);
    w.f64(n.X1);
    w.f64(n.Y1);
    w.f64(n.X2);
    w.f64(n.Y2);
    w.countedString(std::string_view(n.FontName).substr(0, kFontNameFileMax));
    w.u8(n.Bold ? 1 : 0);
    w.u8(n.Italic ? 1 : 0);
    w.i32(n.FontColor);
    w.u8(n.FontSize);
    w.i32(n.BoundObject);
    w.u8(n.Anchor);
}

void SaveNames(const fs::path& path, const std::vector<NameRef>& names, FileBatch* batch) {
    BinWriter w;
    for (const auto& n : names) EncodeName(w, *n);
    writeFileAtomically(path, w.data(), batch);
}

std::string NameDisplayText(const TNaz& n) {
    const std::string& text = n.NewName.empty() ? n.OldName : n.NewName;
    const size_t comma = text.find(',');
    std::string head, tail;
    if (comma == std::string::npos) {
        tail = text;
    } else {
        head = text.substr(0, comma + 1);
        tail = text.substr(comma + 1);
    }
    static const std::pair<std::string, std::string> kShort[] = {
        {utf8ToCp1251(" улица"), utf8ToCp1251(" ул.")},
        {utf8ToCp1251(" проезд"), utf8ToCp1251(" пр.")},
        {utf8ToCp1251(" переулок"), utf8ToCp1251(" пер.")},
        {utf8ToCp1251(" тупик"), utf8ToCp1251(" туп.")},
    };
    for (const auto& [from, to] : kShort)
        if (tail == from) return head + to;
    return head + tail;
}

int NameFontSize(double d) {
    if (d < 2000) return 13;
    if (d < 3000) return 12;
    if (d < 4500) return 11;
    if (d < 7000) return 10;
    if (d < 10000) return 9;
    if (d < 15000) return 8;
    if (d < 20000) return 7;
    return 6;
}

int NameAngle(int x1, int y1, int x2, int y2) {
    // In doubles: far-off ends must not overflow the difference.
    const double dx = double(x2) - x1, dy = double(y2) - y1;
    if (dy == 0) return 0;
    return rnd(std::atan2(-dy, dx) * 180 / std::numbers::pi);
}

QFont ScreenFont(const QString& face, bool bold, bool italic, int pointSize) {
    QFont f(face);
    const QString lower = face.toLower();
    if (lower.contains(QLatin1String("courier")) || lower.contains(QLatin1String("mono")))
        f.setStyleHint(QFont::TypeWriter);
    else if ((lower.contains(QLatin1String("serif")) && !lower.contains(QLatin1String("sans"))) ||
             lower.contains(QLatin1String("times")))
        f.setStyleHint(QFont::Serif);
    else
        f.setStyleHint(QFont::SansSerif);
    f.setBold(bold);
    f.setItalic(italic);
    f.setPointSize(std::max(1, pointSize));
    // Plain pixels, so that a label drawn again in white is gone completely.
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void DrawRotatedText(QPainter& p, const QString& text, int x1, int y1, int x2, int y2, QFont font,
                     const QColor& color, double scaleDenominator) {
    font.setPointSize(NameFontSize(scaleDenominator));
    const int angle = NameAngle(x1, y1, x2, y2);
    p.save();
    p.setFont(font);
    p.setPen(color);
    p.setBackgroundMode(Qt::TransparentMode);
    p.translate(x1, y1);
    p.rotate(-angle);
    p.drawText(QPoint(0, QFontMetrics(font, p.device()).ascent()), text);
    p.restore();
}

std::pair<QPoint, QPoint> BoundLabelPoints(const TNaz& n, QPoint a, QPoint b, bool print) {
    if (n.BoundObject >= 0) {
        if (n.Anchor == 1 || n.Anchor == 2) {
            a += print ? QPoint(5, -6) : QPoint(5, -6);
            b += print ? QPoint(0, -6) : QPoint(5, -6);
        } else if (n.Anchor == 3) {
            a.setX(b.x() - 7 * int(NameDisplayText(n).size()));
            a += QPoint(0, -6);
            b += QPoint(0, -6);
        }
    }
    return {a, b};
}

void DrawNameAt(QPainter& p, const TNaz& n, QPoint a0, QPoint b0, bool erased, double denominator, bool print) {
    // Ends held within half a billion pixels: the offsets of a bound label
    // cannot overflow, and nothing that far reaches the picture.
    static constexpr int kFar = 1 << 29;
    auto held = [](QPoint q) { return QPoint(std::clamp(q.x(), -kFar, kFar), std::clamp(q.y(), -kFar, kFar)); };
    a0 = held(a0);
    b0 = held(b0);
    const std::string text = NameDisplayText(n);
    const auto [a, b] = BoundLabelPoints(n, a0, b0, print);
    DrawRotatedText(p, fromCp1251(text), a.x(), a.y(), b.x(), b.y(),
                    ScreenFont(fromCp1251(n.FontName), n.Bold, n.Italic, n.FontSize),
                    erased ? QColor(Qt::white)
                           : QColor(n.FontColor & 0xFF, (n.FontColor >> 8) & 0xFF, (n.FontColor >> 16) & 0xFF),
                    denominator);
}

void DrawName(QPainter& p, const TNaz& n, const MapView& view, bool erased) {
    if (!(view.ViewXMin <= n.X1 && n.X1 <= view.ViewXMax && view.ViewYMin <= n.Y1 && n.Y1 <= view.ViewYMax)) return;
    if (!FinitePoint(n.X1, n.Y1) || !FinitePoint(n.X2, n.Y2)) return;
    const TGn a = view.toPixel({n.X1, n.Y1}), b = view.toPixel({n.X2, n.Y2});
    DrawNameAt(p, n, QPoint(a.PX, a.PY), QPoint(b.PX, b.PY), erased, view.ScaleDenominator, false);
}

void DrawAllNames(QPainter& p, const NameState& names, const MapView& view, bool show) {
    if (!show) return;
    for (const auto& n : names.MapNames) DrawName(p, *n, view, names.NamesErased);
}

void DrawNameScaled(QPainter& p, const TNaz& n, const MapView& view, double psx, double psy, bool erased) {
    if (!FinitePoint(n.X1, n.Y1) || !FinitePoint(n.X2, n.Y2)) return;
    auto px = [&](double x, double y) { return QPoint(rnd((y - view.ViewYMin) * psy), rnd((view.ViewXMax - x) * psx)); };
    DrawNameAt(p, n, px(n.X1, n.Y1), px(n.X2, n.Y2), erased, view.ScaleDenominator, true);
}

void DrawPrintedLabels(QPainter& p, const std::vector<NameRef>& names, const MapView& view, double psx,
                       double psy, bool erased) {
    for (const auto& n : names) {
        if (n->FontName == "Arial") {
            TNaz printed = *n;
            printed.FontName = "Courier New Cyr";
            DrawNameScaled(p, printed, view, psx, psy, erased);
        } else {
            DrawNameScaled(p, *n, view, psx, psy, erased);
        }
    }
}

NameHit FindName(const std::vector<NameRef>& names, const MapView& view, QPoint click) {
    NameHit hit;
    for (size_t i = 0; i < names.size(); ++i) {
        const TNaz& n = *names[i];
        const TGn a = view.toPixel({n.X1, n.Y1}), b = view.toPixel({n.X2, n.Y2});
        const TGn& t = n.Anchor == 3 ? b : a;
        if (std::abs(click.x() - t.PX) < 5 && std::abs(click.y() - t.PY) < 5) {
            hit.Index = int(i);
            hit.First = QPoint(a.PX, a.PY);
            hit.Second = QPoint(b.PX, b.PY);
            return hit;
        }
    }
    return hit;
}

void ApplyNameFont(TNaz& n, const TNameFont& f) {
    n.FontName = f.Face.substr(0, kFontNameMax);
    n.Bold = f.Bold;
    n.Italic = f.Italic;
    n.FontSize = uint8_t(std::clamp(f.Size, 0, 255));
    n.FontColor = f.Color;
}

}  // namespace dm
