#include "Redraw.h"

#include <QImage>
#include <QPainter>

namespace dm {

void RedrawMap(QImage& image, MapDoc& doc, const RenderContext& ctx, const ProgressFn& progress,
               const std::vector<int>* layerFilter) {
    doc.EditPoints.clear();
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    int last = -1;
    auto report = [&](int percent) {
        if (progress && percent % 10 == 0 && percent != last) {
            last = percent;
            progress(percent);
        }
    };
    report(0);
    const double d = double(std::max<long>(long(doc.ObjList.size()) - 1, 1));
    const double factor = ctx.view.SymbolFactor;
    long k = 0;
    for (const auto& obj : doc.ObjList) {
        ++k;
        report(rnd(double(k) / d * 100));
        doc.CurObj = obj.get();
        if (layerFilter) {
            for (int code : *layerFilter)
                if (code == obj->Code) DrawObject(p, *obj, factor, ctx);
        } else {
            DrawObject(p, *obj, factor, ctx);
        }
    }
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
