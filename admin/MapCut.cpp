#include "MapCut.h"

#include "Boundaries.h"
#include "mapdata/Geometry.h"

#include <algorithm>
#include <cstdlib>

namespace dm {

CutProgress::CutProgress(const ProgressFn& fn, size_t count)
    : fn_(fn), d_(double(std::max<long>(long(count) - 1, 1))) {}

void CutProgress::step(size_t k) {
    const int percent = rnd(double(k) / d_ * 100);
    if (percent % 10 != 0 || percent == last_) return;
    last_ = percent;
    if (fn_) fn_(percent);
}

namespace {

QPoint pixel(const MapView& view, const TXY& p) {
    const TGn g = view.toPixel(p);
    return {g.PX, g.PY};
}

// The first lasso edge (l-1, l), l = 1.. (the closing edge is not one) that
// crosses the segment a -> b.
bool lassoCrossing(const std::vector<QPoint>& lasso, QPoint a, QPoint b, QPoint& at) {
    for (size_t l = 1; l < lasso.size(); ++l) {
        IPt c;
        if (SegmentCrossing({a.x(), a.y()}, {b.x(), b.y()}, {lasso[l - 1].x(), lasso[l - 1].y()},
                            {lasso[l].x(), lasso[l].y()}, c)) {
            at = QPoint(c.X, c.Y);
            return true;
        }
    }
    return false;
}

// Halves the segment between an inside end and an outside end until the
// ends are less than 4 pixels apart in both directions; the inside end's
// map point is the crossing.
TXY halvedCrossing(const BoundaryTester& poly, TXY inMap, QPoint inPx, TXY outMap, QPoint outPx) {
    for (int guard = 0; guard < 80; ++guard) {
        const int64_t dx = int64_t(outPx.x()) - inPx.x(), dy = int64_t(outPx.y()) - inPx.y();
        if (std::llabs(dx) < 4 && std::llabs(dy) < 4) break;
        const TXY midMap{(inMap.X + outMap.X) / 2, (inMap.Y + outMap.Y) / 2};
        // Integer halves of the sums, towards zero.
        const QPoint midPx(int((int64_t(inPx.x()) + outPx.x()) / 2), int((int64_t(inPx.y()) + outPx.y()) / 2));
        if (poly.contains(midPx.x(), midPx.y())) {
            inMap = midMap;
            inPx = midPx;
        } else {
            outMap = midMap;
            outPx = midPx;
        }
    }
    return inMap;
}

}  // namespace

void CutMapToLasso(TObjList& objects, const std::vector<QPoint>& lasso, const MapView& view,
                   std::vector<TObj*>& collection, const ProgressFn& progress,
                   const std::function<void(const std::vector<QPoint>&)>& drawCut) {
    CutProgress pr(progress, objects.size());
    const BoundaryTester tester(lasso);
    std::vector<QPoint> s;
    std::vector<QPoint> tPx;
    size_t k = 0;
    for (const auto& holder : objects) {
        pr.step(++k);
        TObj& o = *holder;
        s.clear();
        for (const TXY& p : o.Points) s.push_back(pixel(view, p));
        std::vector<TXY> t;
        tPx.clear();
        auto keep = [&](size_t i) {
            t.push_back(o.Points[i]);
            tPx.push_back(s[i]);
        };
        auto crossing = [&](QPoint c) {
            t.push_back(view.toMap(c.x(), c.y()));
            tPx.push_back(c);
        };
        bool prevIn = false;
        for (size_t i = 0; i < s.size(); ++i) {
            const bool in = tester.contains(s[i].x(), s[i].y());
            if (i == 0) {
                if (in) keep(0);
            } else if (prevIn && in) {
                keep(i);
            } else if (prevIn != in) {
                QPoint c;
                if (lassoCrossing(lasso, s[i - 1], s[i], c)) {
                    if (prevIn) {
                        keep(i - 1);
                        crossing(c);
                    } else {
                        crossing(c);
                        keep(i);
                    }
                }
            }
            prevIn = in;
        }
        o.Points = std::move(t);
        if (drawCut) drawCut(tPx);
        if (!o.Points.empty()) collection.push_back(&o);
    }
    objects.touch();
}

void CutMapToBoundary(TObjList& objects, const std::vector<QPoint>& boundary, const MapView& view,
                      std::vector<TObj*>& collection, const ProgressFn& progress,
                      const std::function<void(TObj&)>& drawObject) {
    CutProgress pr(progress, objects.size());
    const BoundaryTester tester(boundary);
    std::vector<QPoint> s;
    std::vector<char> in;
    size_t k = 0;
    for (const auto& holder : objects) {
        pr.step(++k);
        TObj& o = *holder;
        if (o.Code == 3110 || o.Code == 3130 || o.Code == 3160) continue;
        s.clear();
        in.clear();
        size_t inside = 0;
        for (const TXY& p : o.Points) {
            s.push_back(pixel(view, p));
            in.push_back(tester.contains(s.back().x(), s.back().y()));
            inside += size_t(in.back());
        }
        if (o.Points.size() == 1) {
            if (in[0]) collection.push_back(&o);
            continue;
        }
        if (inside == 0) {
            o.Points.clear();
            continue;
        }
        if (inside == o.Points.size() && (o.Kind != KindArea || o.Points.back() == o.Points.front())) {
            // Wholly inside: every vertex stays as it is.
            if (drawObject) drawObject(o);
            collection.push_back(&o);
            continue;
        }
        std::vector<TXY> t;
        long lastKept = -1;  // a vertex kept at the end of one step is not repeated at the next
        auto keep = [&](size_t i) {
            if (lastKept == long(i)) return;
            t.push_back(o.Points[i]);
            lastKept = long(i);
        };
        for (size_t i = 1; i < s.size(); ++i) {
            if (in[i - 1]) keep(i - 1);
            if (in[i - 1] && in[i]) {
                keep(i);
            } else if (in[i - 1] != in[i]) {
                const size_t a = in[i - 1] ? i - 1 : i, b = in[i - 1] ? i : i - 1;
                t.push_back(halvedCrossing(tester, o.Points[a], s[a], o.Points[b], s[b]));
                lastKept = -1;
                // An inside last vertex has no later step to keep it.
                if (in[i] && i + 1 == s.size()) keep(i);
            }
        }
        if (o.Kind == KindArea && !t.empty() && !(t.back() == t.front())) t.push_back(t.front());
        o.Points = std::move(t);
        if (!o.Points.empty()) {
            if (drawObject) drawObject(o);
            collection.push_back(&o);
        }
    }
    objects.touch();
}

std::vector<NameRef> LabelsInside(const std::vector<NameRef>& labels, const std::vector<QPoint>& poly,
                                  const MapView& view) {
    std::vector<NameRef> out;
    const BoundaryTester tester(poly);
    for (const NameRef& n : labels) {
        const QPoint p = pixel(view, {n->X1, n->Y1});
        if (tester.contains(p.x(), p.y())) out.push_back(n);
    }
    return out;
}

DistrictCut CutRegionToBoundary(TObjList& objects, TObj& boundary, const MapView& view,
                                const std::vector<NameRef>& labels, const ProgressFn& progress,
                                const std::function<void(TObj&)>& drawObject) {
    DistrictCut cut;
    cut.objects.push_back(&boundary);
    const std::vector<QPoint> poly = ScreenPolygon(boundary, view);
    CutMapToBoundary(objects, poly, view, cut.objects, progress, drawObject);
    cut.labels = LabelsInside(labels, poly, view);
    return cut;
}

void SaveCutMapFiles(const std::filesystem::path& binPath, const std::vector<TObj*>& objects,
                     const OrientationRecord& orientation, const std::vector<NameRef>& labels) {
    // A target that is not a file (a folder of that name) would fail only
    // when the files are renamed, after the others replaced theirs.
    for (const char* ext : {".bin", ".or", ".nam"}) {
        const std::filesystem::path t = withExtension(binPath, ext);
        std::error_code ec;
        if (std::filesystem::exists(t, ec) && !std::filesystem::is_regular_file(t, ec))
            throw FileError("Файл " + pathText(t) + " не может быть записан: это не файл");
    }
    AtomicFile bin(binPath);
    AtomicFile orient(withExtension(binPath, ".or"));
    std::unique_ptr<AtomicFile> names;
    BinWriter w;
    constexpr size_t kFlushAt = 1 << 20;
    for (const TObj* o : objects) {
        if (o->Points.empty()) continue;
        EncodeObject(w, *o);
        if (w.size() >= kFlushAt) {
            bin.write(w.data());
            w.clear();
        }
    }
    bin.write(w.data());
    w.clear();
    EncodeOrientation(w, orientation);
    orient.write(w.data());
    if (!labels.empty()) {
        names = std::make_unique<AtomicFile>(withExtension(binPath, ".nam"));
        w.clear();
        for (const NameRef& n : labels) EncodeName(w, *n);
        names->write(w.data());
    }
    // Every file is complete and on disk before any replaces an old one.
    bin.finish();
    orient.finish();
    if (names) names->finish();
    bin.commit();
    orient.commit();
    if (names) {
        names->commit();
    } else {
        // No labels: an older names file of that name would be read with
        // the new map as its labels.
        const std::filesystem::path old = resolvePathCase(withExtension(binPath, ".nam"));
        std::error_code ec;
        if (std::filesystem::exists(old, ec) && !std::filesystem::remove(old, ec))
            throw FileError("Старый файл названий " + pathText(old) + " не удалён: " + ReasonText(ec));
    }
}

}  // namespace dm
