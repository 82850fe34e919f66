#include "Print.h"

#include "PdfMapContent.h"
#include "Redraw.h"

#include "mapdata/BinaryIO.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>

#include <optional>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dm {

PdfTarget::PdfTarget(fs::path target) : target_(std::move(target)) {
    std::error_code ec;
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) throw FileError("Нет папки " + pathText(folder) + " для файла " + pathText(target_));
    if (fs::is_directory(target_, ec)) throw FileError(pathText(target_) + " — это папка, а не файл PDF");
    temp_ = folder / ("." + target_.filename().string() + ".~" + std::to_string(::getpid()) + ".pdf");
    fs::remove(temp_, ec);
}

PdfTarget::~PdfTarget() {
    if (committed_) return;
    std::error_code ec;
    fs::remove(temp_, ec);
}

void PdfTarget::commit() {
    const std::string what = "Файл " + pathText(target_) + " не записан: ";
    const int fd = ::open(temp_.c_str(), O_RDONLY);
    if (fd < 0) throw FileError(what + ReasonText(errno));
    // A PDF ends with "%%EOF" (and a line break): a file cut short by a full
    // disk or a size limit does not.
    char tail[16] = {};
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const off_t from = size > off_t(sizeof tail) ? size - off_t(sizeof tail) : 0;
    const ssize_t n = size > 0 ? ::pread(fd, tail, size_t(size - from), from) : 0;
    const bool whole = n > 0 && std::string(tail, size_t(n)).find("%%EOF") != std::string::npos;
    const bool synced = whole && ::fsync(fd) == 0;
    const int syncErr = errno;
    ::close(fd);
    if (!whole) throw FileError(what + "печать не дописана (нет места на диске или файл слишком велик)");
    if (!synced) throw FileError(what + ReasonText(syncErr));
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) throw FileError(what + ReasonText(ec));
    committed_ = true;
}

double PrintFactor(int deviceWidth, const MapView& view) {
    const double w = view.ViewYMax - view.ViewYMin;
    return w > 0 ? double(deviceWidth) / w : 0;
}

double PrintFactorOnPage(int deviceWidth, int deviceHeight, int mapTop, const MapView& view) {
    const double across = PrintFactor(deviceWidth, view);
    const double h = view.ViewXMax - view.ViewXMin;
    if (deviceHeight <= mapTop || !(h > 0)) return across;
    return std::min(across, double(deviceHeight - mapTop) / h);
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

int MapTopOnPage(int headerHeight) { return 50 + headerHeight + headerHeight / 4; }

bool PrintMap(QPainter& p, MapDoc& doc, const RenderContext& screen, const PrintJob& job, PdfMapContent* content) {
    RenderContext ctx = screen;
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
    // The map below the header, clear of it, and all of it on the page.
    const int mapTop = MapTopOnPage(fm.height());
    const double f = PrintFactorOnPage(job.deviceWidth, job.deviceHeight, mapTop, screen.view);
    ctx.PrintScaleX = f;
    ctx.PrintScaleY = f;
    const QRect sheet = SheetRect(p);
    if (content) PdfMapContent::drawPlaceholder(p);
    p.translate(0, mapTop);
    // Only what can reach the page, in list order.
    std::vector<TObj*> objects;
    if (!sheet.isEmpty()) {
        VisibleObjects(doc, ctx, sheet.translated(0, -mapTop), objects);
    } else {
        for (const auto& obj : doc.ObjList) objects.push_back(obj.get());
    }
    long k = 0;
    // Into the program's content: a painter of its own, set as Qt's is now.
    QPainter mapPainter;
    if (content && mapPainter.begin(content)) {
        mapPainter.setRenderHints(p.renderHints());
        mapPainter.setFont(p.font());
        mapPainter.setPen(p.pen());
        mapPainter.setBrush(p.brush());
        mapPainter.setBrushOrigin(p.brushOrigin());
        mapPainter.setBackground(p.background());
        mapPainter.setBackgroundMode(p.backgroundMode());
        mapPainter.setWorldTransform(p.worldTransform());
    }
    auto endMapContent = [&](bool stopped) {
        if (!mapPainter.isActive()) return;
        // Qt's painter goes on as if it had drawn the objects itself.
        p.setPen(mapPainter.pen());
        p.setBrush(mapPainter.brush());
        p.setBrushOrigin(mapPainter.brushOrigin());
        p.setFont(mapPainter.font());
        p.setWorldTransform(mapPainter.worldTransform());
        mapPainter.end();
        // A stopped job does not wait for what is queued to be deflated.
        if (stopped) content->abandon();
        else content->finish();
    };
    ObjectPainter drawer(mapPainter.isActive() ? mapPainter : p, ctx);
    for (TObj* obj : objects) {
        if ((++k & 1023) == 0) {
            if (job.aborted && job.aborted()) {
                endMapContent(true);
                p.restore();
                return false;
            }
            if (content && !content->usable()) break;
        }
        if (job.layerFilter) {
            for (int code : *job.layerFilter)
                if (code == obj->Code) drawer.draw(*obj, kPrintSymbolFactor);
        } else {
            drawer.draw(*obj, kPrintSymbolFactor);
        }
    }
    endMapContent(false);
    if (job.aborted && job.aborted()) {
        p.restore();
        return false;
    }
    if (job.drawLabels) job.drawLabels(p, f, f);
    p.restore();
    return true;
}

PrintResult PrintPage(QPrinter& printer, const fs::path& pdfFile, MapDoc& doc, const RenderContext& screen,
                      const PrintJob& job) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        QPainter p;
        if (!p.begin(&printer)) return PrintResult::NotStarted;
        std::optional<PdfMapContent> content;
        if (attempt == 0 && !pdfFile.empty()) {
            content.emplace(p);
            if (!content->usable()) content.reset();
            else if (job.deflateHook) content->setDeflateHook(job.deflateHook);
        }
        if (!PrintMap(p, doc, screen, job, content ? &*content : nullptr)) {
            printer.abort();
            p.end();
            return PrintResult::Stopped;
        }
        if (content && content->broken()) {
            // Out of memory or zlib refused: printing it again would not help.
            printer.abort();
            p.end();
            return PrintResult::NotFinished;
        }
        if (!p.end() || printer.printerState() == QPrinter::Error) return PrintResult::NotFinished;
        std::string why;
        if (!content || content->appendTo(pdfFile, why)) return PrintResult::Printed;
        // Otherwise the page once more, all of it through Qt.
    }
    return PrintResult::NotFinished;
}

}  // namespace dm
