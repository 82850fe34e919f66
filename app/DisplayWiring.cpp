// The menus "Слои" and "Печать", the tool-bar buttons "Печать карты",
// "Сохранить в буфере обмена" and "Изменить цвет": layers, printing,
// raster export and the object style dialog.
#include "DisplayDialogs.h"
#include "AppSettings.h"
#include "InputHold.h"
#include "MainWindow.h"

#include "display/Layers.h"
#include "display/PdfCompression.h"
#include "display/Print.h"
#include "mapdata/Cp1251.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>

namespace fs = std::filesystem;

namespace dm {

void MainWindow::wireDisplay() {
    // Layers.
    auto form = [this] {
        LayerFormDialog d(ws_.files.StartDir, ws_.classifier.ActiveSemantics, *ws_.dialogs, this);
        ws_.dialogs->exec(d);
    };
    auto show = [this] {
        if (ws_.files.MapFileName.empty()) {
            ws_.dialogs->message(QStringLiteral("Нет карты."));
            return;
        }
        std::vector<std::string> layers;
        try {
            layers = LoadLayerList(ws_.files.StartDir);
        } catch (const std::exception& e) {
            ws_.dialogs->error(QString::fromUtf8(e.what()));
            return;
        }
        LayerShowDialog d(layers, ws_.view.ctx.NoAreaFill, this);
        d.noFillChanged = [this](bool on) { ws_.view.ctx.NoAreaFill = on; };
        d.closed = [this] {
            ws_.view.LayerDisplay = false;
            ws_.view.ctx.NoAreaFill = false;
            actions_["SloyOtkl"]->setChecked(false);
        };
        d.show = [this](const std::vector<std::string>& checked) { return DrawByLayers(checked); };
        ws_.dialogs->exec(d);
    };
    actions_.wire("SloyForm", form);
    actions_.wire("SloyFormButton", form);
    actions_.wire("SloyShow", show);
    actions_.wire("SloyShowButton", show);
    actions_.wire("SloyOtkl", [this] {
        QAction* a = actions_["SloyOtkl"];
        if (ws_.files.MapFileName.empty()) {
            a->setChecked(ws_.view.LayerDisplay);
            ws_.dialogs->message(QStringLiteral("Нет карты."));
            return;
        }
        ws_.view.LayerDisplay = a->isChecked();
        ws_.view.ctx.NoAreaFill = false;
        // The picture follows at once.
        RedrawWithProgress(ws_);
    });

    // Printing and the raster picture.
    actions_.wire("PrintMapButton", [this] { PrintMapClick(); });
    actions_.wire("PrnCanvas", [this] { PrintMapClick(); });
    actions_.wire("PrnPreview", [this] { PrintPreviewClick(); });
    actions_.wire("RastrButton", [this] { ExportRaster(); });
    editor_.rasterBoxDone = [this](int l, int t, int r, int b) { ExportRasterBox(l, t, r, b); };

    // The object style.
    actions_.wire("AreaLineButton", [this] { AreaLineButtonClick(); });
}

bool MainWindow::DrawByLayers(const std::vector<std::string>& checked) {
    std::vector<int> filter;
    try {
        filter = BuildLayerFilter(ws_.files.StartDir, checked);
    } catch (const std::exception& e) {
        // The map is not redrawn and the layer display stays as it was.
        ws_.dialogs->error(QString::fromUtf8(e.what()));
        return false;
    }
    if (filter.empty()) {
        ws_.dialogs->message(QStringLiteral("Не указаны слои."));
        return false;
    }
    ws_.view.LayerFilter = std::move(filter);
    ws_.view.LayerDisplay = true;
    RedrawWithProgress(ws_);
    actions_["SloyOtkl"]->setChecked(true);
    return true;
}

bool MainWindow::printTo(QPrinter& printer, bool watchEsc) {
    // A PDF's streams at the fastest level (the map page is large).
    FastPdfCompression fast;
    PrintJob job;
    job.deviceWidth = printer.width();
    job.deviceHeight = printer.height();
    job.layerFilter = ws_.view.activeLayerFilter();
    if (actions_["MapNamesItem"]->isChecked() && !ws_.files.NamesFileName.empty()) {
        const MapView view = ws_.view.view();
        // As on the screen: labels taken off it ("Убрать с экрана") are printed in white.
        job.drawLabels = [this, view](QPainter& painter, double psx, double psy) {
            DrawPrintedLabels(painter, names_.MapNames, view, psx, psy, names_.NamesErased);
        };
    }
    // While the job runs the window repaints, but of the operator's input
    // only Esc gets through: no click or key can change the map under it.
    InputHold hold;
    // The printing flag and the busy cursor end with the job, however it ends.
    struct Running {
        MainWindow& w;
        explicit Running(MainWindow& w) : w(w) {
            w.printing_ = true;
            w.setBusy(true);
        }
        ~Running() {
            w.setBusy(false);
            w.printing_ = false;
        }
    };
    if (watchEsc)
        job.aborted = [&hold] {
            QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
            return hold.escPressed();
        };
    // A PDF file is written partly by the program (the map objects).
    const fs::path file = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()
                              ? fs::path(printer.outputFileName().toStdString())
                              : fs::path();
    if (printJobHook) printJobHook(job);
    PrintResult result = PrintResult::NotFinished;
    try {
        const Running running(*this);
        result = PrintPage(printer, file, ws_.map, ws_.view.ctx, job);
    } catch (const std::exception&) {
        // Memory ran out drawing the page, say: the job is not finished.
        result = PrintResult::NotFinished;
    }
    switch (result) {
    case PrintResult::Printed: return true;
    case PrintResult::Stopped: ws_.dialogs->message(QStringLiteral("Printing aborted")); return false;
    case PrintResult::NotStarted: ws_.dialogs->error(QStringLiteral("Не удалось начать печать.")); return false;
    case PrintResult::NotFinished: break;
    }
    printer.abort();
    ws_.dialogs->error(QStringLiteral("Печать не завершена."));
    return false;
}

void MainWindow::offerPrinter(QPrinter& printer) {
    printer.setPageSize(QPageSize(QPageSize::A4));
    // A map wider than tall is offered across the page.
    const MapView& v = ws_.view.view();
    const bool wide = v.ViewYMax - v.ViewYMin > v.ViewXMax - v.ViewXMin;
    printer.setPageOrientation(wide ? QPageLayout::Landscape : QPageLayout::Portrait);
    // Into a file: the map's own name, in the folder used last (else the map's).
    const fs::path map = ws_.files.MapFileName;
    const QString stem = map.empty() ? QStringLiteral("map") : QString::fromStdString(map.stem().string());
    printer.setDocName(stem);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        fs::path folder = ws_.files.LastDialogFolder;
        if (folder.empty() || !fs::is_directory(folder)) folder = map.parent_path();
        printer.setOutputFileName(QString::fromStdString((folder / (stem.toStdString() + ".pdf")).string()));
    }
}

void MainWindow::PrintMapClick() {
    QPrinter printer(QPrinter::HighResolution);
    offerPrinter(printer);
    if (!ws_.dialogs->setUpPrinter(printer)) return;
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty()) {
        printTo(printer, true);
        return;
    }
    // Into a PDF file: a temporary file beside it replaces it only when the
    // job ended well and the file is whole.
    try {
        PdfTarget pdf(fs::path(printer.outputFileName().toStdString()));
        printer.setOutputFileName(QString::fromStdString(pdf.temp().string()));
        if (!printTo(printer, true)) return;
        pdf.commit();
        ws_.files.LastDialogFolder = pdf.target().parent_path();
        settings_->setLastFolder(QString::fromStdString(ws_.files.LastDialogFolder.string()));
        ws_.dialogs->message(QStringLiteral("Карта напечатана в файл ") + QString::fromStdString(pdf.target().string()));
    } catch (const std::exception& e) {
        ws_.dialogs->error(QString::fromUtf8(e.what()));
    }
}

void MainWindow::PrintPreviewClick() {
    QPrinter printer(QPrinter::HighResolution);
    offerPrinter(printer);
    QPrintPreviewDialog d(&printer, this);
    d.setWindowTitle(QStringLiteral("Предварительный просмотр"));
    connect(&d, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* pr) { printTo(*pr, false); });
    ws_.dialogs->exec(d);
}

namespace {
// A BMP written through a temporary file: the old one stays until the new
// one is complete.
bool writeBitmap(const QImage& img, const fs::path& path, DialogPort& dialogs) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    if (!img.save(&buf, "BMP")) {
        dialogs.error(QStringLiteral("Не удалось составить рисунок для ") + QString::fromStdString(path.string()));
        return false;
    }
    try {
        writeFileAtomically(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    } catch (const std::exception& e) {
        dialogs.error(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}
}  // namespace

void MainWindow::ExportRaster() {
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Откройте файл с картой!"));
        return;
    }
    rasterDialog_ = std::make_unique<RasterDialog>(this);
    if (ws_.dialogs->exec(*rasterDialog_) != QDialog::Accepted) {
        rasterDialog_.reset();
        return;
    }
    if (!rasterDialog_->wholeFile()) {
        // "Рамку": two clicks give the rectangle; the choices are kept.
        ws_.modes.RasterBoxMode = true;
        ws_.modes.BoxState = 1;
        return;
    }
    setBusy(true);
    ws_.modes.SelectMode = false;
    ws_.map.EditPoints.clear();
    // Every object, whatever the layer display.
    RedrawMap(ws_.view.image, ws_.map, ws_.view.ctx);
    MapView& v = ws_.view.view();
    v.ScaleDenominator = (v.ViewYMax - v.ViewYMin) / (ws_.view.image.width() / kScreenPxPerMm) * 1000;
    setPanelText(0, ScaleReadout(v.ScaleDenominator, 6));
    if (rasterDialog_->withNames()) {
        if (!ws_.files.NamesFileName.empty()) {
            QPainter p(&ws_.view.image);
            DrawAllNames(p, names_, v, true);
        } else {
            ws_.dialogs->message(QStringLiteral("Нет файла названий."));
        }
    }
    imageChanged();
    setBusy(false);
    bool ok = true;
    if (rasterDialog_->toClipboard()) {
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setImage(ws_.view.image);
    }
    if (rasterDialog_->toFile()) ok = writeBitmap(ws_.view.image, withExtension(ws_.files.MapFileName, ".bmp"), *ws_.dialogs);
    rasterDialog_.reset();
    if (ok) ws_.dialogs->message(QStringLiteral("Готово!"));
    syncButtons();
}

void MainWindow::ExportRasterBox(int left, int top, int right, int bottom) {
    const bool clip = rasterDialog_ ? rasterDialog_->toClipboard() : true;
    const bool file = rasterDialog_ ? rasterDialog_->toFile() : false;
    rasterDialog_.reset();
    if (ws_.files.MapFileName.empty()) {
        ws_.dialogs->message(QStringLiteral("Откройте файл с картой!"));
        return;
    }
    const QImage part = ws_.view.image.copy(QRect(left, top, right - left, bottom - top));
    if (clip) {
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->setImage(part);
        ws_.dialogs->message(QStringLiteral("Готово!"));
    }
    if (file && writeBitmap(part, withExtension(ws_.files.MapFileName, ".bmp"), *ws_.dialogs))
        ws_.dialogs->message(QStringLiteral("Готово!"));
}

void MainWindow::AreaLineButtonClick() {
    TCurrentSemantic& cs = ws_.classifier.CurrentSemantic;
    TObj* cur = ws_.map.CurObj;
    if (cur && ws_.map.ObjList.indexOf(cur) < 0) cur = nullptr;
    WorkingStyle w{cs.PenColor, cs.PenWidth, cs.PenStyle, cs.BrushStyle, styleBrushColor_};
    if (cur) {
        w = WorkingStyle{cur->PenColor, cur->PenWidth, cur->PenStyle, cur->BrushStyle, cur->BrushColor};
        StyleTypeCode = cur->Code;
    }
    StyleDialog d(panelText(4), w, cur != nullptr, cur ? cur->BrushColor : 0, *ws_.dialogs, this);
    const int result = ws_.dialogs->exec(d);
    // The working pen values stay with the current semantic.
    const WorkingStyle& s = d.style();
    cs.PenColor = s.PenColor;
    cs.PenWidth = s.PenWidth;
    cs.PenStyle = s.PenStyle;
    cs.BrushStyle = s.BrushStyle;
    styleBrushColor_ = s.BrushColor;
    if (result != QDialog::Accepted) return;
    auto apply = [&s](TObj& o) {
        o.PenColor = s.PenColor;
        o.PenWidth = s.PenWidth;
        o.PenStyle = s.PenStyle;
        o.BrushColor = s.BrushColor;
        o.BrushStyle = s.BrushStyle;
    };
    history_.begin(QStringLiteral("Изменить цвет"));
    if (d.target() == StyleDialog::Target::Object) {
        if (cur) {
            history_.willChange(cur);
            apply(*cur);
        }
    } else if (d.target() == StyleDialog::Target::AllOfCode) {
        for (const auto& o : ws_.map.ObjList)
            if (o->Code == StyleTypeCode) {
                history_.willChange(o.get());
                apply(*o);
            }
    }
    history_.commit();
    ws_.map.MapModified = true;
    RedrawMapView(ws_);
}

}  // namespace dm
