// Layers, printing, the raster picture and the object style dialog through
// the real window.

#include "app/DisplayDialogs.h"
#include "common/SmallMapFixture.h"
#include "display/Layers.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <csignal>
#include <fstream>
#include <sys/resource.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {

class DisplayToolsTest : public SmallMapFixture {
protected:
    bool white(QPoint p) { return ws().view.image.pixel(p) == qRgb(255, 255, 255); }
    // The street (0) is at (300, 300), the house (2) fills (650, 650), the
    // tree (3) stands at (900, 900).
    bool streetShown() { return !white({300, 300}); }
    bool houseShown() { return !white({650, 650}); }
    void writeLayers() {
        std::vector<std::string> list;
        AddLayer(dir_, list, utf8ToCp1251("Дороги"), {3060, 3050});
        AddLayer(dir_, list, utf8ToCp1251("Деревья"), {2402});
    }
    static int run(const std::string& cmd, std::string& out) {
        out.clear();
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p) return -1;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        return ::pclose(p);
    }
    void printTo(const fs::path& pdf) {
        dialogs_.onPrinter = [pdf](QPrinter& p) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(QString::fromStdString(pdf.string()));
            return true;
        };
    }
};

}  // namespace

TEST_F(DisplayToolsTest, FormingLayers) {
    dialogs_.onDialog = [this](QDialog& d) {
        auto* f = qobject_cast<LayerFormDialog*>(&d);
        EXPECT_NE(f, nullptr);
        if (!f) return int(QDialog::Rejected);
        // The classifier's names in order.
        EXPECT_EQ(f->entries()->count(), int(ws().classifier.ActiveSemantics.Lines.size()));
        f->addClicked();  // no name
        f->nameField()->setText(QStringLiteral("Дороги"));
        f->addClicked();  // nothing chosen
        const auto& lines = ws().classifier.ActiveSemantics.Lines;
        for (int i = 0; i < int(lines.size()); ++i) {
            const std::string code = SemanticField(lines[size_t(i)], 1);
            if (code == "3060" || code == "3050") f->entries()->item(i)->setSelected(true);
        }
        f->addClicked();
        EXPECT_TRUE(f->entries()->selectedItems().isEmpty());  // deselected
        EXPECT_EQ(f->layers()->toPlainText(), QStringLiteral("Дороги"));
        // A second layer whose name begins alike would replace the codes
        // file of the first: asked, and No changes nothing.
        f->nameField()->setText(QStringLiteral("Дороги прочие"));
        f->entries()->item(0)->setSelected(true);
        dialogs_.answers = {DialogPort::Answer::No};
        f->addClicked();
        EXPECT_EQ(dialogs_.texts("question"),
                  QStringList{QStringLiteral("Слои «Дороги» и «Дороги прочие» хранят коды в одном файле «Дорог.rtf». "
                                             "Заменить коды слоя «Дороги» кодами слоя «Дороги прочие»?")});
        EXPECT_EQ(f->layers()->toPlainText(), QStringLiteral("Дороги"));
        EXPECT_TRUE(f->entries()->item(0)->isSelected());
        EXPECT_EQ(ReadLayerCodes(dir_ / "Дорог.rtf"), (std::vector<int>{3050, 3060}));
        f->entries()->item(0)->setSelected(false);
        // Text selected among the layers goes into the name field; "Удалить"
        // removes the layer whose line it is.
        f->nameField()->clear();
        QTextCursor c = f->layers()->textCursor();
        c.select(QTextCursor::LineUnderCursor);
        f->layers()->setTextCursor(c);
        EXPECT_EQ(f->nameField()->text(), QStringLiteral("Дороги"));
        return int(QDialog::Rejected);
    };
    act("SloyForm")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), (QStringList{QStringLiteral("Не указано название слоя!"),
                                                      QStringLiteral("Не отобраны элементы слоя!")}));
    EXPECT_EQ(LoadLayerList(dir_), std::vector<std::string>{utf8ToCp1251("Дороги")});
    EXPECT_EQ(ReadLayerCodes(dir_ / "Дорог.rtf"), (std::vector<int>{3050, 3060}));  // in list order
    dialogs_.onDialog = [](QDialog& d) {
        auto* f = qobject_cast<LayerFormDialog*>(&d);
        QTextCursor c = f->layers()->textCursor();
        c.select(QTextCursor::LineUnderCursor);
        f->layers()->setTextCursor(c);
        f->removeClicked();
        EXPECT_TRUE(f->layers()->toPlainText().isEmpty());
        return int(QDialog::Rejected);
    };
    act("SloyForm")->trigger();
    EXPECT_TRUE(LoadLayerList(dir_).empty());
    EXPECT_FALSE(fs::exists(dir_ / "Дорог.rtf"));
}

TEST_F(DisplayToolsTest, ShowingByLayersAndSwitchingTheDisplay) {
    // Switched on before any "Показать": the map is drawn at once, empty.
    ASSERT_TRUE(streetShown());
    act("SloyOtkl")->trigger();
    EXPECT_TRUE(ws().view.LayerDisplay);
    EXPECT_FALSE(streetShown());
    EXPECT_FALSE(houseShown());
    act("SloyOtkl")->trigger();
    EXPECT_FALSE(ws().view.LayerDisplay);
    EXPECT_TRUE(streetShown());
    EXPECT_TRUE(houseShown());
    writeLayers();
    // "Показать" with nothing checked: the dialog stays; then the roads.
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<LayerShowDialog*>(&d);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(s->layers()->count(), 2);
        s->findChild<QPushButton*>("ShowButton")->click();
        EXPECT_FALSE(d.result() == QDialog::Accepted);
        s->layers()->item(0)->setCheckState(Qt::Checked);
        s->noFillButton()->click();
        s->findChild<QPushButton*>("ShowButton")->click();
        return d.result();
    };
    act("SloyShow")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Не указаны слои.")});
    EXPECT_TRUE(ws().view.LayerDisplay);
    EXPECT_TRUE(ws().view.ctx.NoAreaFill);
    EXPECT_TRUE(act("SloyOtkl")->isChecked());
    EXPECT_EQ(ws().view.LayerFilter, (std::vector<int>{3060, 3050}));
    EXPECT_TRUE(streetShown());
    EXPECT_FALSE(houseShown());
    // Objects outside the layers are not found by a click either.
    act("FindButton")->trigger();
    click({650, 600});
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Объект не найден")));
    act("FindButton")->trigger();
    // Switched off and on: the areas filled again.
    act("SloyOtkl")->trigger();
    EXPECT_FALSE(ws().view.LayerDisplay);
    EXPECT_FALSE(ws().view.ctx.NoAreaFill);
    act("SloyOtkl")->trigger();
    EXPECT_TRUE(ws().view.LayerDisplay);
    // Both layers: their codes in the list's order ("Дороги" before
    // "Деревья"), not by name.
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<LayerShowDialog*>(&d);
        for (int i = 0; i < s->layers()->count(); ++i) s->layers()->item(i)->setCheckState(Qt::Checked);
        s->findChild<QPushButton*>("ShowButton")->click();
        return d.result();
    };
    act("SloyShow")->trigger();
    EXPECT_EQ(ws().view.LayerFilter, (std::vector<int>{3060, 3050, 2402}));
    // "&Close": the display goes off, the picture stays until a redraw.
    dialogs_.onDialog = [](QDialog& d) {
        d.findChild<QPushButton*>("CloseButton")->click();
        return d.result();
    };
    act("SloyShow")->trigger();
    EXPECT_FALSE(ws().view.LayerDisplay);
    EXPECT_FALSE(ws().view.ctx.NoAreaFill);
    EXPECT_FALSE(act("SloyOtkl")->isChecked());
    EXPECT_FALSE(houseShown());
    act("ShowButton")->trigger();
    EXPECT_TRUE(houseShown());
    // Switched on again: the same filter.
    act("SloyOtkl")->trigger();
    act("ShowButton")->trigger();
    EXPECT_TRUE(streetShown());
    EXPECT_FALSE(houseShown());
}

TEST_F(DisplayToolsTest, ACodesFileWithABadLineStopsTheDisplay) {
    writeLayers();
    {
        std::ofstream f(dir_ / "Дорог.rtf", std::ios::binary);
        f << "3060\r\nабв\r\n";
    }
    const QImage before = ws().view.image;
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<LayerShowDialog*>(&d);
        s->layers()->item(0)->setCheckState(Qt::Checked);
        s->findChild<QPushButton*>("ShowButton")->click();
        return d.result();
    };
    act("SloyShow")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("Дорог.rtf")));
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("строка 2")));
    EXPECT_FALSE(ws().view.LayerDisplay);
    EXPECT_EQ(ws().view.image, before);
    // Without a map: "Нет карты.".
    dialogs_.clear();
    ws().files.MapFileName.clear();
    act("SloyShow")->trigger();
    act("SloyOtkl")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), (QStringList{QStringLiteral("Нет карты."), QStringLiteral("Нет карты.")}));
    EXPECT_FALSE(act("SloyOtkl")->isChecked());
}

namespace {
// A4 printed at 1200 dpi and rendered back at 100 dpi: the printable width
// is 9583 printer pixels, 798.6 page pixels, with equal margins on both
// sides of the 827 pixels of the page; the same margin above.
constexpr double kMargin100 = (827.0 - 9583.0 / 12) / 2;
// Where the printed map starts, in page pixels at 100 dpi: below the header
// (Arial bold 40 pt, its top at 50) by a quarter of the header's height.
double mapTopAt100Dpi(int dpi = 1200) {
    QImage dev(8, 8, QImage::Format_RGB32);
    dev.setDotsPerMeterX(qRound(dpi / 0.0254));
    dev.setDotsPerMeterY(qRound(dpi / 0.0254));
    QFont header(QStringLiteral("Arial"));
    header.setStyleHint(QFont::SansSerif);
    header.setBold(true);
    header.setPointSize(40);
    const int h = QFontMetrics(header, &dev).height();
    return kMargin100 + (50 + h + h / 4) * 100.0 / dpi;
}
}  // namespace

TEST_F(DisplayToolsTest, PrintingToAPdfUsesThePrintPathHeaderAndLabels) {
    // A line of code 3110: not drawn on the screen, printed.
    auto o = std::make_unique<TObj>();
    o->Kind = KindLine;
    o->Code = 3110;
    o->PenWidth = 40;
    o->Points = {toMap({100, 500}), toMap({1000, 500})};
    ws().map.ObjList.append(std::move(o));
    // A street along the top edge of the map, under the header's place.
    auto edge = std::make_unique<TObj>();
    edge->Kind = KindLine;
    edge->Code = 3060;
    edge->PenWidth = 40;
    edge->Points = {toMap({0, 20}), toMap({1200, 20})};
    ws().map.ObjList.append(std::move(edge));
    auto label = std::make_shared<TNaz>();
    label->OldName = utf8ToCp1251("Пробная надпись");
    label->FontName = "Arial";
    const TXY at = toMap({200, 700});
    label->X1 = label->X2 = at.X;
    label->Y1 = at.Y;
    label->Y2 = at.Y + 100;
    w_->names().MapNames.push_back(label);
    // A face that only begins with "Arial" is printed in its own face.
    auto narrow = std::make_shared<TNaz>(*label);
    narrow->OldName = "Narrow";
    narrow->FontName = "Arial Narrow";
    const TXY at2 = toMap({600, 800});
    narrow->X1 = narrow->X2 = at2.X;
    narrow->Y1 = at2.Y;
    narrow->Y2 = at2.Y + 100;
    w_->names().MapNames.push_back(narrow);
    act("ShowButton")->trigger();
    ASSERT_TRUE(white({550, 500}));
    act("MapNamesItem")->setChecked(true);
    const fs::path pdf = dir_ / "map.pdf";
    printTo(pdf);
    act("PrintMapButton")->trigger();
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_EQ(ws().view.view().SymbolFactor, 1);
    EXPECT_EQ(label->FontName, "Arial");  // it keeps its own face
    std::string text;
    ASSERT_EQ(run("pdftotext " + pdf.string() + " -", text), 0);
    // The header's letters (the text tool drops the blanks between them).
    EXPECT_TRUE(text.find("Д А Р В Е Н Т") != std::string::npos || text.find("ДАРВЕНТ") != std::string::npos)
        << text;
    EXPECT_NE(text.find("Пробная надпись"), std::string::npos) << text;
    std::string fonts;
    ASSERT_EQ(run("pdffonts " + pdf.string(), fonts), 0);
    EXPECT_NE(fonts.find("SansNarrow"), std::string::npos) << fonts;  // what "Arial Narrow" resolves to here
    EXPECT_NE(fonts.find("LiberationSans-Bold"), std::string::npos) << fonts;  // the header's bold Arial
    // Rendered back: the printed line across the page at its place.  The
    // map is 1200 m wide across 9583 printer pixels, 0.6655 page pixels a
    // metre at 100 dpi, and the line lies 500 m below the top of the map,
    // which lies below the header.
    std::string ignore;
    ASSERT_EQ(run("pdftoppm -png -r 100 -singlefile " + pdf.string() + " " + (dir_ / "page").string(), ignore), 0);
    const QImage page(QString::fromStdString((dir_ / "page.png").string()));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width(), 827);
    const double k = 9583.0 / 12 / 1200, top = mapTopAt100Dpi();
    ASSERT_GT(top, 60);
    const int x0 = int(kMargin100 + 250 * k), x1 = int(kMargin100 + 850 * k);
    auto darkAt = [&](int y) {
        int dark = 0;  // columns with ink within 4 pixels of a line's place
        for (int x = x0; x < x1; ++x) {
            bool ink = false;
            for (int dy = -4; dy <= 4; ++dy) ink |= qGray(page.pixel(x, y + dy)) < 100;
            dark += ink;
        }
        return dark;
    };
    EXPECT_GT(darkAt(int(top + 500 * k)), (x1 - x0) * 9 / 10);
    EXPECT_GT(darkAt(int(top + 20 * k)), (x1 - x0) * 9 / 10);
    // Nothing of the map in the header's rows: left of the header, no ink
    // down to the header's bottom.
    int overlap = 0;
    for (int yy = 0; yy < int(top * 0.85); ++yy)
        for (int xx = 0; xx < int(4200 * 827.0 / 9583) - 10; ++xx) overlap += qGray(page.pixel(xx, yy)) < 200;
    EXPECT_EQ(overlap, 0);
    // The header's ink near its place, (4200, 50) printer pixels.
    int header = 0, firstRow = -1, lastRow = -1;
    for (int yy = 0; yy < 80; ++yy)
        for (int xx = int(4200 * 827.0 / 9583); xx < 827; ++xx)
            if (qGray(page.pixel(xx, yy)) < 128) {
                ++header;
                if (firstRow < 0) firstRow = yy;
                lastRow = yy;
            }
    EXPECT_GT(header, 100);
    // 40 points at 100 dpi: capitals about 39 pixels high ("Д" a little more).
    EXPECT_GE(lastRow - firstRow, 36);
    EXPECT_LE(lastRow - firstRow, 50);
    // At 300 dpi the page is narrower than the header's end: it ends at the
    // page's right edge.  Labels taken off the screen ("Убрать с экрана")
    // are printed in white, as on the screen.
    const fs::path pdf300 = dir_ / "map300.pdf";
    dialogs_.onPrinter = [pdf300](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf300.string()));
        p.setResolution(300);
        return true;
    };
    w_->names().NamesErased = true;
    act("PrintMapButton")->trigger();
    ASSERT_EQ(run("pdftoppm -png -r 100 -singlefile " + pdf300.string() + " " + (dir_ / "p300").string(), ignore), 0);
    const QImage p300(QString::fromStdString((dir_ / "p300.png").string()));
    ASSERT_EQ(p300.width(), 827);
    int rightmost = -1, leftmost = 827, topInk = 0;
    for (int yy = 0; yy < 70; ++yy)
        for (int xx = 0; xx < 827; ++xx)
            if (qGray(p300.pixel(xx, yy)) < 128) {
                rightmost = std::max(rightmost, xx);
                leftmost = std::min(leftmost, xx);
                ++topInk;
            }
    EXPECT_GT(topInk, 100);
    EXPECT_GT(rightmost, 827 - 40);  // the header reaches the right edge
    EXPECT_GT(leftmost, 827 / 3);    // and starts right of the middle
    // The label's place (page pixels of (200, 700) to (300, 700)): no ink;
    // the printed line still there.
    const double top300 = mapTopAt100Dpi(300);
    int labelInk = 0, lineInk = 0;
    for (int yy = int(top300 + 700 * k) - 15; yy < int(top300 + 700 * k) + 5; ++yy)
        for (int xx = int(kMargin100 + 200 * k); xx < int(kMargin100 + 300 * k); ++xx)
            labelInk += qGray(p300.pixel(xx, yy)) < 128;
    for (int xx = int(kMargin100 + 200 * k); xx < int(kMargin100 + 300 * k); ++xx)
        lineInk += qGray(p300.pixel(xx, int(top300 + 500 * k))) < 128;
    EXPECT_EQ(labelInk, 0);
    EXPECT_GT(lineInk, 60);
    // "Названия карты" off, the names file still loaded: no label printed.
    act("MapNamesItem")->setChecked(false);
    printTo(pdf);
    act("PrintMapButton")->trigger();
    ASSERT_EQ(run("pdftotext " + pdf.string() + " -", text), 0);
    EXPECT_EQ(text.find("Пробная надпись"), std::string::npos) << text;
    EXPECT_TRUE(text.find("Д А Р В Е Н Т") != std::string::npos || text.find("ДАРВЕНТ") != std::string::npos);
    // Cancelled: nothing printed.
    fs::remove(pdf);
    dialogs_.onPrinter = nullptr;
    act("PrintMapButton")->trigger();
    EXPECT_FALSE(fs::exists(pdf));
}

TEST_F(DisplayToolsTest, ThePrintDialogOffersTheMapsShapeAndName) {
    // A square map: upright; the PDF named after the map, in the map's
    // folder while no other folder was used.
    QPageLayout::Orientation orientation{};
    QString offered;
    dialogs_.onPrinter = [&](QPrinter& p) {
        orientation = p.pageLayout().orientation();
        offered = p.outputFileName();
        return false;
    };
    ws().files.LastDialogFolder.clear();
    act("PrintMapButton")->trigger();
    EXPECT_EQ(orientation, QPageLayout::Portrait);
    EXPECT_EQ(offered, QString::fromStdString((dir_ / "Darvent" / "Darvent.pdf").string()));
    // Twice as wide as tall: across the page.  Then the file goes where it
    // is asked, the message names it, and that folder is offered next.
    MapView& v = ws().view.view();
    v.ViewYMax = v.ViewYMin + 2 * (v.ViewXMax - v.ViewXMin);
    fs::create_directories(dir_ / "out");
    const fs::path pdf = dir_ / "out" / "wide.pdf";
    dialogs_.onPrinter = [&](QPrinter& p) {
        orientation = p.pageLayout().orientation();
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    act("PrintMapButton")->trigger();
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_EQ(dialogs_.texts("message").value(0), QStringLiteral("Карта напечатана в файл ") +
                                                      QString::fromStdString(pdf.string()));
    std::string info;
    ASSERT_EQ(run("pdfinfo " + pdf.string(), info), 0);
    EXPECT_NE(info.find("842 x 595"), std::string::npos) << info;  // A4 across, in points
    // Narrower than tall again: upright, the PDF offered in the folder last used.
    v.ViewYMax = v.ViewYMin + (v.ViewXMax - v.ViewXMin) / 2;
    dialogs_.onPrinter = [&](QPrinter& p) {
        orientation = p.pageLayout().orientation();
        offered = p.outputFileName();
        return false;
    };
    act("PrintMapButton")->trigger();
    EXPECT_EQ(orientation, QPageLayout::Portrait);
    EXPECT_EQ(offered, QString::fromStdString((dir_ / "out" / "Darvent.pdf").string()));
}

TEST_F(DisplayToolsTest, EscAbortsARunningPrintJob) {
    for (int i = 0; i < 5000; ++i) {
        auto o = std::make_unique<TObj>();
        o->Kind = KindLine;
        o->Code = 3060;
        o->Points = {toMap({100, 100 + i % 900}), toMap({900, 100 + i % 900})};
        ws().map.ObjList.append(std::move(o));
    }
    const fs::path pdf = dir_ / "aborted.pdf";
    printTo(pdf);
    // The key comes while the job runs.
    QCoreApplication::postEvent(w_.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    act("PrintMapButton")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Printing aborted")});
    EXPECT_FALSE(w_->isPrinting());
    EXPECT_EQ(ws().view.view().SymbolFactor, 1);
    // The next job runs to the end.
    // An aborted job leaves no file, nor anything beside it.
    EXPECT_FALSE(fs::exists(pdf));
    for (const auto& e : fs::directory_iterator(dir_)) EXPECT_NE(e.path().extension(), fs::path(".pdf")) << e.path();
    // The next job runs to the end and says where the file is.
    dialogs_.clear();
    act("PrintMapButton")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Карта напечатана в файл ") +
                                                     QString::fromStdString(pdf.string())});
    EXPECT_TRUE(fs::exists(pdf));
}

TEST_F(DisplayToolsTest, RasterOfTheWholeMapToTheClipboardAndABitmap) {
    dialogs_.onDialog = [](QDialog& d) {
        auto* r = qobject_cast<RasterDialog*>(&d);
        EXPECT_NE(r, nullptr);
        // The defaults.
        EXPECT_TRUE(r->wholeButton()->isChecked());
        EXPECT_FALSE(r->fileBox()->isChecked());
        EXPECT_TRUE(r->clipboardBox()->isChecked());
        EXPECT_TRUE(r->namesBox()->isChecked());
        EXPECT_FALSE(r->noNamesBox()->isChecked());
        // "С названиями" and "Без названий" exclude each other.
        r->noNamesBox()->setChecked(true);
        EXPECT_FALSE(r->namesBox()->isChecked());
        r->namesBox()->setChecked(true);
        EXPECT_FALSE(r->noNamesBox()->isChecked());
        r->fileBox()->setChecked(true);
        return int(QDialog::Accepted);
    };
    // Layers on: the raster still holds every object.  A label: drawn with
    // "С названиями" though "Названия карты" is off, before the picture is
    // copied and written.  The map's file named otherwise than the city.
    ws().view.LayerDisplay = true;
    act("MapNamesItem")->setChecked(false);
    auto label = std::make_shared<TNaz>();
    label->OldName = utf8ToCp1251("ЖЖЖЖ");
    label->FontName = "Arial";
    const TXY at = toMap({450, 420});
    label->X1 = label->X2 = at.X;
    label->Y1 = at.Y;
    label->Y2 = at.Y + 100;
    w_->names().MapNames.push_back(label);
    ASSERT_FALSE(ws().files.NamesFileName.empty());
    ws().files.MapFileName = dir_ / "Darvent" / "centre.or";
    const fs::path bmp = dir_ / "Darvent" / "centre.bmp";
    // The scale read-out from the picture's width and the east extent
    // (1200 m across 1200 pixels at 3.25 a millimetre: 1:3250), whatever
    // the north extent.
    ws().view.view().ViewXMin = ws().view.view().ViewXMax - 600;
    w_->ExportRaster();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Готово!")});
    EXPECT_TRUE(houseShown());
    EXPECT_EQ(panel(0), QStringLiteral("1:  3250"));
    int labelInk = 0;
    for (int y = 400; y < 425; ++y)
        for (int x = 450; x < 550; ++x) labelInk += ws().view.image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(labelInk, 30);
    const QImage shot = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.convertToFormat(QImage::Format_RGB32), ws().view.image);
    const auto bytes = readWholeFile(bmp);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    uint32_t size;
    std::memcpy(&size, &bytes[2], 4);
    EXPECT_EQ(size, bytes.size());
    const QImage fromFile(QString::fromStdString(bmp.string()), "BMP");
    EXPECT_EQ(fromFile.convertToFormat(QImage::Format_RGB32), ws().view.image);
    // Without a map: the message, no dialog.
    dialogs_.clear();
    ws().files.MapFileName.clear();
    w_->ExportRaster();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Откройте файл с картой!")});
    EXPECT_TRUE(dialogs_.texts("dialog").isEmpty());
}

TEST_F(DisplayToolsTest, RasterOfARectangleSaysDoneTwice) {
    dialogs_.onDialog = [](QDialog& d) {
        auto* r = qobject_cast<RasterDialog*>(&d);
        r->boxButton()->setChecked(true);
        r->fileBox()->setChecked(true);
        return int(QDialog::Accepted);
    };
    w_->ExportRaster();
    EXPECT_TRUE(ws().modes.RasterBoxMode);
    EXPECT_TRUE(dialogs_.texts("message").isEmpty());
    const QImage before = ws().view.image;
    click({250, 250});
    move({450, 400});
    move({500, 450});
    click({500, 450});
    EXPECT_EQ(dialogs_.texts("message"), (QStringList{QStringLiteral("Готово!"), QStringLiteral("Готово!")}));
    EXPECT_EQ(panel(4), QStringLiteral("Ждите."));
    EXPECT_FALSE(ws().modes.RasterBoxMode);
    EXPECT_EQ(ws().view.image, before);  // the rubber rectangle is gone
    const QImage part = before.copy(250, 250, 250, 200);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), part);
    const QImage fromFile(QString::fromStdString((dir_ / "Darvent" / "Darvent.bmp").string()), "BMP");
    EXPECT_EQ(fromFile.convertToFormat(QImage::Format_RGB32), part);
}

TEST_F(DisplayToolsTest, AFailingBitmapWriteKeepsTheOldFile) {
    const fs::path bmp = dir_ / "Darvent" / "Darvent.bmp";
    {
        std::ofstream f(bmp, std::ios::binary);
        f << "old picture";
    }
    dialogs_.onDialog = [](QDialog& d) {
        auto* r = qobject_cast<RasterDialog*>(&d);
        r->fileBox()->setChecked(true);
        r->clipboardBox()->setChecked(false);
        return int(QDialog::Accepted);
    };
    // Files may not grow past 64 KiB: the picture cannot be written.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    w_->ExportRaster();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_NE(dialogs_.texts("message")[0], QStringLiteral("Готово!"));
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("Darvent.bmp"))) << dialogs_.texts("message")[0].toStdString();
    const auto bytes = readWholeFile(bmp);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old picture");
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "Darvent")) files += e.path().filename().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(files, 0);
}

TEST_F(DisplayToolsTest, TheStyleDialogChangesOnlyObjectsOfTheCodeAndUndoRestoresThem) {
    // A line of the house's code as well.
    auto o = std::make_unique<TObj>();
    o->Kind = KindLine;
    o->Code = 1010;
    o->Points = {toMap({50, 1050}), toMap({250, 1050})};
    TObj* line = ws().map.ObjList.append(std::move(o));
    RedrawWithProgress(ws());
    auto snapshot = [this] {
        BinWriter w;
        for (const auto& ob : ws().map.ObjList) EncodeObject(w, *ob);
        return w.data();
    };
    const auto before = snapshot();
    act("FindButton")->trigger();
    click({650, 600});
    ASSERT_EQ(ws().map.CurObj, ws().map.ObjList[2]);
    ASSERT_TRUE(act("AreaLineButton")->isEnabled());
    dialogs_.colors.push_back(QColor(255, 0, 0));
    dialogs_.onDialog = [this](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Color"));
        EXPECT_EQ(s->style().PenColor, ws().map.ObjList[2]->PenColor);  // from the object
        s->colorButton()->click();
        s->widthField()->setValue(5);
        s->penStyleButton(1)->click();
        s->brushStyleButton(6)->click();
        // The samples follow: a red line five pixels thick at height 10.
        const QImage line = s->lineSample();
        EXPECT_EQ(line.pixel(100, 10), qRgb(255, 0, 0));
        EXPECT_EQ(line.pixel(100, 12), qRgb(255, 0, 0));
        EXPECT_EQ(line.pixel(100, 14), qRgb(255, 255, 255));
        EXPECT_EQ(line.pixel(2, 10), qRgb(255, 255, 255));
        s->allButton()->setChecked(true);
        s->acceptButton()->click();
        return d.result();
    };
    act("AreaLineButton")->trigger();
    EXPECT_EQ(w_->StyleTypeCode, 1010);
    for (TObj* ob : {ws().map.ObjList[2], line}) {
        EXPECT_EQ(ob->PenColor, 0x0000FF);
        EXPECT_EQ(ob->PenWidth, 5);
        EXPECT_EQ(ob->PenStyle, 1);
        EXPECT_EQ(ob->BrushStyle, 6);
    }
    EXPECT_NE(ws().map.ObjList[0]->PenColor, 0x0000FF);
    EXPECT_NE(ws().map.ObjList[0]->PenWidth, 5);
    EXPECT_TRUE(ws().map.MapModified);
    // The working pen values stay with the current semantic.
    EXPECT_EQ(ws().classifier.CurrentSemantic.PenWidth, 5);
    act("UndoAction")->trigger();
    EXPECT_EQ(snapshot(), before);
    // No choice of target: the message, nothing changes.
    act("FindButton")->trigger();
    click({650, 600});
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        s->widthField()->setValue(9);
        s->acceptButton()->click();
        return d.result();
    };
    act("AreaLineButton")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Не указано что изменять")));
    EXPECT_EQ(snapshot(), before);
    // The selected object only.
    act("FindButton")->trigger();
    click({650, 600});
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        s->widthField()->setValue(3);
        s->objectButton()->setChecked(true);
        s->acceptButton()->click();
        return d.result();
    };
    act("AreaLineButton")->trigger();
    EXPECT_EQ(ws().map.ObjList[2]->PenWidth, 3);
    EXPECT_NE(line->PenWidth, 3);
}

TEST_F(DisplayToolsTest, TheStyleDialogStartsFromTheObjectOrTheSemanticAndKeepsTheWorkingValues) {
    TObj& house = *ws().map.ObjList[2];
    house.PenWidth = 7;
    house.PenColor = 0x00336699;
    house.BrushColor = 0x00AABBCC;
    TCurrentSemantic& cs = ws().classifier.CurrentSemantic;
    const int32_t semanticBrush = cs.BrushColor;
    const std::vector<std::string> classifier = ws().classifier.ActiveSemantics.Lines;
    // From the object: its width in the field, "Цвет заливки" on its brush
    // colour; a new fill chosen, applied to all objects of its code.
    act("FindButton")->trigger();
    click({650, 600});
    ASSERT_EQ(ws().map.CurObj, &house);
    dialogs_.colors.push_back(QColor(0, 128, 0));
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        EXPECT_EQ(s->widthField()->value(), 7);
        s->fillButton()->click();
        s->allButton()->setChecked(true);
        s->acceptButton()->click();
        return d.result();
    };
    act("AreaLineButton")->trigger();
    ASSERT_EQ(dialogs_.colorInitials.size(), 1u);
    EXPECT_EQ(dialogs_.colorInitials[0], QColor(0xCC, 0xBB, 0xAA));  // 0x00BBGGRR
    EXPECT_EQ(house.BrushColor, 0x00008000);
    EXPECT_EQ(house.PenWidth, 7);
    EXPECT_EQ(cs.BrushColor, semanticBrush);  // the semantic's own brush stays
    EXPECT_EQ(ws().classifier.ActiveSemantics.Lines, classifier);  // the classifier is not touched
    // Cancelled: the working pen values still go to the current semantic,
    // the objects stay.  (The redraw made the last object current.)
    ws().map.CurObj = &house;
    dialogs_.onDialog = [](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        s->widthField()->setValue(4);
        s->penStyleButton(2)->click();
        return int(QDialog::Rejected);
    };
    act("AreaLineButton")->trigger();
    EXPECT_EQ(cs.PenWidth, 4);
    EXPECT_EQ(cs.PenStyle, 2);
    EXPECT_EQ(house.PenWidth, 7);
    // No object in hand: the dialog starts from the semantic's values, and
    // "all of this type" keeps the code of the object styled last.
    ws().map.CurObj = nullptr;
    ws().map.MapModified = false;
    cs.PenColor = 0x00010203;
    int startWidth = 0;
    int32_t startColor = 0;
    dialogs_.onDialog = [&](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        startWidth = s->widthField()->value();
        startColor = s->style().PenColor;
        s->widthField()->setValue(11);
        s->allButton()->setChecked(true);
        s->acceptButton()->click();
        return d.result();
    };
    act("AreaLineButton")->trigger();
    EXPECT_EQ(startWidth, 4);
    EXPECT_EQ(startColor, 0x00010203);
    EXPECT_EQ(w_->StyleTypeCode, 1010);
    EXPECT_EQ(house.PenWidth, 11);
    EXPECT_NE(ws().map.ObjList[0]->PenWidth, 11);
    EXPECT_TRUE(ws().map.MapModified);
    // Neither target chosen: refused, the dialog stays unaccepted and the
    // map is not marked changed.
    ws().map.MapModified = false;
    int result = -1;
    dialogs_.onDialog = [&](QDialog& d) {
        auto* s = qobject_cast<StyleDialog*>(&d);
        s->widthField()->setValue(2);
        s->acceptButton()->click();
        result = d.result();
        return result;
    };
    act("AreaLineButton")->trigger();
    EXPECT_EQ(result, int(QDialog::Rejected));
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_EQ(house.PenWidth, 11);
}

TEST_F(DisplayToolsTest, ThePrintPreviewShowsThePrintedPage) {
    ASSERT_TRUE(act("PrnPreview")->isEnabled());
    int pages = -1;
    dialogs_.onDialog = [&pages](QDialog& d) {
        auto* preview = d.findChild<QPrintPreviewWidget*>();
        EXPECT_NE(preview, nullptr);
        if (preview) {
            preview->updatePreview();
            pages = preview->pageCount();
        }
        return int(QDialog::Rejected);
    };
    act("PrnPreview")->trigger();
    EXPECT_EQ(dialogs_.texts("dialog"), QStringList{QStringLiteral("Предварительный просмотр")});
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(ws().view.view().SymbolFactor, 1);
}

TEST_F(DisplayToolsTest, ThePrintoutFollowsTheLayerDisplay) {
    // The house is the black square at (600..700, 600..700); the streets
    // are of code 3060.  On the page every view pixel (a metre) is 0.6655
    // pixels at 100 dpi.
    ws().view.LayerFilter = {3060};
    // Thin printed lines come out light grey at this resolution.
    auto inkAt = [this](const fs::path& pdf, QRect r, int below) {
        std::string ignore;
        const fs::path png = dir_ / "layers";
        EXPECT_EQ(run("pdftoppm -png -r 100 -singlefile " + pdf.string() + " " + png.string(), ignore), 0);
        const QImage page(QString::fromStdString(png.string() + ".png"));
        int n = 0;
        const double k = 9583.0 / 12 / 1200, top = mapTopAt100Dpi();
        for (int y = int(top + r.top() * k); y <= int(top + r.bottom() * k); ++y)
            for (int x = int(kMargin100 + r.left() * k); x <= int(kMargin100 + r.right() * k); ++x)
                n += qGray(page.pixel(x, y)) < below;
        return n;
    };
    // (The page's margins move everything a few pixels: the boxes allow for it.)
    const QRect house(630, 630, 40, 40), street(220, 285, 160, 30);
    for (bool layers : {false, true}) {
        ws().view.LayerDisplay = layers;
        const fs::path pdf = dir_ / (layers ? "layers.pdf" : "all.pdf");
        printTo(pdf);
        act("PrintMapButton")->trigger();
        EXPECT_GT(inkAt(pdf, street, 250), 20) << layers;
        EXPECT_EQ(inkAt(pdf, house, 100) > 100, !layers) << layers;
    }
}
