#include "Redraw.h"

#include "classifier/Znak.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <functional>
#include <QPainter>

namespace dm {

double VisibilityMargin(const RenderContext& ctx) {
    const double f = std::clamp(ctx.view.SymbolFactor, 1.0, 1e3);
    // Half the widest pen the index does not keep aside, the ornaments
    // (ticks, circles, arrows, the crosses of the print path: at most 30
    // times the factor), the small circle of a point without a symbol, and
    // the farthest pixel of any point symbol.
    const double symbols = ctx.znaks ? double(ctx.znaks->maxReach()) * std::max(1.0, std::round(f)) : 0;
    return ObjectIndex::kWidePen / 2.0 + 2 + 32 * f + 3 + symbols + 8;
}

void VisibleObjects(MapDoc& doc, const RenderContext& ctx, const QRect& pixels, std::vector<TObj*>& out) {
    out.clear();
    const MapView& view = ctx.view;
    // Rows come from X, columns from Y: by the view's scale on the screen,
    // by the print scales on paper.
    const double factor = view.SymbolFactor;
    const bool print = factor > 1;
    const double sx = print ? ctx.PrintScaleX : view.Scale, sy = print ? ctx.PrintScaleY : view.Scale;
    if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) {
        for (const auto& o : doc.ObjList) out.push_back(o.get());
        return;
    }
    const double m = VisibilityMargin(ctx);
    const double xmin = view.ViewXMax - (pixels.bottom() + 1 + m) / sx, xmax = view.ViewXMax - (pixels.top() - m) / sx;
    const double ymin = view.ViewYMin + (pixels.left() - m) / sy, ymax = view.ViewYMin + (pixels.right() + 1 + m) / sy;
    // The far-reaching objects come whatever their place, less those whose
    // circle or pen cannot reach the rectangle at this view.
    doc.Index.query(xmin, xmax, ymin, ymax, out,
                    [&](const TObj& o, ObjectIndex::FarNote& note) { return MayReach(o, factor, ctx, pixels, m, note); });
}

namespace {
template <typename Step>
void drawObjects(QPainter& p, const std::vector<TObj*>& objects, const RenderContext& ctx,
                 const std::vector<int>* layerFilter, Step step) {
    const double factor = ctx.view.SymbolFactor;
    ObjectPainter drawer(p, ctx);
    size_t k = 0;
    for (TObj* obj : objects) {
        step(++k);
        if (layerFilter) {
            for (int code : *layerFilter)
                if (code == obj->Code) drawer.draw(*obj, factor);
        } else {
            drawer.draw(*obj, factor);
        }
    }
}
}  // namespace

void RedrawMap(QImage& image, MapDoc& doc, const RenderContext& ctx, const ProgressFn& progress,
               const std::vector<int>* layerFilter) {
    doc.EditPoints.clear();
    image.fill(Qt::white);
    int last = -1;
    auto report = [&](int percent) {
        if (progress && percent % 10 == 0 && percent != last) {
            last = percent;
            progress(percent);
        }
    };
    report(0);
    // Only the objects that can reach the picture are drawn, in list order:
    // the picture is the one of drawing the whole list.
    std::vector<TObj*> visible;
    VisibleObjects(doc, ctx, image.rect(), visible);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        const double d = double(std::max<long>(long(visible.size()) - 1, 1));
        drawObjects(p, visible, ctx, layerFilter, [&](size_t k) { report(rnd(double(k) / d * 100)); });
    }
    // As after drawing the whole list: the last object is the current one.
    if (!doc.ObjList.empty()) doc.CurObj = doc.ObjList.last();
}

void RedrawArea(QImage& image, MapDoc& doc, const RenderContext& ctx, const QRect& area, QImage& scratch,
                const std::vector<int>* layerFilter) {
    const QRect r = area.intersected(image.rect());
    if (r.isEmpty()) return;
    // The objects are drawn on a picture of the same size, unclipped, as the
    // full redraw draws them; the rectangle is then copied over.
    if (scratch.size() != image.size() || scratch.format() != image.format())
        scratch = QImage(image.size(), image.format());
    if (scratch.isNull()) {
        // No memory for a second picture: the whole picture then.
        MapDoc::Keep keep(doc);
        RedrawMap(image, doc, ctx, {}, layerFilter);
        return;
    }
    std::vector<TObj*> visible;
    VisibleObjects(doc, ctx, r, visible);
    {
        QPainter p(&scratch);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(r, Qt::white);
        drawObjects(p, visible, ctx, layerFilter, [](size_t) {});
    }
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(r.topLeft(), scratch, r);
}

void PaintProgressBar(QPainter& p, const QRect& panel, int percent) {
    const QRect inner = panel.adjusted(1, 1, -1, -1);
    const int width = inner.width() * percent / 100;
    p.fillRect(QRect(inner.left(), inner.top(), width, inner.height()), QColor(0, 0, 255));
    if (percent > 0) {
        p.setPen(Qt::white);
        const int middle = inner.left() + width / 2;
        const int top = panel.top() + panel.height() / 2 - 6;
        const QFontMetrics fm = p.fontMetrics();
        p.drawText(QPoint(middle - 12, top + fm.ascent()), QString::number(percent) + QStringLiteral(" %"));
    }
}

void BlinkState::tick(QPainter* p, const std::vector<TGn>& pts, bool collectionOpen) {
    BlinkCounter = BlinkCounter % 16 + 1;
    if (!BlinkOn || !p || pts.empty()) return;
    p->setPen(QPen(color(), 0));
    p->setBrush(Qt::NoBrush);
    if (BlinkAsPoints) {
        for (const TGn& g : pts) p->drawEllipse(QRect(g.PX - 3, g.PY - 3, 6, 6));
    } else {
        QPoint cur(pts[0].PX, pts[0].PY);
        for (size_t i = 1; i < pts.size(); ++i) {
            if (pts[i].PX <= 0) continue;
            const QPoint next(pts[i].PX, pts[i].PY);
            p->drawLine(cur, next);
            cur = next;
        }
    }
    if (collectionOpen) p->drawEllipse(QRect(pts[0].PX - 3, pts[0].PY - 3, 6, 6));
}

}  // namespace dm
