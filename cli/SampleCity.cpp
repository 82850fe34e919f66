#include "SampleCity.h"

#include "classifier/Znak.h"
#include "mapdata/Cp1251.h"
#include "admin/AdminLists.h"
#include "admin/Boundaries.h"
#include "admin/MapCut.h"
#include "admin/Settlements.h"
#include "mapdata/Geometry.h"
#include "mapdata/Rtf.h"

#include <cmath>
#include <numbers>

#include <unistd.h>

namespace fs = std::filesystem;

namespace dm::sample {

namespace {

constexpr int32_t rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// Pen digits: 1 solid, 2 dash, 3 dot, 4 dash-dot, 5 dash-dot-dot, 6 none.
// Brush digits: 1 solid, 2..7 hatches, 8 hollow.
const std::vector<SampleKind> kKinds = {
    {0, 0, "Геодезия...", 0, 1, 1, 8, 0},
    {1, 1, "...пункт геодезической сети", rgb(0, 0, 0), 1, 1, 8, 0},
    {12, 1, "...отметка высоты", rgb(120, 60, 0), 1, 1, 8, 0},
    {0, 0, "Здания...", 0, 1, 1, 8, 0},
    {1010, 3, "...жилые", rgb(90, 60, 30), 1, 1, 1, rgb(238, 200, 150)},
    {1020, 3, "...нежилые", rgb(80, 80, 80), 1, 1, 1, rgb(200, 200, 200)},
    {1030, 3, "...общественные", rgb(120, 40, 40), 1, 1, 1, rgb(230, 160, 150)},
    {741, 3, "...стадионы", rgb(0, 100, 0), 2, 1, 8, 0},
    {0, 0, "Дороги...", 0, 1, 1, 8, 0},
    {3050, 2, "...магистральные улицы", rgb(220, 110, 0), 6, 1, 8, 0},
    {3060, 2, "...улицы", rgb(200, 170, 90), 3, 1, 8, 0},
    {3070, 2, "...проезды", rgb(150, 150, 150), 1, 2, 8, 0},
    {930, 2, "...железные дороги", rgb(0, 0, 0), 2, 1, 8, 0},
    {1891, 2, "...направление движения", rgb(200, 0, 0), 1, 1, 8, 0},
    {901, 2, "...мосты", rgb(60, 60, 60), 2, 1, 8, 0},
    {0, 0, "Гидрография...", 0, 1, 1, 8, 0},
    {3200, 3, "...реки", rgb(40, 90, 200), 1, 1, 1, rgb(150, 200, 250)},
    {3210, 2, "...береговая линия", rgb(40, 90, 200), 1, 1, 8, 0},
    {3100, 2, "...каналы", rgb(40, 90, 200), 2, 1, 8, 0},
    {3130, 2, "...ручьи", rgb(40, 90, 200), 1, 1, 8, 0},
    {0, 0, "Рельеф...", 0, 1, 1, 8, 0},
    {2130, 2, "...горизонтали основные", rgb(160, 90, 30), 1, 1, 8, 0},
    {2131, 2, "...горизонтали утолщённые", rgb(160, 90, 30), 2, 1, 8, 0},
    {2132, 2, "...полугоризонтали", rgb(160, 90, 30), 1, 2, 8, 0},
    {2133, 2, "...вспомогательные горизонтали", rgb(160, 90, 30), 1, 3, 8, 0},
    {2134, 2, "...горизонтали-бергштрихи", rgb(160, 90, 30), 1, 1, 8, 0},
    {840, 2, "...откосы", rgb(140, 80, 20), 1, 1, 8, 0},
    {2370, 3, "...обрывы", rgb(140, 80, 20), 1, 1, 8, 0},
    {2222, 3, "...овраги", rgb(140, 80, 20), 1, 1, 8, 0},
    {0, 0, "Растительность...", 0, 1, 1, 8, 0},
    {5010, 3, "...парки и скверы", rgb(60, 140, 60), 1, 1, 1, rgb(190, 230, 170)},
    {5020, 3, "...кустарники", rgb(60, 140, 60), 1, 1, 7, rgb(80, 160, 80)},
    {1490, 2, "...границы растительности", rgb(0, 128, 0), 1, 3, 8, 0},
    {2410, 2, "...живые изгороди", rgb(0, 120, 0), 1, 1, 8, 0},
    {2560, 2, "...ряды деревьев", rgb(0, 120, 0), 1, 1, 8, 0},
    {2402, 1, "...отдельные деревья", rgb(0, 120, 0), 1, 1, 8, 0},
    {0, 0, "Инженерные сооружения...", 0, 1, 1, 8, 0},
    {780, 2, "...линии электропередачи", rgb(0, 0, 0), 1, 1, 8, 0},
    {2404, 1, "...столбы", rgb(0, 0, 0), 1, 1, 8, 0},
    {2610, 1, "...колодцы", rgb(0, 0, 200), 1, 1, 8, 0},
    {2620, 1, "...трансформаторы", rgb(0, 0, 0), 1, 1, 8, 0},
    {2670, 1, "...мачты связи", rgb(0, 0, 0), 1, 1, 8, 0},
    {2690, 1, "...фонари", rgb(0, 0, 0), 1, 1, 8, 0},
    {2701, 1, "...указатели", rgb(0, 0, 0), 1, 1, 8, 0},
    {3170, 1, "...фонтаны", rgb(0, 0, 200), 1, 1, 8, 0},
    {6010, 3, "...круглые площадки", rgb(100, 100, 100), 1, 1, 1, rgb(220, 220, 220)},
    {6020, 2, "...арки", rgb(100, 100, 100), 2, 1, 8, 0},
    {0, 0, "Ограждения...", 0, 1, 1, 8, 0},
    {4010, 2, "...заборы", rgb(80, 80, 80), 1, 1, 8, 0},
    {2300, 2, "...ограды с воротами", rgb(80, 80, 80), 1, 1, 8, 0},
};

// Deterministic generator (splitmix64); std distributions differ between
// library implementations, so the values are derived by hand.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double a, double b) { return a + (b - a) * uniform(); }
    int below(int n) { return int(next() % uint64_t(n)); }
    bool chance(double p) { return uniform() < p; }

private:
    uint64_t s_;
};

const SampleKind& kindOf(int code) {
    for (const auto& k : kKinds)
        if (k.code == code) return k;
    static const SampleKind none{-1, 0, "", 0, 1, 1, 8, 0};
    return none;
}

int penValue(int digit) { return digit >= 1 && digit <= 6 ? digit - 1 : 0; }
int brushValue(int digit) {
    static const int v[] = {0, 0, 2, 3, 4, 5, 6, 7, 1};
    return digit >= 1 && digit <= 8 ? v[digit] : 0;
}

struct Builder {
    MapDoc& doc;
    Rng rng;
    long limit;  // stop appending at this count (0 = no limit)

    bool full() const { return limit > 0 && long(doc.ObjList.size()) >= limit; }

    TObj* add(int code, std::vector<TXY> pts, std::string nameUtf8 = {}, int kind = 0) {
        if (full() || pts.empty()) return nullptr;
        const SampleKind& k = kindOf(code);
        auto o = std::make_unique<TObj>();
        o->Kind = uint8_t(kind ? kind : k.kind);
        o->Code = code;
        o->PenColor = k.penColor;
        o->PenWidth = k.penWidth;
        o->PenStyle = uint8_t(penValue(k.penDigit));
        o->BrushStyle = uint8_t(brushValue(k.brushDigit));
        o->BrushColor = k.brushColor;
        o->Points = std::move(pts);
        o->Points.shrink_to_fit();
        if (!nameUtf8.empty()) o->Name = utf8ToCp1251(nameUtf8);
        return doc.ObjList.append(std::move(o));
    }
    std::vector<TXY> rect(double x1, double y1, double x2, double y2) {
        return {{x1, y1}, {x1, y2}, {x2, y2}, {x2, y1}, {x1, y1}};
    }
};

struct Layout {
    double x0, y0;          // south-west corner of the built-up area
    double blockH, blockW;  // block size (X, Y)
    int rows, cols;         // blocks
    int riverRow;           // block row taken by the river (-1 none)
    int hillRow0, hillCol0; // first block of the hill park (3 x 3 blocks)
};

const char* kStreetNames[] = {
    "Навои", "Бобура", "Пушкина", "Гагарина", "Лермонтова", "Садовая", "Мирзо Улугбека", "Беруни",
    "Ибн Сины", "Фурката", "Мукими", "Чехова", "Шота Руставели", "Абая", "Амира Темура", "Фитрата",
};

void buildStreets(Builder& b, const Layout& L, int& nextNode) {
    // Node numbers of the grid intersections: row-major.
    auto node = [&](int r, int c) { return r * (L.cols + 1) + c; };
    nextNode = (L.rows + 1) * (L.cols + 1);
    const bool bigMap = b.limit > 50000;
    // East-west streets (constant X).
    for (int r = 0; r <= L.rows; ++r) {
        const double x = L.x0 + r * L.blockH;
        std::vector<TXY> pts;
        for (int c = 0; c <= L.cols; ++c) pts.push_back({x, L.y0 + c * L.blockW});
        const int code = (r % 4 == 0) ? 3050 : 3060;
        std::string name = bigMap ? std::string() : std::string(kStreetNames[r % 16]);
        TObj* o = b.add(code, std::move(pts), name);
        if (o) {
            o->StartNode = node(r, 0);
            o->EndNode = node(r, L.cols);
        }
    }
    // North-south streets (constant Y).
    for (int c = 0; c <= L.cols; ++c) {
        const double y = L.y0 + c * L.blockW;
        std::vector<TXY> pts;
        for (int r = 0; r <= L.rows; ++r) pts.push_back({L.x0 + r * L.blockH, y});
        const int code = (c % 5 == 0) ? 3050 : 3060;
        TObj* o = b.add(code, std::move(pts));
        if (o) {
            o->StartNode = node(0, c);
            o->EndNode = node(L.rows, c);
        }
    }
}

void buildMainRoads(Builder& b, const Layout& L, int& nextNode) {
    const double W = L.cols * L.blockW, H = L.rows * L.blockH;
    // A diagonal avenue with a gentle curve.
    {
        std::vector<TXY> pts;
        const int n = 60;
        for (int i = 0; i <= n; ++i) {
            const double t = double(i) / n;
            pts.push_back({L.x0 + H * (0.05 + 0.9 * t) + 0.06 * H * std::sin(t * 2 * std::numbers::pi),
                           L.y0 + W * (0.05 + 0.9 * t)});
        }
        TObj* o = b.add(3050, pts);
        if (o) {
            o->StartNode = nextNode++;
            o->EndNode = nextNode++;
        }
        // A row of trees beside it.
        for (auto& p : pts) p.Y += 25;
        b.add(2560, pts);
    }
    // A ring road arc around the centre.
    {
        std::vector<TXY> pts;
        const double cx = L.x0 + H / 2, cy = L.y0 + W / 2, rx = 0.42 * H, ry = 0.42 * W;
        for (int i = 0; i <= 48; ++i) {
            const double a = std::numbers::pi * (0.15 + 1.2 * i / 48.0);
            pts.push_back({cx + rx * std::sin(a), cy + ry * std::cos(a)});
        }
        TObj* o = b.add(3050, pts);
        if (o) {
            o->StartNode = nextNode++;
            o->EndNode = nextNode++;
        }
    }
    // Railway along the southern edge and a power line across the city.
    {
        std::vector<TXY> rail;
        for (int c = 0; c <= L.cols * 2; ++c)
            rail.push_back({L.x0 - 60 + 15 * std::sin(c * 0.7), L.y0 + c * L.blockW / 2});
        b.add(930, rail);
        std::vector<TXY> power;
        for (int i = 0; i <= 12; ++i)
            power.push_back({L.x0 + H * (0.9 - 0.8 * i / 12.0), L.y0 + W * (0.1 + 0.85 * i / 12.0)});
        b.add(780, power);
        for (const auto& p : power) b.add(2404, {{p.X, p.Y}});
    }
}

void buildRiver(Builder& b, const Layout& L) {
    if (L.riverRow < 0) return;
    const double xs = L.x0 + L.riverRow * L.blockH, xn = xs + L.blockH;
    const double W = L.cols * L.blockW;
    std::vector<TXY> south, north;
    const int n = L.cols * 6;
    for (int i = 0; i <= n; ++i) {
        const double y = L.y0 - 200 + (W + 400) * i / n;
        const double m = 0.25 * L.blockH * std::sin(i * 0.21);
        south.push_back({xs + 0.3 * L.blockH + m, y});
        north.push_back({xn - 0.3 * L.blockH + m + 6 * std::sin(i * 0.9), y});
    }
    std::vector<TXY> water = south;
    for (auto it = north.rbegin(); it != north.rend(); ++it) water.push_back(*it);
    water.push_back(south.front());
    b.add(3200, water, "река Дарья");
    b.add(3210, south);
    b.add(3210, north);
    // Slopes along both banks, ticks on the water side.
    std::vector<TXY> s2 = south, n2 = north;
    for (auto& p : s2) p.X -= 12;
    for (auto& p : n2) p.X += 12;
    std::reverse(n2.begin(), n2.end());
    b.add(840, s2);
    b.add(840, n2);
    // A bridge for every north-south main street.
    for (int c = 0; c <= L.cols; c += 5) {
        const double y = L.y0 + c * L.blockW;
        b.add(901, {{xs, y - 8}, {xn, y - 8}});
        b.add(901, {{xs, y + 8}, {xn, y + 8}});
    }
    // A cliff on the northern bank.
    const double cy = L.y0 + W * 0.3;
    b.add(2370, {{xn + 5, cy}, {xn + 5, cy + 120}, {xn + 45, cy + 120}, {xn + 45, cy}, {xn + 5, cy}});
}

void buildHill(Builder& b, const Layout& L) {
    const double x1 = L.x0 + L.hillRow0 * L.blockH, y1 = L.y0 + L.hillCol0 * L.blockW;
    const double x2 = x1 + 3 * L.blockH, y2 = y1 + 3 * L.blockW;
    b.add(5010, b.rect(x1 + 10, y1 + 10, x2 - 10, y2 - 10), "Парк Победы");
    const double cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
    const double rx = (x2 - x1) / 2 - 30, ry = (y2 - y1) / 2 - 30;
    for (int level = 0; level < 10; ++level) {
        const double f = 1.0 - level * 0.095;
        std::vector<TXY> ring;
        const int n = 40;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * std::numbers::pi * i / n;
            const double wob = 1 + 0.08 * std::sin(3 * a + level) + 0.05 * std::cos(5 * a);
            ring.push_back({cx + rx * f * wob * std::sin(a), cy + ry * f * wob * std::cos(a)});
        }
        ring.push_back(ring.front());
        const int code = level % 5 == 0 ? 2131 : (level % 5 == 3 ? 2132 : 2130);
        TObj* o = b.add(code, ring);
        if (o) o->Elevation = 420.0 + 2.5 * level;
    }
    // Gullies and small marks on the slope.
    b.add(2133, {{cx - rx * 0.9, cy + ry * 0.2}, {cx - rx * 0.7, cy + ry * 0.25}, {cx - rx * 0.5, cy + ry * 0.22}});
    b.add(2134, {{cx + rx * 0.4, cy - ry * 0.9}, {cx + rx * 0.45, cy - ry * 0.8}});
    b.add(2222, {{cx - rx * 0.5, cy - ry * 0.6}, {cx - rx * 0.4, cy - ry * 0.3}, {cx - rx * 0.6, cy - ry * 0.3},
                 {cx - rx * 0.5, cy - ry * 0.6}});
    TObj* top = b.add(12, {{cx, cy}}, "445.0");
    (void)top;
    b.add(1, {{cx + 20, cy + 40}});
    b.add(2670, {{cx - 30, cy - 20}});
}

void buildBlock(Builder& b, const Layout& L, int r, int c) {
    const double bx = L.x0 + r * L.blockH, by = L.y0 + c * L.blockW;
    const double inset = 14;
    const double x1 = bx + inset, y1 = by + inset, x2 = bx + L.blockH - inset, y2 = by + L.blockW - inset;
    Rng& R = b.rng;
    const double roll = R.uniform();
    if (roll < 0.10) {
        // Park with trees, a hedge and a fountain.
        b.add(5010, b.rect(x1, y1, x2, y2));
        b.add(1490, b.rect(x1 + 4, y1 + 4, x2 - 4, y2 - 4));
        b.add(2410, {{x1 + 2, y1 + 2}, {x1 + 2, y2 - 2}});
        for (int t = 0; t < 8; ++t) b.add(2402, {{R.range(x1 + 10, x2 - 10), R.range(y1 + 10, y2 - 10)}});
        if (R.chance(0.5)) b.add(3170, {{(x1 + x2) / 2, (y1 + y2) / 2}});
        return;
    }
    if (roll < 0.14) {
        // Stadium: an area with a centre cross, and a round square.
        b.add(741, {{x1 + 10, y1 + 10}, {x1 + 10, y2 - 10}, {x2 - 10, y2 - 10}, {x2 - 10, y1 + 10}, {x1 + 10, y1 + 10}});
        TObj* circ = b.add(6010, {{x1 + 25, y1 + 25}, {x1 + 45, y1 + 45}, {x1 + 25, y1 + 65}});
        if (circ) circ->Shape = ShapeCircle;
        TObj* arc = b.add(6020, {{x2 - 25, y2 - 65}, {x2 - 45, y2 - 45}, {x2 - 25, y2 - 25}, {x2 - 35, y2 - 45}});
        if (arc) arc->Shape = ShapeArc;
        return;
    }
    if (roll < 0.29) {
        // Industrial block: two large sheds and a fence with gates.
        const double ym = (y1 + y2) / 2;
        b.add(1020, b.rect(x1 + 8, y1 + 8, x2 - 8, ym - 6));
        b.add(1020, b.rect(x1 + 8, ym + 6, (x1 + x2) / 2, y2 - 8));
        b.add(4010, {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}});
        b.add(2300, {{x2 - 2, y1 + 10}, {x2 - 2, y2 - 10}});
        b.add(2620, {{(x1 + x2) / 2, y2 - 20}});
        return;
    }
    // Residential block: houses around the edges, a courtyard in the middle.
    const int nx = 2 + R.below(2), ny = 3 + R.below(3);
    const double cellH = (x2 - x1) / nx, cellW = (y2 - y1) / ny;
    for (int i = 0; i < nx; ++i) {
        for (int j = 0; j < ny; ++j) {
            const double cx1 = x1 + i * cellH + 3, cy1 = y1 + j * cellW + 3;
            const double cx2 = cx1 + cellH * R.range(0.55, 0.9), cy2 = cy1 + cellW * R.range(0.55, 0.9);
            const int code = R.chance(0.1) ? 1030 : 1010;
            if (R.chance(0.25)) {
                // L-shaped house.
                const double mx = (cx1 + cx2) / 2, my = (cy1 + cy2) / 2;
                b.add(code, {{cx1, cy1}, {cx1, cy2}, {mx, cy2}, {mx, my}, {cx2, my}, {cx2, cy1}, {cx1, cy1}});
            } else {
                b.add(code, b.rect(cx1, cy1, cx2, cy2));
            }
        }
    }
    if (R.chance(0.3)) b.add(2610, {{R.range(x1, x2), R.range(y1, y2)}});
    if (R.chance(0.2)) b.add(2690, {{x1 - 6, R.range(y1, y2)}});
    if (R.chance(0.15)) b.add(2701, {{x2 + 6, R.range(y1, y2)}});
    if (R.chance(0.2)) b.add(3070, {{x1, (y1 + y2) / 2}, {(x1 + x2) / 2, (y1 + y2) / 2}, {(x1 + x2) / 2, y2}});
    if (R.chance(0.05)) b.add(1891, {{bx, by + L.blockW * 0.3}, {bx, by + L.blockW * 0.3 + 40}});
    if (R.chance(0.05)) b.add(5020, b.rect((x1 + x2) / 2 - 15, (y1 + y2) / 2 - 15, (x1 + x2) / 2 + 15, (y1 + y2) / 2 + 15));
}

// Point symbols on the 15 x 15 grid; '#' marks a pixel, the centre cell
// (column 8, row 8) stands on the point.
struct SymbolArt {
    int code;
    int32_t color;
    const char* rows[15];
};
const SymbolArt kSymbols[] = {
    {1, rgb(0, 0, 0), {"", "", "", "       #", "      # #", "     #   #", "    #     #", "   #   #   #",
                       "  #         #", " #############", "", "", "", "", ""}},
    {12, rgb(120, 60, 0), {"", "", "", "", "", "", "      ###", "      ###", "      ###", "", "", "", "", "", ""}},
    {2402, rgb(0, 120, 0), {"", "", "     #####", "    #######", "   #########", "   #########", "   #########",
                            "    #######", "     #####", "       #", "       #", "       #", "     #####", "", ""}},
    {2404, rgb(0, 0, 0), {"", "", "", "", "", "      ###", "      ###", "      ###", "       #", "       #",
                          "       #", "", "", "", ""}},
    {2610, rgb(0, 0, 200), {"", "", "", "", "     #####", "    #     #", "    #     #", "    #  #  #", "    #     #",
                            "    #     #", "     #####", "", "", "", ""}},
    {2620, rgb(0, 0, 0), {"", "", "", "   #########", "   #       #", "   #    #  #", "   #   #   #", "   #  ###  #",
                          "   #   #   #", "   #  #    #", "   #       #", "   #########", "", "", ""}},
    {2670, rgb(0, 0, 0), {"", "  #         #", "   #       #", "    #  #  #", "     # # #", "      ###", "       #",
                          "       #", "       #", "       #", "      ###", "", "", "", ""}},
    {2690, rgb(0, 0, 0), {"", "", "", "", "      ###", "     #####", "      ###", "       #", "       #", "       #",
                          "       #", "      ###", "", "", ""}},
    {2701, rgb(0, 0, 0), {"", "", "", "   ########", "   #########", "   ########", "       #", "       #",
                          "       #", "       #", "      ###", "", "", "", ""}},
    {3170, rgb(0, 0, 200), {"", "", "", "     # # #", "    #  #  #", "       #", "      ###", "     #####",
                            "    #######", "   #########", "", "", "", "", ""}},
    {6010, rgb(80, 80, 80), {"", "", "", "", "", "", "      # #", "       #", "      # #", "", "", "", "", "", ""}},
    {6020, rgb(80, 80, 80), {"", "", "", "", "", "", "", "     #####", "", "", "", "", "", "", ""}},
};

TZnak symbolFromArt(const SymbolArt& a) {
    TZnak z;
    z.Code = a.code;
    z.Color = a.color;
    int n = 0;
    for (int c = 1; c <= 15; ++c) {
        for (int r = 1; r <= 15; ++r) {
            const std::string_view row = a.rows[r - 1];
            if (size_t(c - 1) < row.size() && row[size_t(c - 1)] == '#') {
                z.Col[size_t(n)] = c - 5;
                z.Row[size_t(n)] = r - 5;
                ++n;
            }
        }
    }
    z.Count = uint8_t(n);
    return z;
}

}  // namespace

const std::vector<SampleKind>& sampleKinds() { return kKinds; }

std::vector<std::string> semanticLines() {
    std::vector<std::string> lines;
    for (const auto& k : kKinds) {
        std::string l = utf8ToCp1251(k.name) + ";" + std::to_string(k.code) + ";" + std::to_string(k.penColor) + ";" +
                        std::to_string(k.penWidth) + ";" + std::to_string(k.penDigit) + ";" +
                        std::to_string(k.brushDigit) + ";" + std::to_string(k.brushColor) + ";";
        lines.push_back(l);
    }
    return lines;
}

std::vector<TZnak> symbols() {
    std::vector<TZnak> out;
    for (const auto& a : kSymbols) out.push_back(symbolFromArt(a));
    return out;
}

namespace {

const char* kOldStreetNames[] = {"Ленина", "Карла Маркса", "Октябрьская", "Кирова", "Советская", "Пионерская"};
const char* kAvenueNames[] = {"Юнусабадская", "Чиланзарская", "Шайхантаурская", "Мирабадская", "Бектемирская",
                              "Сергелийская", "Алмазарская", "Яккасарайская"};

NameRef label(const std::string& oldUtf8, const std::string& newUtf8, double x1, double y1, double x2, double y2,
              const char* face, bool bold, bool italic, int32_t color) {
    auto n = std::make_shared<TNaz>();
    n->OldName = utf8ToCp1251(oldUtf8);
    n->NewName = utf8ToCp1251(newUtf8);
    n->X1 = x1;
    n->Y1 = y1;
    n->X2 = x2;
    n->Y2 = y2;
    n->FontName = face;
    n->Bold = bold;
    n->Italic = italic;
    n->FontColor = color;
    n->FontSize = 8;
    return n;
}

void buildNames(MapDoc& doc, const Layout& L, std::vector<NameRef>& out) {
    const int32_t streetColor = rgb(60, 60, 60), districtColor = rgb(128, 0, 0);
    // East-west streets: the name sits just above the street, in one block.
    static const char* kTypes[] = {", улица", ", улица", ", проезд", ", улица", ", переулок", ", улица", ", тупик"};
    for (int r = 0; r <= L.rows && r < 400; ++r) {
        if (r == L.riverRow || r == L.riverRow + 1) continue;
        const double x = L.x0 + r * L.blockH;
        const int c = 1 + (r * 3) % std::max(1, L.cols - 2);
        const double y = L.y0 + c * L.blockW + 25;
        const std::string type = kTypes[r % 7];
        const std::string name = std::string(kStreetNames[r % 16]) + type;
        if (r % 3 == 0)
            out.push_back(label(std::string(kOldStreetNames[(r / 3) % 6]) + type, name, x + 24, y, x + 24,
                                y + 180, "Arial", false, true, streetColor));
        else
            out.push_back(label(name, "", x + 24, y, x + 24, y + 180, "Arial", false, true, streetColor));
    }
    // North-south streets: the name runs upward, left of the street.
    for (int c = 0; c <= L.cols && c < 400; c += 2) {
        const double y = L.y0 + c * L.blockW;
        const int r = 1 + (c * 5) % std::max(1, L.rows - 2);
        const double x = L.x0 + r * L.blockH + 20;
        out.push_back(label(std::string(kAvenueNames[(c / 2) % 8]) + ", улица", "", x, y - 26, x + 200, y - 26,
                            "Arial", false, true, streetColor));
    }
    // Districts, the river and the park.
    const double W = L.cols * L.blockW, H = L.rows * L.blockH;
    const char* districts[] = {"Центральный район", "Северный район", "Заречный район", "Южный район"};
    const double at[][2] = {{0.55, 0.45}, {0.85, 0.2}, {0.7, 0.75}, {0.2, 0.4}};
    for (int i = 0; i < 4; ++i) {
        const double x = L.x0 + H * at[i][0], y = L.y0 + W * at[i][1];
        out.push_back(label(districts[i], "", x, y, x, y + 400, "Times New Roman", true, false, districtColor));
    }
    if (L.riverRow >= 0) {
        const double x = L.x0 + (L.riverRow + 0.5) * L.blockH + 10;
        out.push_back(label("р. Дарья", "", x, L.y0 + W * 0.45, x + 4, L.y0 + W * 0.45 + 160, "Arial", false, true,
                            rgb(0, 0, 200)));
    }
    {
        const double x = L.x0 + (L.hillRow0 + 3) * L.blockH - 40, y = L.y0 + L.hillCol0 * L.blockW + 40;
        out.push_back(label("Парк Победы", "", x, y, x, y + 200, "Arial", true, false, rgb(0, 110, 0)));
    }
    // Labels bound to objects: the elevation mark by its start, the first
    // stadium by its end; the objects carry the labels' texts.
    for (const auto& o : doc.ObjList) {
        if (o->Code == 12 && !o->Points.empty()) {
            NameRef n = label(cp1251ToUtf8(o->Name.view()), "", o->Points[0].X, o->Points[0].Y, o->Points[0].X,
                              o->Points[0].Y + 60, "MS Serif", false, false, rgb(120, 60, 0));
            n->Anchor = 1;
            n->BoundObject = o->Number;
            out.push_back(n);
            break;
        }
    }
    for (const auto& o : doc.ObjList) {
        if (o->Code == 741 && o->Kind == KindArea && !o->Points.empty()) {
            const TXY p = o->Points[0];
            NameRef n = label("Стадион", "Стадион «Спорт»", p.X, p.Y - 140, p.X, p.Y, "Arial", true, false, rgb(0, 90, 0));
            n->Anchor = 3;
            n->BoundObject = o->Number;
            o->Name = n->NewName;
            out.push_back(n);
            break;
        }
    }
}

// The street register: every street of the grid with its axis, its old
// name and, for about a third, a new one, the name's baseline along the
// street and a few houses with floors and notes.
void buildStreetRegister(const Layout& L, std::vector<StreetRef>& out) {
    static const char* kTypes[] = {", улица", ", улица", ", проезд", ", улица", ", переулок", ", улица", ", тупик"};
    static const char* kNumbers[] = {"1", "3", "5а", "12а", "14", "7б", "22", "9/1", "16", "31"};
    static const char* kNotes[] = {"", "магазин «Дустлик»", "аптека", "", "поликлиника №3", "школа №110",
                                   "чайхана", "", "почтовое отделение", "детский сад «Ёлочка»"};
    auto street = [&](const std::string& oldUtf8, const std::string& newUtf8, double x1, double y1, double x2,
                      double y2, std::vector<TXY> axis) {
        auto s = std::make_shared<Trues>();
        s->StreetNo = int32_t(out.size());
        s->OldName = utf8ToCp1251(oldUtf8);
        s->NewName = utf8ToCp1251(newUtf8);
        s->X1 = x1;
        s->Y1 = y1;
        s->X2 = x2;
        s->Y2 = y2;
        s->Axis = std::move(axis);
        out.push_back(s);
        return s;
    };
    auto houses = [&](Trues& s, int seed, double x, double y0, double dy, bool alongY) {
        const int n = 2 + seed % 3;
        for (int i = 0; i < n; ++i) {
            TDom h;
            h.setNomer(utf8ToCp1251(kNumbers[(seed + i * 3) % 10]));
            const double along = y0 + (i + 0.5) * dy;
            h.X = alongY ? x : along;
            h.Y = alongY ? along : x;
            h.Etage = uint8_t(1 + (seed * 7 + i * 5) % 16);
            h.DopInf = utf8ToCp1251(kNotes[(seed + i) % 10]);
            s.Houses.push_back(h);
        }
    };
    // East-west streets (constant X); the names as the labels have them.
    for (int r = 0; r <= L.rows; ++r) {
        const double x = L.x0 + r * L.blockH;
        const int c = 1 + (r * 3) % std::max(1, L.cols - 2);
        const double y = L.y0 + c * L.blockW + 25;
        const std::string type = kTypes[r % 7];
        const std::string name = std::string(kStreetNames[r % 16]) + type;
        std::vector<TXY> axis;
        for (int k = 0; k <= L.cols; ++k) axis.push_back({x, L.y0 + k * L.blockW});
        auto s = r % 3 == 0
                     ? street(std::string(kOldStreetNames[(r / 3) % 6]) + type, name, x + 24, y, x + 24, y + 180,
                              std::move(axis))
                     : street(name, "", x + 24, y, x + 24, y + 180, std::move(axis));
        houses(*s, r, x + 12, L.y0 + c * L.blockW, L.blockW, true);
    }
    // North-south streets (constant Y): the name runs upward, left of it.
    for (int c = 0; c <= L.cols; ++c) {
        const double y = L.y0 + c * L.blockW;
        const int r = 1 + (c * 5) % std::max(1, L.rows - 2);
        const double x = L.x0 + r * L.blockH + 20;
        const std::string avenue = std::string(kAvenueNames[(c / 2) % 8]) + ", улица";
        std::vector<TXY> axis;
        for (int k = 0; k <= L.rows; ++k) axis.push_back({L.x0 + k * L.blockH, y});
        auto s = c % 3 == 1 ? street(std::string(kOldStreetNames[(c / 3) % 6]) + ", проспект", avenue, x, y - 26,
                                     x + 200, y - 26, std::move(axis))
                            : street(avenue, "", x, y - 26, x + 200, y - 26, std::move(axis));
        houses(*s, c + 5, y - 12, L.x0 + r * L.blockH, L.blockH, false);
    }
}

}  // namespace

namespace {

// The street grid as a directed network: every intersection a node (node
// numbers as the streets' node numbers), links along the streets; every
// third east-west street runs east only, every fourth north-south street
// north only; across the river only at the bridges; main streets 60 km/h,
// the others 40.
void buildNetwork(const Layout& L, long wanted, RoadNetwork& net) {
    int rows = L.rows + 1, cols = L.cols + 1;
    if (wanted > 0) {
        // About `wanted` nodes, as square a grid as the blocks allow.
        rows = int(std::max(2.0, std::floor(std::sqrt(double(wanted)))));
        cols = int(std::max<long>(1, (wanted + rows - 1) / rows));
    } else if (rows * cols > 32768) {
        rows = std::min(rows, 128);
        cols = std::min(cols, 32768 / rows);
    }
    net.RoadNodes.assign(size_t(rows) * size_t(cols), TRoadNode{});
    auto id = [cols](int r, int c) { return r * cols + c; };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            TRoadNode& n = net.RoadNodes[size_t(id(r, c))];
            n.Id = id(r, c);
            n.X = L.x0 + r * L.blockH;
            n.Y = L.y0 + c * L.blockW;
        }
    auto link = [&](int r, int c, int r2, int c2, double speed) {
        if (r2 < 0 || c2 < 0 || r2 >= rows || c2 >= cols) return;
        TRoadNode& n = net.RoadNodes[size_t(id(r, c))];
        for (int k = 0; k < kLinkSlots; ++k)
            if (n.Link[size_t(k)] == -1) {
                n.Link[size_t(k)] = id(r2, c2);
                n.Speed[size_t(k)] = speed;
                return;
            }
    };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double ew = r % 4 == 0 ? 60 : 40, ns = c % 5 == 0 ? 60 : 40;
            const bool eastOnly = r % 3 == 1, northOnly = c % 4 == 3;
            link(r, c, r, c + 1, ew);
            if (!eastOnly) link(r, c, r, c - 1, ew);
            const bool bridge = c % 5 == 0;
            const bool crossesNorth = L.riverRow >= 0 && r == L.riverRow;
            const bool crossesSouth = L.riverRow >= 0 && r == L.riverRow + 1;
            if (!crossesNorth || bridge) link(r, c, r + 1, c, ns);
            if (!northOnly && (!crossesSouth || bridge)) link(r, c, r - 1, c, ns);
        }
}

}  // namespace

// Stops on the east-west streets of the central part, every fourth
// crossing, 15 m north of the street; metro stations at five crossings;
// each stop's nearest station by straight distance.
void buildTransport(const Layout& L, Extras& out) {
    static const char* kMetro[] = {"Навои", "Дустлик", "Бодомзор", "Минор", "Чорсу"};
    const int rows = std::min(L.rows, 24), cols = std::min(L.cols, 26);
    const int at[5][2] = {{rows / 4, cols / 4}, {rows / 4, 3 * cols / 4}, {rows / 2 + 1, cols / 2},
                          {3 * rows / 4, cols / 4}, {3 * rows / 4, 3 * cols / 4}};
    for (int i = 0; i < 5; ++i) {
        TMetro m;
        m.Name = utf8ToCp1251(kMetro[i]);
        m.X = L.x0 + at[i][0] * L.blockH - 30;
        m.Y = L.y0 + at[i][1] * L.blockW + 30;
        out.metro.push_back(std::move(m));
    }
    for (int r = 0; r <= rows; r += 2) {
        for (int c = 1; c < cols; c += 4) {
            auto s = std::make_shared<TOstnv>();
            s->Number = int32_t(out.stops.size());
            const std::string avenue = kAvenueNames[(c / 2) % 8];
            s->Name = utf8ToCp1251(std::string(kStreetNames[r % 16]) + " — " + avenue);
            s->X = L.x0 + r * L.blockH + 15;
            s->Y = L.y0 + c * L.blockW + 40;
            const int k = r * 7 + c;
            s->BusRoutes = std::to_string(2 + k % 60) + ", " + std::to_string(61 + (k * 13) % 90);
            if (r % 6 == 0) s->TramRoutes = std::to_string(1 + k % 12);
            if (c % 8 == 1) s->TrolleybusRoutes = std::to_string(3 + k % 20) + ", " + std::to_string(24 + k % 9);
            double best = -1;
            for (const TMetro& m : out.metro) {
                const double d = std::hypot(m.X - s->X, m.Y - s->Y);
                if (best < 0 || d < best) {
                    best = d;
                    s->NearestMetro = m.Name;
                }
            }
            out.stops.push_back(std::move(s));
        }
    }
}

// One area of each figure in the blocks north of the river, built as the
// form builds them from three clicks at 2 m a pixel, with a note each.
void buildUserAreas(const Layout& L, std::vector<AreaRef>& out) {
    struct AreaSample {
        uint8_t figure;
        const char* name;
        const char* lines[2];
        int32_t pen, brush;
    };
    static const AreaSample kAreaSamples[] = {
        {FigureRectangle, "Склад №1", {"Приём товара с 8 до 17.", "Въезд со стороны двора."}, rgb(0, 0, 128), rgb(255, 255, 0)},
        {FigureTriangle, "Пост ГАИ", {"Круглосуточно.", ""}, rgb(128, 0, 0), rgb(255, 128, 0)},
        {FigurePentagon, "Стройка", {"Ремонт теплотрассы", "до 1 декабря."}, rgb(0, 0, 0), rgb(192, 192, 192)},
        {FigureCircle, "Сбор", {"Место сбора бригад.", ""}, rgb(0, 128, 0), rgb(0, 255, 0)},
        {FigureSquare, "Участок №7", {"Участковый: Каримов А.", "тел. 144-25-70"}, rgb(0, 0, 255), rgb(0, 255, 255)},
    };
    const double s = 2.0;  // metres a pixel
    const int rows = std::min(L.rows, 24), cols = std::min(L.cols, 26);
    for (int i = 0; i < 5; ++i) {
        const AreaSample& sp = kAreaSamples[i];
        // The first click near the south-west corner of a block, the figure
        // standing north of it inside the block.
        const int r = std::min(rows - 1, rows / 2 + 2 + (i % 2) * 2), c = 2 + i * std::max(1, std::min(3, (cols - 4) / 5));
        const double X0 = L.x0 + r * L.blockH + 30, Y0 = L.y0 + c * L.blockW + 40;
        const std::vector<QPoint> px = BuildFigure(sp.figure, QPoint(0, 0), QPoint(40, 0), QPoint(20, -30), 40);
        auto a = std::make_shared<TRovd>();
        a->Number = int32_t(i);
        a->Name = utf8ToCp1251(sp.name);
        a->FontName = "MS Sans Serif";
        a->FontColor = rgb(0, 0, 0);
        a->FontSize = 8;
        a->Figure = sp.figure;
        a->PenColor = sp.pen;
        a->BrushColor = sp.brush;
        a->PenWidth = 2;
        for (const QPoint& q : px) a->Points.push_back({X0 - q.y() * s, Y0 + q.x() * s});
        for (const char* l : sp.lines)
            if (*l) a->Lines.push_back(utf8ToCp1251(l));
        out.push_back(std::move(a));
    }
}

// The user table: a few houses of the register with their floors.
UserTable buildUserTable(const std::vector<StreetRef>& streets) {
    UserTable t;
    t.cells = {{utf8ToCp1251("Номер")}, {utf8ToCp1251("Адрес")}, {utf8ToCp1251("Этажей")}, {utf8ToCp1251("Примечание")}};
    t.widths = {64, 220, 64, 200};
    int n = 0;
    for (const auto& s : streets) {
        for (const TDom& h : s->Houses) {
            if (n == 20) break;
            t.cells[0].push_back(std::to_string(++n));
            t.cells[1].push_back((s->NewName.empty() ? s->OldName : s->NewName) + ", " + h.Nomer());
            t.cells[2].push_back(std::to_string(h.Etage));
            t.cells[3].push_back(h.DopInf);
        }
    }
    return t;
}

void buildCity(MapDoc& doc, const Options& opt, std::vector<NameRef>* names, RoadNetwork* network,
               std::vector<StreetRef>* streets, Extras* extras) {
    doc.clearObjects();
    Layout L{};
    L.blockH = 160;
    L.blockW = 220;
    if (opt.objects > 0) {
        // About 11 objects per block on average.
        const double blocks = std::max(16.0, double(opt.objects) / 11.0);
        L.cols = std::max(4, int(std::ceil(std::sqrt(blocks * 1.3))));
        L.rows = std::max(4, int(std::ceil(blocks / L.cols)) + 2);
    } else {
        L.cols = 26;
        L.rows = 24;
    }
    L.x0 = 4570000.0;
    L.y0 = 13500000.0;
    L.riverRow = L.rows > 8 ? L.rows * 2 / 5 : -1;
    L.hillRow0 = L.rows - 4;
    L.hillCol0 = L.cols - 5;

    Builder b{doc, Rng(opt.seed), opt.objects};
    doc.ObjList.reserve(size_t(opt.objects > 0 ? opt.objects : 8000));
    int nextNode = 0;
    buildRiver(b, L);
    buildStreets(b, L, nextNode);
    buildHill(b, L);
    // The blocks leave room for the main roads, which are drawn over them.
    const long reserve = opt.objects > 1000 ? 200 : 0;
    b.limit = opt.objects > 0 ? opt.objects - reserve : 0;
    for (int r = 0; r < L.rows && !b.full(); ++r) {
        for (int c = 0; c < L.cols && !b.full(); ++c) {
            if (r == L.riverRow) continue;
            if (r >= L.hillRow0 && r < L.hillRow0 + 3 && c >= L.hillCol0 && c < L.hillCol0 + 3) continue;
            buildBlock(b, L, r, c);
        }
    }
    b.limit = opt.objects;
    buildMainRoads(b, L, nextNode);
    // A large map is filled up to the requested count with more houses
    // in the outskirts, south of the railway.
    for (int extra = 0; opt.objects > 0 && !b.full(); ++extra) {
        const int r = -2 - extra / L.cols, c = extra % L.cols;
        buildBlock(b, L, r, c);
    }

    OrientationRecord& o = doc.Orientation;
    const double margin = 300;
    double xmin = L.x0 - margin, xmax = L.x0 + L.rows * L.blockH + margin;
    for (const auto& obj : doc.ObjList)
        for (const auto& p : obj->Points) xmin = std::min(xmin, p.X - margin);
    o.XMax = xmax;
    o.XMin = xmin;
    o.YMin = L.y0 - margin;
    o.YMax = L.y0 + L.cols * L.blockW + margin;
    o.AxialMeridian = 69.0 * std::numbers::pi / 180.0;
    o.CoordKind = 1;
    o.NextNode = nextNode;
    doc.MapModified = false;
    doc.OrientationModified = false;
    if (names) buildNames(doc, L, *names);
    if (network) buildNetwork(L, opt.networkNodes, *network);
    if (streets) buildStreetRegister(L, *streets);
    if (extras) {
        buildTransport(L, *extras);
        buildUserAreas(L, extras->areas);
        std::vector<StreetRef> register_;
        if (!streets) buildStreetRegister(L, register_);
        extras->table = buildUserTable(streets ? *streets : register_);
    }
}

// ---- regions and districts ------------------------------------------------------

struct SampleDistrict {
    const char* name;  // UTF-8
    const char* stem;
    int32_t color;
    uint8_t brush;
    std::vector<TXY> outline;  // closed
};

// Five districts tiling the city's extent: two rows split by a line with a
// step in the middle (so the middle northern district is concave), three
// districts in the north and two in the south.
std::vector<SampleDistrict> sampleDistricts(const OrientationRecord& o) {
    const double H = o.XMax - o.XMin, W = o.YMax - o.YMin;
    const double xm1 = o.XMin + 0.45 * H, xm2 = o.XMin + 0.55 * H;
    const double y1 = o.YMin + W / 3, ym = o.YMin + W / 2, y2 = o.YMin + 2 * W / 3;
    auto closed = [](std::vector<TXY> v) {
        v.push_back(v.front());
        return v;
    };
    return {
        {"Северо-Западный", "sevzap", rgb(200, 60, 60), 4,
         closed({{xm1, o.YMin}, {o.XMax, o.YMin}, {o.XMax, y1}, {xm1, y1}})},
        {"Центральный", "centr", rgb(40, 140, 40), 6,
         closed({{xm1, y1}, {o.XMax, y1}, {o.XMax, y2}, {xm2, y2}, {xm2, ym}, {xm1, ym}})},
        {"Северо-Восточный", "sevvost", rgb(40, 60, 200), 5,
         closed({{xm2, y2}, {o.XMax, y2}, {o.XMax, o.YMax}, {xm2, o.YMax}})},
        {"Юго-Западный", "yugzap", rgb(170, 120, 0), 2,
         closed({{o.XMin, o.YMin}, {xm1, o.YMin}, {xm1, ym}, {o.XMin, ym}})},
        {"Юго-Восточный", "yugvost", rgb(150, 40, 150), 7,
         closed({{o.XMin, ym}, {xm2, ym}, {xm2, o.YMax}, {o.XMin, o.YMax}})},
    };
}

std::unique_ptr<TObj> boundaryObject(const SampleDistrict& d, int number, int penWidth) {
    auto b = std::make_unique<TObj>();
    b->Number = number;
    b->StartNode = -1;
    b->EndNode = -1;
    b->Kind = KindArea;
    b->Code = 0;
    b->Name = utf8ToCp1251(d.name);
    b->PenColor = 0;
    b->PenWidth = penWidth;
    b->BrushColor = d.color;
    b->BrushStyle = d.brush;
    b->ExtraInt = -1;
    b->Points = d.outline;
    return b;
}

std::vector<std::unique_ptr<TNasPunkt>> sampleSettlements(const SampleDistrict& d, int count) {
    std::vector<std::unique_ptr<TNasPunkt>> out;
    double cx = 0, cy = 0;
    for (size_t i = 0; i + 1 < d.outline.size(); ++i) {
        cx += d.outline[i].X;
        cy += d.outline[i].Y;
    }
    cx /= double(d.outline.size() - 1);
    cy /= double(d.outline.size() - 1);
    static const char* const kNames[] = {"Янгиобод", "Богишамол", "Кукча", "Олмазор"};
    for (int k = 0; k < count; ++k) {
        auto s = std::make_unique<TNasPunkt>();
        s->Text1 = utf8ToCp1251(kNames[k % 4]);
        s->Text2 = utf8ToCp1251(std::string("махалля ") + kNames[k % 4]);
        s->Text3 = utf8ToCp1251(d.name);
        s->Text4 = utf8ToCp1251("г.Дарвент");
        for (size_t i = 0; i < s->Bytes9.size(); ++i) s->Bytes9[i] = uint8_t(k * 16 + int(i));
        s->Text5 = std::to_string(100 + k);
        s->Count4 = 1200 + 350 * k;
        s->setText6(utf8ToCp1251("кишлак"));
        const double x = cx + 120.0 * k, y = cy - 90.0 * k;
        s->Points = {{x, y}, {x + 60, y}, {x + 60, y + 80}, {x, y + 80}, {x, y}};
        out.push_back(std::move(s));
    }
    return out;
}

// Writes into `stage` the region list, the district list, every district's
// boundaries (".grn", ".gtm"), "frontier.tum", the district maps cut from
// the city as "Создать карту" does, and the settlement files of two
// districts; `files` receives the paths written (relative to `stage`).
void writeDistricts(const fs::path& stage, const MapDoc& doc, const std::vector<NameRef>& names,
                    std::vector<fs::path>& files, const std::function<void(const std::string&)>& tell) {
    const std::vector<SampleDistrict> districts = sampleDistricts(doc.Orientation);
    WritePlainList(stage / "Viloyats.txt", {{utf8ToCp1251("г.Дарвент"), "Darvent"},
                                             {utf8ToCp1251("Ферганский"), "fergaobl"}});
    files.push_back("Viloyats.txt");
    std::vector<ListEntry> ray;
    for (const SampleDistrict& d : districts) ray.push_back({utf8ToCp1251(d.name), d.stem});
    WritePlainList(stage / "Darvent" / "Darvent.ray", ray);
    files.push_back("Darvent/Darvent.ray");

    MapView view;
    view.setExtent(doc.Orientation);
    view.FitScaleToScreen(kSampleScreenWidth);
    view.Scale *= kOpenZoom;
    TObjList frontier;
    for (size_t i = 0; i < districts.size(); ++i) {
        const SampleDistrict& d = districts[i];
        const std::string stem = d.stem;
        TObjList grn, gtm;
        grn.appendAsIs(boundaryObject(d, 0, 0));
        gtm.appendAsIs(boundaryObject(d, 0, 0));
        RewriteBoundaryFile(stage / "Darvent" / (stem + ".grn"), grn);
        RewriteBoundaryFile(stage / "Darvent" / (stem + ".gtm"), gtm);
        files.push_back("Darvent/" + stem + ".grn");
        files.push_back("Darvent/" + stem + ".gtm");
        frontier.appendAsIs(boundaryObject(d, 0, 2));

        tell("вырезается карта тумана " + std::string(d.name));
        TObjList copy;
        copy.reserve(doc.ObjList.size());
        for (const auto& o : doc.ObjList) copy.appendAsIs(std::make_unique<TObj>(*o));
        DistrictCut cut = CutRegionToBoundary(copy, *gtm[0], view, names);
        SaveCutMapFiles(stage / "Darvent" / (stem + ".bin"), cut.objects, doc.Orientation, cut.labels);
        for (const char* ext : {".bin", ".or", ".nam"})
            if (fs::exists(stage / "Darvent" / (stem + ext))) files.push_back("Darvent/" + stem + ext);
        if (i < 2) {
            fs::create_directories(stage / "Darvent" / stem);
            BinWriter w;
            for (const auto& s : sampleSettlements(d, 3 + int(i))) EncodeSettlement(w, *s);
            writeFileAtomically(stage / "Darvent" / stem / (stem + ".nsp"), w.data());
            files.push_back("Darvent/" + stem + "/" + stem + ".nsp");
        }
    }
    WriteBoundaries(stage / "Darvent" / "frontier.tum", frontier);
    files.push_back("Darvent/frontier.tum");
}

uint64_t MemoryForObjects(long n) {
    // About 190 bytes an object in the file image, 330 in memory, and the
    // fixed part of the city (labels, network, classifier).
    return uint64_t(std::max(0L, n)) * 520 + (64u << 20);
}

void writeStartFolder(const fs::path& dir, const Options& opt) {
    auto tell = [&](const std::string& s) {
        if (opt.progress) opt.progress(s);
    };
    MapDoc doc;
    std::vector<NameRef> names;
    RoadNetwork network;
    std::vector<StreetRef> streets;
    Extras extras;
    tell("строится город");
    buildCity(doc, opt, &names, &network, &streets, &extras);

    // The folders that do not exist yet are made now and removed again if
    // writing fails, so that a failed run leaves nothing behind.  Every file
    // is written into a staging folder first and moved into place only when
    // all are complete: a failure leaves all the old files or none.
    const fs::path city = dir / "Darvent";
    std::error_code ec;
    fs::path made;
    if (!fs::exists(dir, ec)) made = dir;
    else if (!fs::exists(city, ec)) made = city;
    fs::create_directories(city, ec);
    if (ec) {
        if (!made.empty()) fs::remove_all(made, ec);
        throw FileError("Не удалось создать папку " + pathText(city) + ": " + ReasonText(ec));
    }
    const fs::path stage = dir / (".sample-city-" + std::to_string(::getpid()));
    std::vector<fs::path> files = {"Darvent/Darvent.or", "Darvent/Darvent.bin", "Darvent/Darvent.nam",
                                         "Darvent/darvent.rue", "sem100n.smn", "sem100n.ris", "njoints.uzl",
                                         "Darvent/ostanov.dat", "Darvent/metro.dat", "Darvent/places.dat",
                                         "Darvent/table.txt"};
    try {
        fs::remove_all(stage, ec);
        fs::create_directories(stage / "Darvent");
        WriteOrientation(stage / files[0], doc.Orientation);
        tell("записываются объекты (" + std::to_string(doc.ObjList.size()) + ")");
        SaveObjects(stage / files[1], doc.ObjList, [&](int percent) {
            if (percent > 0 && percent <= 100) tell("записано " + std::to_string(percent) + " %");
        });
        tell("записываются названия, классификатор и дорожная сеть");
        SaveNames(stage / files[2], names);
        SaveStreets(stage / files[3], streets);
        WriteListFile(stage / files[4], semanticLines());
        WriteZnakFile(stage / files[5], symbols());
        SaveRoadNetwork(stage / files[6], network);
        SaveStops(stage / files[7], extras.stops);
        SaveMetro(stage / files[8], extras.metro);
        SaveUserAreas(stage / files[9], extras.areas);
        SaveUserTable(stage / files[10], extras.table);
        writeDistricts(stage, doc, names, files, tell);
        for (const fs::path& f : files) {
            fs::create_directories((dir / f).parent_path(), ec);
            fs::rename(stage / f, dir / f, ec);
            if (ec) throw FileError("Не удалось заменить файл " + pathText(dir / f) + ": " + ReasonText(ec));
        }
    } catch (...) {
        fs::remove_all(stage, ec);
        if (!made.empty()) fs::remove_all(made, ec);
        throw;
    }
    fs::remove_all(stage, ec);
}

}  // namespace dm::sample
