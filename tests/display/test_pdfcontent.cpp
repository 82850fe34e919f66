#include "cli/SampleCity.h"
#include "display/PdfMapContent.h"
#include "display/PieceDeflater.h"
#include "display/Print.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPrinter>

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <thread>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <regex>
#include <sstream>
#include <sys/resource.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {

std::string written(double v) {
    std::string s;
    AppendPdfReal(s, v);
    return s;
}

std::string fileText(const fs::path& f) {
    std::ifstream in(f, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string inflated(const std::string& d, size_t from, size_t to) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d.data() + from));
    z.avail_in = uInt(to - from);
    std::string out;
    char buf[1 << 16];
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    }
    inflateEnd(&z);
    return r == Z_STREAM_END ? out : "<" + std::to_string(r) + ">";
}

// The content streams of the page (the last version of it), inflated, in
// order: Qt's one, or Qt's up to the placeholder, the map, Qt's rest.
std::vector<std::string> pageContents(const fs::path& f) {
    const std::string d = fileText(f);
    std::vector<std::string> out;
    const size_t page = d.rfind("/Type /Page\n");
    if (page == std::string::npos) return out;
    const size_t c = d.find("/Contents ", page) + 10;
    const size_t end = d[c] == '[' ? d.find(']', c) : d.find(" 0 R", c) + 4;
    std::istringstream refs(d.substr(c + (d[c] == '['), end - c));
    long n, gen;
    std::string r;
    while (refs >> n >> gen >> r) {
        const size_t obj = d.rfind("\n" + std::to_string(n) + " 0 obj\n");
        const size_t s = d.find("stream\n", obj) + 7;
        out.push_back(inflated(d, s, d.find("\nendstream", s) + 1));
    }
    return out;
}

// The lines of a content stream from its first figure on, with the
// patterns' names left out (Qt's and the form's are numbered apart).
std::vector<std::string> figureLines(const std::string& content) {
    std::vector<std::string> lines;
    bool started = false;
    size_t from = 0;
    const std::regex pat("/PatM?[0-9]+");
    while (from < content.size()) {
        size_t to = content.find('\n', from);
        if (to == std::string::npos) to = content.size();
        const std::string line = content.substr(from, to - from);
        from = to + 1;
        auto ends = [&](const char* tail) {
            const size_t n = std::strlen(tail);
            return line.size() >= n && line.compare(line.size() - n, n, tail) == 0;
        };
        if (!started && (ends(" m") || ends(" re"))) started = true;
        if (started) lines.push_back(std::regex_replace(line, pat, "/Pat"));
    }
    return lines;
}

// Through popen rather than QProcess: Qt's child shares the parent's memory
// until it runs the program, which ThreadSanitizer's state does not survive.
QByteArray raster(const fs::path& pdf, int dpi) {
    const std::string cmd = "pdftoppm -r " + std::to_string(dpi) + " '" + pdf.string() + "'";
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f) return {};
    QByteArray out;
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, qsizetype(n));
    return ::pclose(f) == 0 ? out : QByteArray();
}

// Figures of every kind the map's objects use, in many states: cosmetic and
// wide pens, caps, joins and dashes, fills solid and hatched, transforms,
// points and lines past Qt's batches of 256, repeated and closing vertices.
void drawFigures(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.translate(0, 37);
    p.setPen(QPen(QColor(20, 120, 220), 0));
    const QPoint line[] = {{10, 10}, {60, 15}, {60, 15}, {90, 70}, {90, 70}, {40, 90}};
    p.drawPolyline(line, 6);
    const QPoint dot[] = {{5, 5}};
    p.drawPolyline(dot, 1);
    QPen wide(QColor(200, 30, 40), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(wide);
    p.drawPolyline(line, 6);
    p.setPen(QPen(Qt::darkGreen, 3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolyline(line, 4);
    p.setPen(QPen(Qt::blue, 2, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
    p.drawLine(QPoint(100, 100), QPoint(400, 130));
    QPen custom(QColor(90, 90, 10), 0);
    custom.setDashPattern({3, 3, 9, 2});
    p.setPen(custom);
    p.drawLine(QPoint(100, 140), QPoint(400, 150));
    // Areas: odd-even and winding, closed already, a single vertex, hatched.
    p.setPen(QPen(QColor(70, 40, 10), 0));
    p.setBrush(QColor(240, 200, 150));
    const QPoint star[] = {{200, 200}, {260, 380}, {110, 260}, {290, 260}, {140, 380}};
    p.drawPolygon(star, 5);
    p.drawPolygon(star, 5, Qt::WindingFill);
    const QPoint closed[] = {{300, 300}, {340, 300}, {340, 330}, {300, 300}};
    p.drawPolygon(closed, 4);
    p.drawPolygon(dot, 1);
    for (Qt::BrushStyle s : {Qt::BDiagPattern, Qt::CrossPattern, Qt::Dense4Pattern, Qt::HorPattern}) {
        p.setBrush(QBrush(QColor(10, 110, 30), s));
        p.translate(37, 11);
        p.drawPolygon(closed, 3);
    }
    p.setBrushOrigin(3, 5);
    p.drawPolygon(star, 5);
    p.setBrushOrigin(0, 0);
    // Fill alone, under a transform.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 200, 250));
    p.save();
    p.rotate(17);
    p.drawPolygon(star, 5);
    p.restore();
    p.drawRect(QRect(500, 20, 40, 30));
    // Ellipses, circles and arcs, with thin and wide pens.
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::black);
    p.drawEllipse(QPoint(420, 420), 4, 4);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(380, 300, 70, 40));
    p.setPen(QPen(QColor(100, 100, 100), 2));
    p.drawArc(QRect(450, 200, 60, 60), 30 * 16, 120 * 16);
    p.drawRect(QRect(600, 20, 40, 30));
    // The brush again after an arc (which strokes without it), a brush
    // with nothing to show, a ring drawn as a line, rectangles drawn with a
    // thin pen under the transform.
    p.setBrush(QColor(200, 100, 0));
    p.drawArc(QRect(450, 260, 60, 60), 0, 90 * 16);
    p.drawPolygon(star, 5);
    p.setBrush(QColor(10, 20, 30, 0));
    p.drawPolygon(star, 5);
    p.setPen(QPen(QColor(0, 90, 0), 0));
    const QPoint ring[] = {{700, 20}, {760, 20}, {760, 70}, {700, 20}};
    p.drawPolyline(ring, 4);
    const QRect rects[] = {QRect(700, 100, 30, 20), QRect(740, 100, 1, 1)};
    p.drawRects(rects, 2);
    p.setBrush(Qt::NoBrush);
    // Points and lines past 256, a zero-length line at the end.
    p.setPen(QPen(QColor(80, 80, 80), 0));
    std::vector<QPoint> pts;
    std::vector<QLine> lines;
    for (int i = 0; i < 300; ++i) {
        pts.push_back({600 + i % 50 * 3, 300 + i / 50 * 3});
        lines.push_back(QLine(700 + i, 500, 700 + i, 500 + i % 7));
    }
    lines.push_back(QLine(30, 600, 30, 600));
    p.drawPoints(pts.data(), int(pts.size()));
    p.drawLines(lines.data(), int(lines.size()));
    // A cosmetic pen under a scale: the points are mapped, not the page.
    p.scale(1.5, 1.25);
    p.drawPolyline(line, 6);
    p.setPen(QPen(QColor(0, 0, 160), 3));
    p.drawPolyline(line, 6);
    // Back to no transform with a wide pen: no matrix is written.
    p.resetTransform();
    p.drawPolyline(line, 6);
}

// A page through Qt: the placeholder, then the figures, either on Qt's
// painter or through a form.
void page(const fs::path& file, bool form, const std::function<void(QPainter&)>& figures, std::string* why = nullptr) {
    QPdfWriter w(QString::fromStdString(file.string()));
    w.setResolution(600);
    w.setPageSize(QPageSize(QPageSize::A6));
    QPainter p(&w);
    p.setPen(Qt::black);
    p.drawText(QPoint(50, 50), QStringLiteral("Д А Р В Е Н Т"));
    PdfMapContent f(p);
    PdfMapContent::drawPlaceholder(p);
    if (form) {
        QPainter fp(&f);
        figures(fp);
        fp.end();
    } else {
        p.save();
        figures(p);
        p.restore();
    }
    f.finish();
    p.drawText(QPoint(50, 700), QStringLiteral("Надпись поверх"));
    p.end();
    if (form) {
        std::string reason;
        EXPECT_EQ(f.appendTo(file, reason), why == nullptr) << reason;
        if (why) *why = reason;
    }
}

fs::path tempDir(const char* name) {
    const fs::path d = fs::temp_directory_path() / (std::string("dm_pdfcontent_") + name + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

}  // namespace

TEST(PdfMapContent, NumbersWrittenAsQtsEngineWritesThem) {
    // Whole numbers plainly; others with nine digits in all, cut.
    EXPECT_EQ(written(0), "0 ");
    EXPECT_EQ(written(-0.0), "0 ");
    EXPECT_EQ(written(7), "7 ");
    EXPECT_EQ(written(-3), "-3 ");
    EXPECT_EQ(written(4294967295.0), "4294967295 ");
    EXPECT_EQ(written(0.5), "0.500000000 ");
    EXPECT_EQ(written(-0.25), "-0.250000000 ");
    EXPECT_EQ(written(2.5), "2.50000000 ");
    EXPECT_EQ(written(12345.5), "12345.5000 ");
    EXPECT_EQ(written(123456789.5), "123456789 ");
    EXPECT_EQ(written(1234567890.5), "1234567890 ");
    EXPECT_EQ(written(0.9999999999), "0.999999999 ");
    EXPECT_EQ(written(1.9999999999), "1.99999999 ");
    EXPECT_EQ(written(1e-10), "0 ");
    EXPECT_EQ(written(-4e-10), "-0 ");
    EXPECT_EQ(written(1.5), "1.50000000 ");
    EXPECT_EQ(written(3.0078125), "3.00781250 ");
    EXPECT_EQ(written(12345.0000076293945), "12345 ");  // 2^-17 after the point: cut away
    EXPECT_EQ(written(5e9), "0 ");
    // As Qt wrote the page matrix of an A4 page at 1200 dpi.
    EXPECT_EQ(written(0.06), "0.060000000 ");
    EXPECT_EQ(written(10.02), "10.0199999 ");
    EXPECT_EQ(written(831.98), "831.980000 ");
    EXPECT_EQ(written(-0.06), "-0.060000000 ");
    // Beyond 32 bits and not numbers: a zero.
    EXPECT_EQ(written(4294967296.0), "0 ");
    EXPECT_EQ(written(-5e12), "0 ");
    EXPECT_EQ(written(std::nan("")), "0 ");
    EXPECT_EQ(written(INFINITY), "0 ");
}

TEST(PdfMapContent, FiguresWrittenAsQtsEngineWritesThem) {
    const fs::path d = tempDir("figures");
    page(d / "qt.pdf", false, drawFigures);
    page(d / "form.pdf", true, drawFigures);
    const std::vector<std::string> qt = pageContents(d / "qt.pdf"), ours = pageContents(d / "form.pdf");
    ASSERT_EQ(qt.size(), 1u);
    ASSERT_EQ(ours.size(), 3u);
    // Qt's page up to the placeholder, as Qt wrote it.
    const size_t placed = qt[0].find("  Do\nQ\n") + 7;
    EXPECT_EQ(ours[0], qt[0].substr(0, placed));
    // The map opens and closes one saved state of its own.
    const std::string& map = ours[1];
    EXPECT_EQ(map.substr(0, 4), "q\nQ\n");
    EXPECT_EQ(map.substr(map.size() - 2), "Q\n");
    const std::vector<std::string> a = figureLines(qt[0].substr(placed)), b = figureLines(map);
    ASSERT_GT(b.size(), 1250u);
    ASSERT_GE(a.size(), b.size());
    size_t differ = 0;
    for (size_t i = 0; i + 1 < b.size(); ++i)
        if (a[i] != b[i] && differ++ < 5) ADD_FAILURE() << "line " << i << ": Qt \"" << a[i] << "\", ours \"" << b[i] << '"';
    EXPECT_EQ(differ, 0u);
    // The label after the map, by Qt.
    EXPECT_NE(ours[2].find("BT\n"), std::string::npos);
    EXPECT_EQ(ours[2].find(" m\n"), std::string::npos);
    const std::string file = fileText(d / "form.pdf");
    EXPECT_NE(file.find("/Prev "), std::string::npos);
    EXPECT_EQ(file.substr(file.size() - 6), "%%EOF\n");
    // The same pictures.
    for (int dpi : {72, 150, 300}) {
        const QByteArray x = raster(d / "qt.pdf", dpi), y = raster(d / "form.pdf", dpi);
        ASSERT_FALSE(x.isEmpty());
        EXPECT_TRUE(x == y) << dpi << " dpi";
    }
    fs::remove_all(d);
}

TEST(PdfMapContent, WhatItCannotWriteLeavesThePlaceholderAndSaysWhy) {
    const fs::path d = tempDir("cannot");
    struct Case {
        const char* why;
        std::function<void(QPainter&)> draw;
    };
    const QPoint tri[] = {{10, 10}, {90, 10}, {50, 80}};
    const Case cases[] = {
        {"текст", [](QPainter& p) { p.drawText(QPoint(20, 20), QStringLiteral("Надпись")); }},
        {"растровое изображение", [](QPainter& p) { p.drawImage(QPoint(0, 0), QImage(4, 4, QImage::Format_RGB32)); }},
        {"прозрачность", [&](QPainter& p) { p.setOpacity(0.5); p.drawPolyline(tri, 3); }},
        {"обрезка", [&](QPainter& p) { p.setClipRect(QRect(0, 0, 50, 50)); p.drawPolyline(tri, 3); }},
        {"прозрачная заливка", [&](QPainter& p) { p.setBrush(QColor(0, 0, 0, 100)); p.drawPolygon(tri, 3); }},
        {"заливка градиентом или текстурой", [&](QPainter& p) {
             p.setBrush(QLinearGradient(0, 0, 100, 0));
             p.drawPolygon(tri, 3);
         }},
        {"перо с узором или прозрачностью", [&](QPainter& p) {
             p.setPen(QPen(QBrush(Qt::red, Qt::CrossPattern), 3));
             p.drawPolyline(tri, 3);
         }},
    };
    for (const Case& c : cases) {
        std::string why;
        page(d / "x.pdf", true, [&](QPainter& p) {
            p.drawPolyline(tri, 3);  // written, then the one it cannot write
            c.draw(p);
        }, &why);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        // Qt's file stays as Qt wrote it: the transparent placeholder only.
        EXPECT_EQ(fileText(d / "x.pdf").find("/Prev "), std::string::npos) << c.why;
        EXPECT_EQ(pageContents(d / "x.pdf").size(), 1u);
    }
    // Not a PDF, or a PDF in grey: never usable.
    QImage img(10, 10, QImage::Format_RGB32);
    QPainter ip(&img);
    EXPECT_FALSE(PdfMapContent(ip).usable());
    ip.end();
    QPrinter grey(QPrinter::HighResolution);
    grey.setOutputFormat(QPrinter::PdfFormat);
    grey.setOutputFileName(QString::fromStdString((d / "grey.pdf").string()));
    grey.setColorMode(QPrinter::GrayScale);
    QPainter gp(&grey);
    EXPECT_FALSE(PdfMapContent(gp).usable());
    gp.end();
    fs::remove_all(d);
}

TEST(PdfMapContent, AFileWithoutOnePlaceholderIsLeftAsItWas) {
    const fs::path d = tempDir("noplace");
    auto write = [&](const fs::path& f, int placeholders) {
        QPdfWriter w(QString::fromStdString(f.string()));
        QPainter p(&w);
        PdfMapContent form(p);
        for (int i = 0; i < placeholders; ++i) PdfMapContent::drawPlaceholder(p);
        if (placeholders == 2) p.drawImage(QPoint(5, 5), QImage(3, 3, QImage::Format_RGB32));
        {
            QPainter fp(&form);
            fp.drawLine(0, 0, 100, 100);
        }
        form.finish();
        p.end();
        const std::string before = fileText(f);
        std::string why;
        EXPECT_FALSE(form.appendTo(f, why));
        EXPECT_EQ(why, "нет места для карты на странице");
        EXPECT_EQ(fileText(f), before);
    };
    write(d / "none.pdf", 0);
    write(d / "two.pdf", 2);
    // Drawn for a page of one resolution, added to a page of another.
    {
        QPdfWriter w600(QString::fromStdString((d / "600.pdf").string()));
        w600.setResolution(600);
        QPainter p600(&w600);
        PdfMapContent content(p600);
        {
            QPainter fp(&content);
            fp.drawLine(0, 0, 100, 100);
        }
        content.finish();
        p600.end();
        QPdfWriter w300(QString::fromStdString((d / "300.pdf").string()));
        w300.setResolution(300);
        QPainter p300(&w300);
        PdfMapContent::drawPlaceholder(p300);
        p300.end();
        const std::string before = fileText(d / "300.pdf");
        std::string why;
        EXPECT_FALSE(content.appendTo(d / "300.pdf", why));
        EXPECT_EQ(why, "страница не на той сетке");
        EXPECT_EQ(fileText(d / "300.pdf"), before);
    }
    // Not a PDF at all, or a missing file.
    {
        std::ofstream(d / "text.pdf") << "not a pdf\n";
        QPdfWriter w(QString::fromStdString((d / "other.pdf").string()));
        QPainter p(&w);
        PdfMapContent form(p);
        form.finish();
        p.end();
        std::string why;
        EXPECT_FALSE(form.appendTo(d / "text.pdf", why));
        EXPECT_EQ(why, "нет таблицы объектов");
        EXPECT_EQ(fileText(d / "text.pdf"), "not a pdf\n");
        EXPECT_FALSE(form.appendTo(d / "missing.pdf", why));
        EXPECT_FALSE(fs::exists(d / "missing.pdf"));
    }
    fs::remove_all(d);
}

TEST(PdfMapContent, TheCityPrintedIntoAFileIsTheCityPrintedByQt) {
    const fs::path d = tempDir("city");
    sample::writeStartFolder(d, {});
    MapDoc doc;
    doc.Orientation = ReadOrientation(d / "Darvent" / "Darvent.or");
    LoadObjects(d / "Darvent" / "Darvent.bin", doc.ObjList);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    ctx.view.FitScaleToScreen(800);
    // The last object drawn is a filled area: the labels after it inherit
    // its brush.
    for (const auto& o : doc.ObjList)
        if (o->Kind == KindArea && o->BrushStyle == 0 && o->Points.size() >= 4) {
            doc.ObjList.append(std::make_unique<TObj>(*o));
            break;
        }
    auto print = [&](const fs::path& f, bool form) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setResolution(600);
        printer.setOutputFileName(QString::fromStdString(f.string()));
        PrintJob job;
        job.deviceWidth = printer.width();
        // Labels over the map, through Qt.
        job.drawLabels = [](QPainter& p, double, double) {
            // With the brush the objects left, then their own.
            p.drawEllipse(QRect(2500, 1500, 400, 300));
            p.setPen(Qt::red);
            p.drawText(QPoint(1500, 2000), QStringLiteral("Улица Навои"));
            p.fillRect(QRect(2000, 2500, 300, 300), Qt::blue);
        };
        return PrintPage(printer, form ? f : fs::path(), doc, ctx, job);
    };
    ASSERT_EQ(print(d / "qt.pdf", false), PrintResult::Printed);
    ASSERT_EQ(print(d / "form.pdf", true), PrintResult::Printed);
    const std::vector<std::string> qt = pageContents(d / "qt.pdf"), ours = pageContents(d / "form.pdf");
    ASSERT_EQ(qt.size(), 1u);
    ASSERT_EQ(ours.size(), 3u);
    ASSERT_GT(ours[1].size(), 100000u);
    const std::vector<std::string> a = figureLines(qt[0].substr(qt[0].find(" m\n") - 20)), b = figureLines(ours[1]);
    // The objects are the same lines, in the same order.
    ASSERT_GT(a.size(), b.size());
    EXPECT_TRUE(std::equal(b.begin(), b.end() - 1, a.begin()));
    const QByteArray x = raster(d / "qt.pdf", 150), y = raster(d / "form.pdf", 150);
    ASSERT_FALSE(x.isEmpty());
    EXPECT_TRUE(x == y);
    // Labels with a picture of their own: the page has two images, the map
    // cannot go in, and the page is printed again by Qt alone.
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(600);
        printer.setOutputFileName(QString::fromStdString((d / "again.pdf").string()));
        PrintJob job;
        job.deviceWidth = printer.width();
        job.drawLabels = [](QPainter& p, double, double) {
            QImage mark(8, 8, QImage::Format_RGB32);
            mark.fill(Qt::red);
            p.drawImage(QPoint(3000, 3000), mark);
        };
        EXPECT_EQ(PrintPage(printer, d / "again.pdf", doc, ctx, job), PrintResult::Printed);
        const std::vector<std::string> again = pageContents(d / "again.pdf");
        ASSERT_EQ(again.size(), 1u);
        EXPECT_GT(figureLines(again[0]).size(), b.size());
        EXPECT_EQ(fileText(d / "again.pdf").find("/Prev "), std::string::npos);
    }
    // A grey page: printed by Qt alone, into the same file.
    {
        QPrinter grey(QPrinter::HighResolution);
        grey.setOutputFormat(QPrinter::PdfFormat);
        grey.setColorMode(QPrinter::GrayScale);
        grey.setOutputFileName(QString::fromStdString((d / "grey.pdf").string()));
        PrintJob job;
        job.deviceWidth = grey.width();
        EXPECT_EQ(PrintPage(grey, d / "grey.pdf", doc, ctx, job), PrintResult::Printed);
        const std::vector<std::string> g = pageContents(d / "grey.pdf");
        ASSERT_EQ(g.size(), 1u);
        EXPECT_NE(g[0].find(" m\n"), std::string::npos);
        // Qt's grey: each colour of three equal parts.
        const size_t scn = g[0].find(" SCN\n");
        ASSERT_NE(scn, std::string::npos);
        std::istringstream colour(g[0].substr(g[0].rfind('\n', scn) + 1, scn - g[0].rfind('\n', scn) - 1));
        std::string r, gr, b;
        colour >> r >> gr >> b;
        EXPECT_TRUE(r == gr && gr == b) << r << ' ' << gr << ' ' << b;
        EXPECT_EQ(fileText(d / "grey.pdf").find("/Prev "), std::string::npos);
    }
    // Stopped: nothing is added, the printer is aborted.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString((d / "stopped.pdf").string()));
    PrintJob job;
    job.deviceWidth = printer.width();
    job.aborted = [] { return true; };
    EXPECT_EQ(PrintPage(printer, d / "stopped.pdf", doc, ctx, job), PrintResult::Stopped);
    EXPECT_EQ(fileText(d / "stopped.pdf").find("/Prev "), std::string::npos);
    // Memory runs out deflating the map: the page is not finished (and not
    // printed again, which would fail the same way).
    job.aborted = {};
    int pieces = 0;
    job.deflateHook = [&pieces](z_stream&) {
        ++pieces;
        throw std::bad_alloc();
    };
    EXPECT_EQ(PrintPage(printer, d / "nomemory.pdf", doc, ctx, job), PrintResult::NotFinished);
    EXPECT_GE(pieces, 1);
    fs::remove_all(d);
}

namespace {
void* noMemory(void*, uInt, uInt) { return nullptr; }
}  // namespace

// A piece that fails (memory, zlib refusing to start, anything thrown) ends
// the stream with the reason, on whichever thread it ran.
TEST(PieceDeflater, AFailedPieceFailsTheStreamAndNeverTheProgram) {
    const std::pair<std::function<void(z_stream&)>, const char*> faults[] = {
        {[](z_stream&) { throw std::bad_alloc(); }, "не хватило памяти для сжатия страницы"},
        {[](z_stream& z) { z.zalloc = noMemory; }, "zlib не начал сжатие (код -4)"},
        {[](z_stream&) { throw 42; }, "сжатие страницы прервано"},
    };
    for (const auto& [fault, why] : faults) {
        PieceDeflater d;
        d.beforePiece = fault;
        for (int i = 0; i < 3; ++i) d.push(std::string(1 << 20, char('a' + i)));
        EXPECT_TRUE(d.finish().empty()) << why;
        EXPECT_TRUE(d.failed());
        EXPECT_EQ(d.error(), why);
        d.push("more");  // dropped, without waiting
    }
}

// At most `maxWaiting` pieces wait for the worker; a stopped job drops them.
TEST(PieceDeflater, TheQueueIsBoundedAndAStoppedJobDropsWhatWaits) {
    std::mutex m;
    std::condition_variable cv;
    bool go = false;
    std::atomic<int> started{0};
    auto held = [&](z_stream&) {  // each piece waits for `go`
        ++started;
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return go; });
    };
    auto setGo = [&](bool on) {
        std::lock_guard lock(m);
        go = on;
        cv.notify_all();
    };
    auto waitFor = [](auto done) {
        for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };
    PieceDeflater d(2);
    d.beforePiece = held;
    for (char c : {'a', 'b', 'c'}) d.push(std::string(100000, c));
    ASSERT_TRUE(waitFor([&] { return started == 1 && d.waiting() == 2; }));
    std::atomic<bool> pushed{false};
    std::thread late([&] {
        d.push(std::string(100000, 'd'));
        pushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(pushed);
    setGo(true);
    late.join();
    std::string stream;
    for (const std::string& s : d.finish()) stream += s;
    EXPECT_EQ(inflated(stream, 0, stream.size()),
              std::string(100000, 'a') + std::string(100000, 'b') + std::string(100000, 'c') + std::string(100000, 'd'));

    setGo(false);
    started = 0;
    PieceDeflater e(8);
    e.beforePiece = held;
    for (char c : {'a', 'b', 'c', 'd'}) e.push(std::string(1000, c));
    ASSERT_TRUE(waitFor([&] { return started == 1; }));
    std::thread esc([&] { e.abandon(); });
    EXPECT_TRUE(waitFor([&] { return e.waiting() == 0; }));
    setGo(true);
    esc.join();
    EXPECT_EQ(started, 1);
}

TEST(PdfMapContent, AMapOfManyPiecesIsWholeAndTheUpdateFindsEveryObject) {
    const fs::path d = tempDir("pieces");
    // Over 12 MB of content: several pieces deflated apart.
    constexpr int kPoints = 520000;
    page(d / "big.pdf", true, [](QPainter& p) {
        p.setPen(QPen(Qt::black, 0));
        std::vector<QPointF> pts;
        for (int i = 0; i < kPoints; ++i) pts.emplace_back(1000 + i % 1000, 1000 + i / 1000);
        p.drawPoints(pts.data(), int(pts.size()));
        p.setBrush(QBrush(Qt::blue, Qt::CrossPattern));
        const QPoint tri[] = {{10, 10}, {90, 10}, {50, 80}};
        p.drawPolygon(tri, 3);
    });
    const std::vector<std::string> c = pageContents(d / "big.pdf");
    ASSERT_EQ(c.size(), 3u);
    const std::string& map = c[1];
    ASSERT_GT(map.size(), 12u << 20);
    size_t moves = 0;
    for (size_t at = map.find(" m\n"); at != std::string::npos; at = map.find(" m\n", at + 1)) ++moves;
    EXPECT_EQ(moves, size_t(kPoints) + 1);
    EXPECT_EQ(map.substr(map.size() - 2), "Q\n");
    // The last point (1519 + 0.001 is 1519.000999... in doubles, cut to nine digits).
    EXPECT_NE(map.find("1999 1519 m\n1999 1519.00099 l\n"), std::string::npos);
    // The update's cross-references: each entry at its object, the size
    // past every object, the trailer back to Qt's table.
    const std::string f = fileText(d / "big.pdf");
    const size_t sx = f.rfind("startxref\n");
    const size_t xref = std::stoul(f.substr(sx + 10));
    const size_t oldXref = std::stoul(f.substr(f.rfind("startxref\n", sx - 1) + 10));
    ASSERT_EQ(f.compare(xref, 5, "xref\n"), 0);
    std::istringstream table(f.substr(xref + 5, f.find("trailer", xref) - xref - 5));
    long first, count, highest = 0, entries = 0;
    while (table >> first >> count) {
        for (long i = 0; i < count; ++i) {
            std::string offset, gen, kind;
            table >> offset >> gen >> kind;
            EXPECT_EQ(kind, "n");
            const std::string head = std::to_string(first + i) + " 0 obj\n";
            EXPECT_EQ(f.compare(std::stoul(offset), head.size(), head), 0) << first + i;
            highest = std::max(highest, first + i);
            ++entries;
        }
    }
    EXPECT_EQ(entries, 6);  // the page, one pattern, three contents, the resources
    const std::string trailer = f.substr(f.find("trailer", xref));
    EXPECT_NE(trailer.find("/Size " + std::to_string(highest + 1) + "\n"), std::string::npos) << trailer;
    EXPECT_NE(trailer.find("/Prev " + std::to_string(oldXref) + "\n"), std::string::npos) << trailer;
    const QByteArray r = raster(d / "big.pdf", 72);
    EXPECT_FALSE(r.isEmpty());
    fs::remove_all(d);
}

TEST(PdfMapContent, AnUpdateThatCannotBeWrittenWholeIsTakenBackOut) {
    const fs::path d = tempDir("limit");
    const fs::path f = d / "page.pdf";
    QPdfWriter w(QString::fromStdString(f.string()));
    QPainter p(&w);
    PdfMapContent content(p);
    PdfMapContent::drawPlaceholder(p);
    {
        QPainter fp(&content);
        for (int i = 0; i < 20000; ++i) fp.drawLine(i % 997, i % 991, i % 983, i % 977);
    }
    content.finish();
    p.end();
    const std::string before = fileText(f);
    // Files may grow by 1,000 bytes: the update is cut back off.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = before.size() + 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string why;
    const bool added = content.appendTo(f, why);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(added);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(fileText(f), before);
    // Without the limit it goes in.
    EXPECT_TRUE(content.appendTo(f, why)) << why;
    EXPECT_EQ(pageContents(f).size(), 3u);
    fs::remove_all(d);
}
