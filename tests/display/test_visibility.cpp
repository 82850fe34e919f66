// The redraw of what shows, and the redraw of a rectangle, against drawing
// every object of the list: the same pixels at several zooms and positions,
// with point symbols, ornaments and wide pens at the picture's edges.
#include "cli/SampleCity.h"
#include "classifier/Znak.h"
#include "display/Redraw.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

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
    int checked = 0;
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
