// The redraw of what shows, and the redraw of a rectangle, against drawing
// every object of the list: the same pixels at several zooms and positions,
// with point symbols, ornaments and wide pens at the picture's edges.
#include "cli/SampleCity.h"
#include "classifier/Znak.h"
#include "display/PdfCompression.h"
#include "display/Print.h"
#include "display/Redraw.h"

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <gtest/gtest.h>

#include <fstream>
#include <numbers>
#include <optional>
#include <random>
#include <thread>
#include <unistd.h>
#include <zlib.h>

using namespace dm;

namespace {

QImage fullListPicture(MapDoc& doc, const RenderContext& ctx, QSize size) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& o : doc.ObjList) DrawObject(p, *o, ctx.view.SymbolFactor, ctx);
    return img;
}

long differing(const QImage& a, const QImage& b) {
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

class Visibility : public ::testing::Test {
protected:
    void SetUp() override {
        sample::buildCity(doc_, {.seed = 3, .objects = 6000});
        const auto f = std::filesystem::temp_directory_path() / ("dm_vis_" + std::to_string(::getpid()) + ".ris");
        WriteZnakFile(f, sample::symbols());
        symbols_.LoadZnakIndex(f);
        std::filesystem::remove(f);
        ctx_.znaks = &symbols_;
        // Objects that reach across the edges of every view below: wide
        // pens, ornamented lines and point symbols just outside a picture.
        const OrientationRecord& o = doc_.Orientation;
        const double cx = (o.XMax + o.XMin) / 2, cy = (o.YMax + o.YMin) / 2;
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> d(-1500, 1500);
        const int codes[] = {2222, 2410, 2560, 3110, 3130, 2402, 741, 1010};
        for (int i = 0; i < 400; ++i) {
            auto obj = std::make_unique<TObj>();
            obj->Code = codes[i % 8];
            obj->Kind = uint8_t(i % 8 == 5 ? KindPoint : i % 8 >= 6 ? KindArea : KindLine);
            obj->PenWidth = i % 5 == 0 ? 1 + int(rng() % 30) : 1;
            obj->PenColor = int32_t(rng() & 0xFFFFFF);
            obj->BrushColor = int32_t(rng() & 0xFFFFFF);
            const double x = cx + d(rng), y = cy + d(rng);
            obj->Points.push_back({x, y});
            if (obj->Kind != KindPoint) {
                obj->Points.push_back({x + d(rng) / 20, y + d(rng) / 20});
                obj->Points.push_back({x + d(rng) / 20, y + d(rng) / 20});
            }
            if (obj->Kind == KindArea) obj->Points.push_back(obj->Points.front());
            doc_.ObjList.append(std::move(obj));
        }
        // Circles and arcs (drawn through their first three vertices) and
        // pens wider than the index keeps with the objects: small ones all
        // over, and circles of 1.2 to 3 km radius whose three vertices lie
        // close together far from the middle, so that only the curve
        // reaches the views below.
        for (int i = 0; i < 120; ++i) {
            auto obj = std::make_unique<TObj>();
            obj->Code = i % 3 == 0 ? 6010 : 6020;
            obj->Kind = KindLine;
            obj->PenColor = int32_t(rng() & 0xFFFFFF);
            obj->PenWidth = i % 4 == 0 ? 40 + int(rng() % 60) : 1 + int(rng() % 3);
            obj->Shape = uint8_t(i % 5 == 4 ? ShapePlain : i % 2 ? ShapeArc : ShapeCircle);
            const double x = cx + d(rng), y = cy + d(rng);
            if (i % 3 == 1) {
                const double r = 1200 + (rng() % 1800), a = (rng() % 360) * std::numbers::pi / 180;
                const double mx = cx - r * std::cos(a) + d(rng) / 20, my = cy - r * std::sin(a) + d(rng) / 20;
                for (int k = 0; k < 4; ++k) {
                    const double b = a + k * 0.004;
                    obj->Points.push_back({mx + r * std::cos(b), my + r * std::sin(b)});
                }
            } else {
                for (int k = 0; k < 4; ++k) obj->Points.push_back({x + d(rng) / 15, y + d(rng) / 15});
            }
            doc_.ObjList.append(std::move(obj));
        }
    }
    MapDoc doc_;
    ZnakSet symbols_;
    RenderContext ctx_;
};

}  // namespace

TEST_F(Visibility, SamePixelsAsTheWholeListAtSeveralZoomsAndPlaces) {
    const OrientationRecord& o = doc_.Orientation;
    const double cx = (o.XMax + o.XMin) / 2, cy = (o.YMax + o.YMin) / 2;
    const QSize size(420, 300);
    int checked = 0, curveOnly = 0;
    for (double scale : {0.05, 0.4, 1.5, 6.0}) {
        for (double shift : {-0.3, 0.0, 0.17}) {
            MapView& v = ctx_.view;
            v.Scale = scale;
            v.SymbolFactor = 1;
            v.ViewYMin = cy + shift * 800 - size.width() / 2.0 / scale;
            v.ViewXMax = cx - shift * 500 + size.height() / 2.0 / scale;
            v.ViewYMax = v.ViewYMin + size.width() / scale;
            v.ViewXMin = v.ViewXMax - size.height() / scale;
            QImage img(size, QImage::Format_RGB32);
            img.fill(Qt::red);
            doc_.EditPoints = {{1, 2}};
            RedrawMap(img, doc_, ctx_);
            const QImage ref = fullListPicture(doc_, ctx_, size);
            ASSERT_EQ(differing(img, ref), 0) << "scale " << scale << " shift " << shift;
            EXPECT_EQ(doc_.CurObj, doc_.ObjList.last());
            EXPECT_TRUE(doc_.EditPoints.empty());
            // Only a part of the city is drawn at the closer views.
            std::vector<TObj*> visible;
            VisibleObjects(doc_, ctx_, img.rect(), visible);
            if (scale >= 1.5) {
                EXPECT_LT(visible.size(), doc_.ObjList.size() / 4) << scale;
            }
            // Of the circles, arcs and very wide pens only those that can
            // reach the picture; some reach it by their curve alone.
            size_t far = 0;
            for (TObj* obj : visible) {
                if (!ObjectIndex::farReaching(*obj)) continue;
                ++far;
                const ObjectIndex::Box b = ObjectIndex::extentOf(*obj);
                curveOnly += b.xmin > v.ViewXMax || b.xmax < v.ViewXMin || b.ymin > v.ViewYMax || b.ymax < v.ViewYMin;
            }
            if (scale >= 1.5) {
                EXPECT_LT(far, 120u / 3) << scale;
            }
            // A rectangle drawn again from the objects over a scribbled
            // picture gives the same pixels there.
            QImage part = ref;
            {
                QPainter p(&part);
                p.fillRect(QRect(50, 40, 200, 150), Qt::green);
            }
            QImage scratch;
            TObj* const current = doc_.CurObj;
            doc_.EditPoints = {{7, 7}};
            RedrawArea(part, doc_, ctx_, QRect(50, 40, 200, 150), scratch);
            EXPECT_EQ(doc_.CurObj, current);
            EXPECT_EQ(doc_.EditPoints.size(), 1u);
            ASSERT_EQ(differing(part, ref), 0) << "area, scale " << scale << " shift " << shift;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 12);
    EXPECT_GT(curveOnly, 0);
}

TEST_F(Visibility, TheLayerRedrawTakesTheSameRoute) {
    MapView& v = ctx_.view;
    const OrientationRecord& o = doc_.Orientation;
    v.Scale = 1.0;
    v.ViewXMax = (o.XMax + o.XMin) / 2 + 150;
    v.ViewYMin = (o.YMax + o.YMin) / 2 - 200;
    const QSize size(400, 300);
    const std::vector<int> filter = {3060, 1010, 1010};
    QImage img(size, QImage::Format_RGB32);
    RedrawMap(img, doc_, ctx_, {}, &filter);
    QImage ref(size, QImage::Format_RGB32);
    ref.fill(Qt::white);
    {
        QPainter p(&ref);
        for (const auto& obj : doc_.ObjList)
            for (int code : filter)
                if (code == obj->Code) DrawObject(p, *obj, 1, ctx_);
    }
    EXPECT_EQ(differing(img, ref), 0);
}

TEST(VisibilityMargin, ASymbolWhosePixelsLieFarFromItsPointIsDrawn) {
    // A symbol of one pixel 120 cells right of its anchor; its point lies
    // 100 pixels left of the picture, its pixel 20 pixels inside.
    TZnak z;
    z.Code = 555;
    z.Count = 1;
    z.Color = 0x0000FF;
    z.Col[0] = 123;
    z.Row[0] = 3;
    const auto f = std::filesystem::temp_directory_path() / ("dm_reach_" + std::to_string(::getpid()) + ".ris");
    WriteZnakFile(f, {z});
    ZnakSet symbols;
    symbols.LoadZnakIndex(f);
    std::filesystem::remove(f);
    EXPECT_EQ(symbols.maxReach(), 120);
    MapDoc doc;
    auto p = std::make_unique<TObj>();
    p->Kind = KindPoint;
    p->Code = 555;
    p->Points = {{50, -100}};  // column -100, row 50
    doc.ObjList.append(std::move(p));
    auto other = std::make_unique<TObj>();
    other->Kind = KindLine;
    other->Points = {{10, 10}, {20, 20}};
    doc.ObjList.append(std::move(other));
    RenderContext ctx;
    ctx.znaks = &symbols;
    ctx.view.ViewXMax = 100;
    ctx.view.ViewXMin = 0;
    ctx.view.ViewYMin = 0;
    ctx.view.ViewYMax = 100;
    ctx.view.Scale = 1;
    QImage img(100, 100, QImage::Format_RGB32);
    RedrawMap(img, doc, ctx);
    EXPECT_EQ(img.pixel(20, 50), qRgb(255, 0, 0));
    EXPECT_EQ(differing(img, fullListPicture(doc, ctx, img.size())), 0);
}

TEST_F(Visibility, ThePrintedPageDrawsWhatReachesTheSheetAsTheWholeList) {
    // A page of 700 x 500 showing a view of a tenth of the city's width:
    // the objects off the sheet are not drawn, the page is as drawing all.
    const OrientationRecord& o = doc_.Orientation;
    MapView& v = ctx_.view;
    v.Scale = 0.3;
    v.SymbolFactor = 1;
    v.ViewYMin = (o.YMax + o.YMin) / 2 - 260;
    v.ViewYMax = v.ViewYMin + 700 / 2.0;
    v.ViewXMax = (o.XMax + o.XMin) / 2 + 180;
    v.ViewXMin = v.ViewXMax - 500 / 2.0;
    PrintJob job;
    job.deviceWidth = 700;  // two page pixels per metre
    QImage page(700, 500, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        ASSERT_TRUE(PrintMap(p, doc_, ctx_, job));
    }
    // The reference: the header alone (an empty map), then every object
    // with the print scales.
    MapDoc empty;
    QImage ref(700, 500, QImage::Format_RGB32);
    ref.fill(Qt::white);
    {
        QPainter p(&ref);
        ASSERT_TRUE(PrintMap(p, empty, ctx_, job));
        // The map below the header (Arial bold 40 pt at 50) and a quarter of its height.
        QFont header(QStringLiteral("Arial"));
        header.setStyleHint(QFont::SansSerif);
        header.setBold(true);
        header.setPointSize(40);
        const int h = QFontMetrics(header, &ref).height();
        p.translate(0, 50 + h + h / 4);
        RenderContext pc = ctx_;
        pc.PrintScaleX = pc.PrintScaleY = 2;
        pc.view.SymbolFactor = kPrintSymbolFactor;
        for (const auto& obj : doc_.ObjList) DrawObject(p, *obj, kPrintSymbolFactor, pc);
    }
    EXPECT_EQ(differing(page, ref), 0);
    // Far fewer objects than the list can reach the sheet.
    RenderContext pc = ctx_;
    pc.PrintScaleX = pc.PrintScaleY = 2;
    pc.view.SymbolFactor = kPrintSymbolFactor;
    std::vector<TObj*> onSheet;
    VisibleObjects(doc_, pc, page.rect(), onSheet);
    EXPECT_LT(onSheet.size(), doc_.ObjList.size() / 5);
    EXPECT_GT(onSheet.size(), 50u);
}

TEST(SheetRect, APrinterSheetIncludesItsMargins) {
    // A4 at 300 dots per inch with margins of 20 mm: the painter's origin
    // is the printable corner, the paper starts 236 dots before it (20 mm
    // = 236.2 dots; the page layout keeps margins in whole points, 57 pt =
    // 237.5 dots) and measures 2480 x 3508 dots (210 x 297 mm).
    const auto f = std::filesystem::temp_directory_path() / ("dm_sheet_" + std::to_string(::getpid()) + ".pdf");
    QPdfWriter pdf(QString::fromStdString(f.string()));
    pdf.setResolution(300);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    {
        QPainter p(&pdf);
        const QRect r = SheetRect(p);
        EXPECT_NEAR(r.left(), -236, 2);
        EXPECT_NEAR(r.top(), -236, 2);
        EXPECT_NEAR(r.width(), 2480, 1);
        EXPECT_NEAR(r.height(), 3508, 1);
        // A painter moved by a transform: unknown, everything is drawn.
        p.translate(5, 0);
        EXPECT_TRUE(SheetRect(p).isEmpty());
    }
    std::filesystem::remove(f);
    QImage img(30, 20, QImage::Format_RGB32);
    QPainter p(&img);
    EXPECT_EQ(SheetRect(p), QRect(0, 0, 30, 20));
}

TEST_F(Visibility, AVeryWidePenAndAnArcsSymbolReachThePictureFromOutside) {
    // One metre per pixel; the picture shows X 1000..800, Y 0..300.
    MapDoc doc;
    MapView& v = ctx_.view;
    v.Scale = 1;
    v.SymbolFactor = 1;
    v.ViewXMax = 1000;
    v.ViewXMin = 800;
    v.ViewYMin = 0;
    v.ViewYMax = 300;
    // A line 150 pixels below the picture (row 350) with a pen 400 wide:
    // its upper half covers the rows from 150.
    auto line = std::make_unique<TObj>();
    line->Code = 2222;
    line->Kind = KindLine;
    line->PenWidth = 400;
    line->PenColor = 0x0000FF;
    line->Points = {{650, 10}, {650, 290}};
    // An arc far above the picture whose symbol (a tree) stands at its
    // fourth vertex, in the middle of the picture.
    auto arc = std::make_unique<TObj>();
    arc->Code = 2402;
    arc->Kind = KindLine;
    arc->Shape = ShapeArc;
    arc->PenColor = 0x00FF00;
    arc->Points = {{3000, 100}, {3010, 110}, {3000, 120}, {900, 150}};
    doc.ObjList.append(std::move(line));
    doc.ObjList.append(std::move(arc));
    QImage img(300, 200, QImage::Format_RGB32);
    RedrawMap(img, doc, ctx_);
    const QImage ref = fullListPicture(doc, ctx_, img.size());
    EXPECT_EQ(differing(img, ref), 0);
    EXPECT_EQ(ref.pixel(100, 170), qRgb(255, 0, 0));
    EXPECT_EQ(ref.pixel(100, 140), qRgb(255, 255, 255));
    long symbolPixels = 0;
    for (int y = 60; y < 140; ++y)
        for (int x = 110; x < 190; ++x) symbolPixels += ref.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(symbolPixels, 0);
}

TEST_F(Visibility, ObjectsWithAVertexThatIsNotANumberAreNotDrawn) {
    // Copies of objects in the view whose middle vertex is not a number or
    // infinite: the screen and the printed page are as without them.
    const OrientationRecord& o = doc_.Orientation;
    MapView& v = ctx_.view;
    v.Scale = 0.4;
    v.SymbolFactor = 1;
    v.ViewYMin = (o.YMax + o.YMin) / 2 - 500;
    v.ViewYMax = v.ViewYMin + 400 / 0.4;
    v.ViewXMax = (o.XMax + o.XMin) / 2 + 375;
    v.ViewXMin = v.ViewXMax - 300 / 0.4;
    const QSize size(400, 300);
    auto screen = [&] {
        QImage img(size, QImage::Format_RGB32);
        RedrawMap(img, doc_, ctx_);
        return img;
    };
    PrintJob job;
    job.deviceWidth = 800;
    auto printed = [&] {
        QImage page(800, 600, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter p(&page);
        EXPECT_TRUE(PrintMap(p, doc_, ctx_, job));
        return page;
    };
    const QImage before = screen(), pageBefore = printed();
    std::vector<TObj*> shown;
    VisibleObjects(doc_, ctx_, QRect(QPoint(0, 0), size), shown);
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const TXY bad[] = {{nan, nan}, {inf, 0}, {0, -inf}, {nan, 13500000}};
    int added = 0;
    for (TObj* src : shown) {
        if (src->Points.size() < 3 || added == 40) continue;
        auto copy = std::make_unique<TObj>(*src);
        copy->Points[1] = bad[added % 4];
        copy->PenColor = 0x00FF00;
        doc_.ObjList.append(std::move(copy));
        ++added;
    }
    ASSERT_EQ(added, 40);
    EXPECT_EQ(differing(screen(), before), 0);
    EXPECT_EQ(differing(printed(), pageBefore), 0);
    // Drawn one by one: nothing either.
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage white = img;
    {
        QPainter p(&img);
        for (size_t i = doc_.ObjList.size() - 40; i < doc_.ObjList.size(); ++i) {
            DrawObject(p, *doc_.ObjList[i], 1, ctx_);
            EXPECT_FALSE(MayReach(*doc_.ObjList[i], 1, ctx_, img.rect(), 0));
        }
    }
    EXPECT_EQ(differing(img, white), 0);
}

TEST(MayReachNote, AnswersAsTheObjectAndRulesOutOnlyWhatDrawsNothing) {
    // Far-reaching objects of every awkward kind (circles and arcs small
    // and huge, three vertices nearly on one line, a fourth vertex far off,
    // pens up to 200 pixels, far-off and broken coordinates) asked about
    // through a run of views: the scale kept while the view moves, then
    // changed, on the screen and on paper.  Each object keeps one note
    // throughout; the answers are MayReach's, and an object ruled out draws
    // no pixel of the picture.
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<TObj> objects;
    for (int i = 0; i < 240; ++i) {
        TObj o;
        o.Kind = KindLine;
        o.Code = 6020;
        o.PenColor = 0x204060;
        // Hollow: the painter's fill of a circle over 65,536 pixels wide is
        // no circle (it may cover the whole picture from afar).
        o.BrushStyle = 1;
        o.PenWidth = i % 6 == 0 ? 33 + int(rng() % 170) : int(rng() % 4);
        o.Shape = uint8_t(i % 6 == 0 && i % 12 ? ShapePlain : i % 2 ? ShapeArc : ShapeCircle);
        const double x = 5000 + 3000 * u(rng), y = 8000 + 3000 * u(rng);
        const double r = std::pow(10.0, 2.5 * u(rng) + 1.5);  // 0.1 m to 10 km
        const double a = std::numbers::pi * u(rng);
        for (int k = 0; k < 4; ++k) {
            const double b = a + (i % 5 == 0 ? 1e-4 * k : 1.3 * k) + 0.01 * u(rng);  // some nearly straight
            o.Points.push_back({x + r * std::cos(b), y + r * std::sin(b)});
        }
        if (i % 7 == 3) o.Points[3] = {x + 2e5 * u(rng), y + 2e5 * u(rng)};  // the arc's symbol far off
        if (i % 11 == 5) o.Points.resize(2);
        if (i % 13 == 6) o.Points[1].Y = std::nan("");
        if (i % 17 == 8) o.Points[i % 3] = {x + 4e7, y - 4e7};
        objects.push_back(o);
    }
    std::vector<ObjectIndex::FarNote> notes(objects.size());
    RenderContext ctx;
    const QRect pixels(0, 0, 160, 120);
    int ruledOut = 0, reaching = 0, drawnChecked = 0;
    for (int q = 0; q < 160; ++q) {
        if (q % 8 == 0) {
            ctx.view.Scale = std::pow(10.0, 2.5 * u(rng) - 0.5);  // 0.01 to 100 pixels a metre
            // On paper at the screen's scale now and then: only the factor
            // tells the note apart.
            const bool same = q % 16 == 8;
            ctx.PrintScaleX = ctx.view.Scale * (same ? 1 : 1 + 0.5 * std::abs(u(rng)));
            ctx.PrintScaleY = ctx.view.Scale * (same ? 1 : 1 + 0.5 * std::abs(u(rng)));
        }
        if (q % 8 == 5) ctx.PrintScaleY *= 1.7;  // the columns' scale alone, the factor kept
        const double factor = q / 2 % 3 == 0 ? 1 : q / 2 % 3 == 1 ? 2.5 : 6;
        const TObj& aim = objects[rng() % objects.size()];
        ctx.view.ViewXMax = aim.Points[0].X + 60 / ctx.view.Scale * (1 + u(rng));
        ctx.view.ViewYMin = aim.Points[0].Y - 80 / ctx.view.Scale * (1 + u(rng));
        if (q % 10 == 9) ctx.view.ViewYMin += 1e7 * u(rng);
        const double margin = q % 4 == 0 ? 0 : 40 * std::abs(u(rng));
        for (size_t i = 0; i < objects.size(); ++i) {
            const bool noted = MayReach(objects[i], factor, ctx, pixels, margin, notes[i]);
            ASSERT_EQ(noted, MayReach(objects[i], factor, ctx, pixels, margin)) << "query " << q << " object " << i;
            (noted ? reaching : ruledOut) += 1;
            if (!noted && margin == 0 && (q + i) % 5 == 0) {
                QImage img(pixels.size(), QImage::Format_RGB32);
                img.fill(Qt::white);
                QPainter p(&img);
                TObj copy = objects[i];
                DrawObject(p, copy, factor, ctx);
                p.end();
                for (int y = 0; y < img.height(); ++y)
                    for (int x = 0; x < img.width(); ++x)
                        ASSERT_EQ(img.pixel(x, y), qRgb(255, 255, 255)) << "query " << q << " object " << i;
                ++drawnChecked;
            }
        }
    }
    // Right at the edge of reaching: the view moved across the place where
    // the answer changes, a fraction of a pixel at a time.
    int edges = 0;
    for (size_t i = 0; i < objects.size(); i += 3) {
        RenderContext at;
        at.view.Scale = std::pow(10.0, 2.5 * u(rng) - 0.5);
        at.PrintScaleX = at.view.Scale * 1.25;
        at.PrintScaleY = at.view.Scale * 1.5;
        const double factor = i % 2 ? 1 : 2;
        ObjectIndex::FarNote note;
        for (int side = 0; side < 4; ++side) {
            // The view's corner placed at the object's first vertex, then
            // pushed away along one axis until nothing reaches it.
            const TXY p0 = objects[i].Points[0];
            auto place = [&](double t) {
                at.view.ViewXMax = p0.X + (side == 0 ? t : side == 1 ? -t : 0);
                at.view.ViewYMin = p0.Y + (side == 2 ? t : side == 3 ? -t : 0);
            };
            double in = 0, out = 1;
            place(out);
            while (MayReach(objects[i], factor, at, pixels, 0) && out < 1e9) {
                in = out;
                out *= 2;
                place(out);
            }
            if (out >= 1e9) continue;
            for (int k = 0; k < 60; ++k) {
                place((in + out) / 2);
                (MayReach(objects[i], factor, at, pixels, 0) ? in : out) = (in + out) / 2;
            }
            const double step = 0.03 / at.view.Scale;
            for (int k = -40; k <= 40; ++k) {
                place(in + k * step);
                ASSERT_EQ(MayReach(objects[i], factor, at, pixels, 0, note), MayReach(objects[i], factor, at, pixels, 0))
                    << "object " << i << " side " << side << " step " << k;
            }
            ++edges;
        }
    }
    EXPECT_GT(edges, 150);
    EXPECT_GT(reaching, 7000);
    EXPECT_GT(ruledOut, 24000);
    EXPECT_GT(drawnChecked, 1200);

    // The note answers for the object as it was when worked out, without
    // reading it: a circle far from the view, moved into it behind the
    // note's back, is still ruled out until the note is emptied.
    TObj c;
    c.Kind = KindLine;
    c.Shape = ShapeCircle;
    c.Points = {{90, 10}, {80, 20}, {70, 10}};  // rows 10 to 30, columns 10 to 20 at scale 1
    RenderContext at;
    at.view.Scale = 1;
    at.view.ViewXMax = 100;
    at.view.ViewYMin = 5000;
    ObjectIndex::FarNote note;
    EXPECT_FALSE(MayReach(c, 1, at, pixels, 0, note));
    for (TXY& v : c.Points) v.Y += 5000;
    EXPECT_TRUE(MayReach(c, 1, at, pixels, 0));
    EXPECT_FALSE(MayReach(c, 1, at, pixels, 0, note));
    note.filled = false;
    EXPECT_TRUE(MayReach(c, 1, at, pixels, 0, note));
}

namespace {
// The deflated streams of a PDF written by Qt: the two header bytes of
// each and its inflated content, in file order.
std::vector<std::pair<std::string, std::string>> pdfStreams(const std::filesystem::path& f) {
    std::ifstream in(f, std::ios::binary);
    const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t at = d.find("/FlateDecode"); at != std::string::npos; at = d.find("/FlateDecode", at + 1)) {
        size_t s = d.find("stream\n", at);
        if (s == std::string::npos) break;
        s += 7;
        const size_t e = d.find("endstream", s);
        std::string inflated(1 << 22, '\0');
        uLongf len = uLongf(inflated.size());
        if (uncompress(reinterpret_cast<Bytef*>(inflated.data()), &len, reinterpret_cast<const Bytef*>(d.data() + s),
                       uLong(e - s)) != Z_OK)
            continue;
        inflated.resize(len);
        out.emplace_back(d.substr(s, 2), inflated);
    }
    return out;
}
}  // namespace

TEST(FastPdfCompression, ThePrintedPageHoldsTheSameContentAtTheFastestLevel) {
    ASSERT_TRUE(FastPdfCompression::active());
    const auto dir = std::filesystem::temp_directory_path() / ("dm_fastpdf_" + std::to_string(::getpid()));
    sample::writeStartFolder(dir, {});
    MapDoc doc;
    doc.Orientation = ReadOrientation(dir / "Darvent" / "Darvent.or");
    LoadObjects(dir / "Darvent" / "Darvent.bin", doc.ObjList);
    RenderContext ctx;
    ctx.view.setExtent(doc.Orientation);
    ctx.view.FitScaleToScreen(800);
    auto print = [&](const std::filesystem::path& f, bool fast) {
        std::optional<FastPdfCompression> level;
        if (fast) level.emplace();
        QPdfWriter pdf(QString::fromStdString(f.string()));
        pdf.setResolution(300);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&pdf);
        PrintJob job;
        job.deviceWidth = pdf.width();
        PrintMap(p, doc, ctx, job);
    };
    print(dir / "fast.pdf", true);
    print(dir / "qt.pdf", false);
    const auto fast = pdfStreams(dir / "fast.pdf"), qt = pdfStreams(dir / "qt.pdf");
    ASSERT_EQ(fast.size(), qt.size());
    ASSERT_FALSE(fast.empty());
    size_t page = 0;  // the largest: the map page
    for (size_t i = 0; i < qt.size(); ++i) {
        EXPECT_EQ(fast[i].second, qt[i].second) << i;
        // zlib's header: 78 01 at the fastest level, 78 9C at the default.
        EXPECT_EQ(fast[i].first, std::string("\x78\x01", 2)) << i;
        EXPECT_EQ(qt[i].first, std::string("\x78\x9c", 2)) << i;
        if (qt[i].second.size() > qt[page].second.size()) page = i;
    }
    EXPECT_GT(qt[page].second.size(), 100000u);  // the map's objects are in it
    // Out of the scope the default level comes back.
    {
        FastPdfCompression outer;
        { FastPdfCompression inner; }
        print(dir / "nested.pdf", false);
    }
    for (const auto& s : pdfStreams(dir / "nested.pdf")) EXPECT_EQ(s.first, std::string("\x78\x01", 2));
    print(dir / "after.pdf", false);
    for (const auto& s : pdfStreams(dir / "after.pdf")) EXPECT_EQ(s.first, std::string("\x78\x9c", 2));
    std::filesystem::remove_all(dir);
}

TEST(FastPdfCompression, OnlyThisThreadsDefaultLevelIsChanged) {
    // zlib's header tells the level: 78 01 fastest, 78 9C default, 78 DA best.
    auto header = [](int level) {
        z_stream z{};
        EXPECT_EQ(deflateInit(&z, level), Z_OK);
        unsigned char in[64] = {1, 2, 3}, out[256];
        z.next_in = in;
        z.avail_in = sizeof in;
        z.next_out = out;
        z.avail_out = sizeof out;
        deflate(&z, Z_FINISH);
        deflateEnd(&z);
        return std::string(reinterpret_cast<char*>(out), 2);
    };
    const std::string fastest("\x78\x01", 2), standard("\x78\x9c", 2), best("\x78\xda", 2);
    EXPECT_EQ(header(Z_DEFAULT_COMPRESSION), standard);
    FastPdfCompression fast;
    EXPECT_EQ(header(Z_DEFAULT_COMPRESSION), fastest);
    EXPECT_EQ(header(9), best);  // a level asked for stays
    std::string other;
    std::thread([&] { other = header(Z_DEFAULT_COMPRESSION); }).join();
    EXPECT_EQ(other, standard);
}
