#include "Streets.h"

#include <cstdio>

#include "display/MapView.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"
#include "names/Names.h"

#include <QCollator>
#include <QPainter>

#include <algorithm>

namespace fs = std::filesystem;

namespace dm {

std::string TDom::Nomer() const {
    const size_t len = std::min<size_t>(NomerField[0], kHouseNumberMax);
    return std::string(reinterpret_cast<const char*>(NomerField.data() + 1), len);
}

void TDom::setNomer(std::string_view s) {
    const size_t len = std::min(s.size(), kHouseNumberMax);
    NomerField[0] = uint8_t(len);
    std::copy_n(s.data(), len, NomerField.begin() + 1);
}

namespace {

// "int32 (length + 1), length byte, characters" with the field at most
// `max` characters long; anything else is a damaged file.
std::string readName(BinReader& in, size_t max, const char* what) {
    const uint64_t at = in.offset();
    if (in.remaining() < 4) in.fail(std::string("запись улицы обрезана: ") + what, at);
    const int32_t n = in.i32();
    if (n < 1 || uint64_t(n) > max + 1)
        in.fail(std::string("недопустимая длина поля ") + what + " " + std::to_string(n), at);
    if (uint64_t(n) > in.remaining()) in.fail(std::string("запись улицы обрезана: ") + what, at);
    const uint8_t* p = in.take(size_t(n));
    if (p[0] > n - 1)
        in.fail(std::string("длина ") + what + " " + std::to_string(p[0]) + " больше поля " + std::to_string(n - 1),
                at + 4);
    return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

void need(BinReader& in, uint64_t n, uint64_t at) {
    if (in.remaining() < n) in.fail("запись улицы обрезана", at);
}

}  // namespace

void LoadStreets(BinReader& in, std::vector<StreetRef>& out, std::vector<uint64_t>* ends) {
    out.clear();
    while (!in.atEnd()) {
        const uint64_t at = in.offset();
        auto s = std::make_shared<Trues>();
        need(in, 4, at);
        s->StreetNo = in.i32();
        s->OldName = readName(in, kStreetNameMax, "старого названия");
        s->NewName = readName(in, kStreetNameMax, "нового названия");
        need(in, 32, at);
        s->X1 = in.f64();
        s->Y1 = in.f64();
        s->X2 = in.f64();
        s->Y2 = in.f64();
        s->FontName = readName(in, kStreetFontMax, "имени шрифта");
        need(in, 1 + 1 + 4 + 1 + 4 + 1 + 4 + 4, at);
        s->Bold = in.u8();
        s->Italic = in.u8();
        s->FontColor = in.i32();
        s->FontSize = in.u8();
        s->BoundObject = in.i32();
        s->Anchor = in.u8();
        const uint64_t countsAt = in.offset();
        const int32_t axis = in.i32();
        const int32_t houses = in.i32();
        if (axis < 0) in.fail("отрицательное число точек оси " + std::to_string(axis), countsAt);
        if (houses < 0) in.fail("отрицательное число домов " + std::to_string(houses), countsAt + 4);
        if (uint64_t(axis) * 16 > in.remaining())
            in.fail("число точек оси " + std::to_string(axis) + " больше, чем помещается в файле", countsAt);
        // A house takes at least 6 + 8 + 8 + 1 + 4 + 1 bytes.
        if (uint64_t(houses) * 28 > in.remaining() - uint64_t(axis) * 16)
            in.fail("число домов " + std::to_string(houses) + " больше, чем помещается в файле", countsAt + 4);
        s->Axis.resize(size_t(axis));
        for (TXY& p : s->Axis) {
            p.X = in.f64();
            p.Y = in.f64();
        }
        s->Houses.resize(size_t(houses));
        for (TDom& h : s->Houses) {
            const uint64_t hat = in.offset();
            need(in, 6 + 8 + 8 + 1, hat);
            in.bytes(h.NomerField.data(), 6);
            if (h.NomerField[0] > kHouseNumberMax)
                in.fail("длина номера дома " + std::to_string(h.NomerField[0]) + " больше 5", hat);
            h.X = in.f64();
            h.Y = in.f64();
            h.Etage = in.u8();
            h.DopInf = readName(in, kHouseNoteMax, "сведений о доме");
        }
        out.push_back(std::move(s));
        if (ends) ends->push_back(in.offset());
    }
}

void LoadStreets(const fs::path& path, std::vector<StreetRef>& out) {
    BinReader in(resolvePathCase(path));
    LoadStreets(in, out);
}

void EncodeStreet(BinWriter& w, const Trues& s) {
    w.i32(s.StreetNo);
    w.countedString(std::string_view(s.OldName).substr(0, kStreetNameMax));
    w.countedString(std::string_view(s.NewName).substr(0, kStreetNameMax));
    w.f64(s.X1);
    w.f64(s.Y1);
    w.f64(s.X2);
    w.f64(s.Y2);
    w.countedString(std::string_view(s.FontName).substr(0, kStreetFontMax));
    w.u8(s.Bold);
    w.u8(s.Italic);
    w.i32(s.FontColor);
    w.u8(s.FontSize);
    w.i32(s.BoundObject);
    w.u8(s.Anchor);
    w.i32(int32_t(s.Axis.size()));
    w.i32(int32_t(s.Houses.size()));
    for (const TXY& p : s.Axis) {
        w.f64(p.X);
        w.f64(p.Y);
    }
    for (const TDom& h : s.Houses) {
        w.bytes(h.NomerField.data(), 6);
        w.f64(h.X);
        w.f64(h.Y);
        w.u8(h.Etage);
        w.countedString(std::string_view(h.DopInf).substr(0, kHouseNoteMax));
    }
}

void SaveStreets(const fs::path& path, const std::vector<StreetRef>& streets, FileBatch* batch) {
    BinWriter w;
    for (const auto& s : streets) EncodeStreet(w, *s);
    writeFileAtomically(path, w.data(), batch);
}

namespace {
TNaz asLabel(const Trues& s) {
    TNaz n;
    n.OldName = s.OldName;
    n.NewName = s.NewName;
    n.X1 = s.X1;
    n.Y1 = s.Y1;
    n.X2 = s.X2;
    n.Y2 = s.Y2;
    n.FontName = s.FontName;
    n.Bold = s.Bold != 0;
    n.Italic = s.Italic != 0;
    n.FontColor = s.FontColor;
    n.FontSize = s.FontSize;
    n.BoundObject = s.BoundObject;
    n.Anchor = s.Anchor;
    return n;
}
QPoint px(const MapView& v, double x, double y) {
    const TGn g = v.toPixel({x, y});
    return QPoint(g.PX, g.PY);
}
}  // namespace

std::string StreetDisplayText(const Trues& s) { return NameDisplayText(asLabel(s)); }

void DrawStreetName(QPainter& p, const Trues& s, const MapView& view, bool erase) {
    // Offsets as a label printed (a bound street moves only its first point
    // to the right).
    if (!FinitePoint(s.X1, s.Y1) || !FinitePoint(s.X2, s.Y2)) return;
    DrawNameAt(p, asLabel(s), px(view, s.X1, s.Y1), px(view, s.X2, s.Y2), erase, view.ScaleDenominator, true);
}

void DrawHouseNumber(QPainter& p, const TDom& h, const MapView& view) {
    if (!FinitePoint(h.X, h.Y)) return;
    const QPoint a = px(view, h.X, h.Y);
    DrawRotatedText(p, fromCp1251(h.Nomer()), a.x(), a.y(), a.x() + 10, a.y(),
                    ScreenFont(QStringLiteral("Arial"), false, false, 8), QColor(0, 0, 255), view.ScaleDenominator);
}

int FindStreetByName(const std::vector<StreetRef>& streets, const MapView& view, QPoint click) {
    for (size_t i = 0; i < streets.size(); ++i) {
        const Trues& s = *streets[i];
        if (s.Anchor >= 3) continue;
        const QPoint a = px(view, s.X1, s.Y1);
        if (std::abs(click.x() - a.x()) < 5 && std::abs(click.y() - a.y()) < 5) return int(i);
    }
    return -1;
}

std::vector<TGn> AxisPixels(const Trues& s, const MapView& view) {
    std::vector<TGn> out;
    out.reserve(s.Axis.size());
    for (const TXY& p : s.Axis) out.push_back(view.toPixel(p));
    return out;
}

int FindStreetByAxis(const std::vector<StreetRef>& streets, const MapView& view, QPoint click) {
    const IPt t{click.x(), click.y()};
    for (size_t i = 0; i < streets.size(); ++i) {
        const std::vector<TGn> a = AxisPixels(*streets[i], view);
        for (size_t j = 0; j < a.size(); ++j) {
            if (std::abs(click.x() - a[j].PX) < 3 && std::abs(click.y() - a[j].PY) < 3) return int(i);
            if (j + 1 < a.size() && PointOnSegment({a[j].PX, a[j].PY}, {a[j + 1].PX, a[j + 1].PY}, t)) return int(i);
        }
    }
    return -1;
}

int FindStreetByNames(const std::vector<StreetRef>& streets, std::string_view oldName, std::string_view newName) {
    for (size_t i = 0; i < streets.size(); ++i)
        if (streets[i]->OldName == oldName && streets[i]->NewName == newName) return int(i);
    return -1;
}

std::vector<StreetRow> FillStreetList(const std::vector<StreetRef>& streets, StreetOrder order) {
    std::vector<StreetRow> rows;
    rows.reserve(streets.size());
    std::vector<QString> keys;
    keys.reserve(streets.size());
    for (size_t i = 0; i < streets.size(); ++i) {
        const Trues& s = *streets[i];
        StreetRow r;
        r.first = order == StreetOrder::Old ? s.OldName : s.NewName;
        r.second = order == StreetOrder::Old ? s.NewName : s.OldName;
        r.street = int(i);
        keys.push_back(fromCp1251(r.first + ";" + r.second + ";"));
        rows.push_back(std::move(r));
    }
    // As the platform's sorted list: alphabetical, letter case ignored,
    // Latin before Cyrillic, "ё" with "е".
    QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> sortKeys;
    sortKeys.reserve(keys.size());
    for (const QString& k : keys) sortKeys.push_back(collator.sortKey(k));
    std::vector<int> idx(rows.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = int(i);
    std::stable_sort(idx.begin(), idx.end(),
                     [&](int a, int b) { return sortKeys[size_t(a)].compare(sortKeys[size_t(b)]) < 0; });
    std::vector<StreetRow> sorted;
    sorted.reserve(rows.size());
    for (int i : idx) sorted.push_back(std::move(rows[size_t(i)]));
    // Streets of the same two names stand side by side: each gets the start
    // of its axis.
    for (size_t a = 0; a < sorted.size();) {
        size_t b = a + 1;
        while (b < sorted.size() && sorted[b].first == sorted[a].first && sorted[b].second == sorted[a].second) ++b;
        if (b - a > 1)
            for (size_t k = a; k < b; ++k) {
                const Trues& s = *streets[size_t(sorted[k].street)];
                char buf[96];
                if (s.Axis.empty() || !FinitePoint(s.Axis[0].X, s.Axis[0].Y))
                    std::snprintf(buf, sizeof buf, "без оси");
                else
                    std::snprintf(buf, sizeof buf, "ось от %.0f, %.0f", s.Axis[0].X, s.Axis[0].Y);
                sorted[k].note = buf;
            }
        a = b;
    }
    return sorted;
}

std::string FoldForSearch(std::string_view s) {
    std::string out(s);
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z') ch = char(c + 32);
        else if (c >= 0xC0 && c <= 0xDF) ch = char(c + 32);  // А..Я -> а..я
        else if (c == 0xA8 || c == 0xB8) ch = char(0xE5);    // Ё, ё -> е
    }
    return out;
}

void StreetFilter::setRows(const std::vector<StreetRow>& rows) {
    keys_.clear();
    keys_.reserve(rows.size());
    // The separator is a byte no folded name holds, so that a query never
    // matches across the two names.
    for (const StreetRow& r : rows) keys_.push_back(FoldForSearch(r.first) + '\n' + FoldForSearch(r.second));
}

std::vector<int> StreetFilter::filter(std::string_view query) const {
    std::vector<int> out;
    out.reserve(keys_.size());
    const std::string q = FoldForSearch(query);
    for (size_t i = 0; i < keys_.size(); ++i)
        if (q.empty() || keys_[i].find(q) != std::string::npos) out.push_back(int(i));
    return out;
}

}  // namespace dm
