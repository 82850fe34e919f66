#include "Print.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace dm {

double PrintFactor(int deviceWidth, const MapView& view) {
    const double w = view.ViewYMax - view.ViewYMin;
    return w > 0 ? double(deviceWidth) / w : 0;
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
    p.drawText(QPoint(4200, 50 + QFontMetrics(header, p.device()).ascent()), QStringLiteral("Д А Р В Е Н Т"));
    long k = 0;
    for (const auto& obj : doc.ObjList) {
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
