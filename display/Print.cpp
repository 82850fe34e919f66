#include "Print.h"

#include "Redraw.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace dm {

double PrintFactor(int deviceWidth, const MapView& view) {
    const double w = view.ViewYMax - view.ViewYMin;
    return w > 0 ? double(deviceWidth) / w : 0;
}

QRect SheetRect(const QPainter& p) {
    const QPaintDevice* dev = p.device();
    if (!dev || dev->width() <= 0 || dev->height() <= 0 || !p.worldTransform().isIdentity() ||
        p.viewport() != p.window())
        return {};
    if (const auto* paged = dynamic_cast<const QPagedPaintDevice*>(dev)) {
        // The whole paper: its margins show what is drawn there.
        const QPageLayout layout = paged->pageLayout();
        const int dpi = dev->logicalDpiX();
        const QRect full = layout.fullRectPixels(dpi), paint = layout.paintRectPixels(dpi);
        return full.translated(-paint.topLeft()).united(QRect(0, 0, dev->width(), dev->height()));
    }
    return QRect(0, 0, dev->width(), dev->height());
}

bool PrintMap(QPainter& p, MapDoc& doc, const RenderContext& screen, const PrintJob& job) {
    RenderContext ctx = screen;
    const double f = PrintFactor(job.deviceWidth, screen.view);
    ctx.PrintScaleX = f;
    ctx.PrintScaleY = f;
    ctx.view.SymbolFactor = kPrintSymbolFactor;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing, false);
    // The header: bold, 40 points, its top-left corner at (4200, 50).
    QFont header(QStringLiteral("Arial"));
    header.setStyleHint(QFont::SansSerif);
    header.setBold(true);
    header.setPointSize(40);
    p.setFont(header);
    p.setPen(Qt::black);
    const QString title = QStringLiteral("Д А Р В Е Н Т");
    const QFontMetrics fm(header, p.device());
    // A page narrower than the header's end (A4 below 1200 dpi) takes it so
    // that it ends at the page's right edge.
    const int right = job.deviceWidth > 0 ? job.deviceWidth : p.device()->width();
    int x = 4200;
    if (x + fm.horizontalAdvance(title) > right) x = std::max(0, right - fm.horizontalAdvance(title));
    p.drawText(QPoint(x, 50 + fm.ascent()), title);
    // Only what can reach the page, in list order.
    std::vector<TObj*> objects;
    const QRect sheet = SheetRect(p);
    if (!sheet.isEmpty()) {
        VisibleObjects(doc, ctx, sheet, objects);
    } else {
        for (const auto& obj : doc.ObjList) objects.push_back(obj.get());
    }
    long k = 0;
    for (TObj* obj : objects) {
        if ((++k & 1023) == 0 && job.aborted && job.aborted()) {
            p.restore();
            return false;
        }
        if (job.layerFilter) {
            for (int code : *job.layerFilter)
                if (code == obj->Code) DrawObject(p, *obj, kPrintSymbolFactor, ctx);
        } else {
            DrawObject(p, *obj, kPrintSymbolFactor, ctx);
        }
    }
    if (job.aborted && job.aborted()) {
        p.restore();
        return false;
    }
    if (job.drawLabels) job.drawLabels(p, f, f);
    p.restore();
    return true;
}

}  // namespace dm
