#include "../common/CommandOutput.h"
#include "RunTool.h"
#include "cli/SampleCity.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"
#include "mapdata/MapDoc.h"
#include "routing/RoadNetwork.h"
#include "streets/Streets.h"
#include "display/Layers.h"
#include "mapdata/Rtf.h"

#include <QImage>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {
fs::path tempDir(const std::string& name) {
    fs::path d = fs::temp_directory_path() / ("dm_cli_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
void writeText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
}  // namespace

// Two one-way roads at city-scale coordinates, 1 km/h: nodes 0-1-2 east
// along the northing 4571000 from the easting 13500000 by 100 m, and nodes
// 3-4-5 north along the easting 13500500 from the northing 4571000.
static RoadNetwork twoOneWayRoads() {
    RoadNetwork net;
    auto node = [&](double x, double y, int to) {
        TRoadNode n;
        n.Id = int32_t(net.RoadNodes.size());
        n.X = x;
        n.Y = y;
        if (to >= 0) {
            n.Link[0] = to;
            n.Speed[0] = 1;
        }
        net.RoadNodes.push_back(n);
    };
    node(4571000, 13500000, 1);
    node(4571000, 13500100, 2);
    node(4571000, 13500200, -1);
    node(4571000, 13500500, 4);
    node(4571100, 13500500, 5);
    node(4571200, 13500500, -1);
    return net;
}

TEST(Dmap, HelpListsTheCommands) {
    std::string out, err;
    ASSERT_EQ(runDmap("--help", out, err), 0);
    for (const char* c : {"info", "convert", "coord", "sample-city"}) EXPECT_NE(out.find(c), std::string::npos) << c;
    EXPECT_EQ(out.rfind("использование: dmap <команда> [аргументы]\n\nкоманды:\n", 0), 0u) << out;
    EXPECT_EQ(runDmap("", out, err), 2);
    // An unknown command: one line and the hint; an unknown option named.
    EXPECT_EQ(runDmap("frobnicate", out, err), 2);
    EXPECT_EQ(err, "dmap: неизвестная команда frobnicate; список команд: dmap -h\n");
    EXPECT_EQ(runDmap("info --full x.or", out, err), 2);
    EXPECT_EQ(err.substr(0, err.find('\n')), "dmap: info: неизвестный параметр --full");
}

TEST(Dmap, InfoPrintsTheSummary) {
    const fs::path d = tempDir("info");
    fs::create_directories(d / "m");
    MapDoc doc;
    doc.Orientation = {4574000.5, 4569000.25, 13506000.125, 13499000.0, 1.2042771838760873, 1, {0, 0, 0}, 679};
    auto add = [&](uint8_t kind, int n) {
        auto o = std::make_unique<TObj>();
        o->Kind = kind;
        for (int i = 0; i < n; ++i) o->Points.push_back({double(i), 0});
        doc.ObjList.append(std::move(o));
    };
    add(1, 1);
    add(2, 3);
    add(2, 2);
    add(3, 5);
    WriteOrientation(d / "m" / "Map.or", doc.Orientation);
    SaveObjects(d / "m" / "Map.bin", doc.ObjList);
    const std::string expected =
        "extent: 4574000.500 4569000.250 13506000.125 13499000.000\n"
        "coord-kind: 1\n"
        "axial-meridian: 1.204277184\n"
        "next-node: 679\n"
        "objects: 4\n"
        "vertices: 11\n"
        "kinds: points=1 lines=2 areas=1\n";
    std::string out, err;
    EXPECT_EQ(runDmap((d / "m" / "Map.bin").string(), out, err), 2);  // no such command
    ASSERT_EQ(runDmap("info " + (d / "m" / "Map.bin").string(), out, err), 0) << err;
    EXPECT_EQ(out, expected);
    ASSERT_EQ(runDmap("info " + (d / "m" / "map.OR").string(), out, err), 0) << err;  // found by case
    EXPECT_EQ(out, expected);
    // Errors: a missing map exits 1 with a message on stderr; bad arguments exit 2.
    EXPECT_EQ(runDmap("info " + (d / "none.or").string(), out, err), 1);
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(runDmap("info", out, err), 2);
    fs::remove_all(d);
}

TEST(Dmap, ConvertReproducesTheSampleCityByteForByte) {
    const fs::path d = tempDir("convert");
    sample::writeStartFolder(d, {});
    std::string out, err;
    const fs::path in = d / "Darvent" / "Darvent.bin", outPath = d / "copy.bin";
    ASSERT_EQ(runDmap("convert " + in.string() + " " + outPath.string(), out, err), 0) << err;
    EXPECT_EQ(readWholeFile(in), readWholeFile(outPath));
    // A damaged input: exit 1 naming the file and the offset.
    auto bytes = readWholeFile(in);
    bytes.resize(bytes.size() - 3);
    writeFileAtomically(d / "cut.bin", bytes);
    EXPECT_EQ(runDmap("convert " + (d / "cut.bin").string() + " " + (d / "x.bin").string(), out, err), 1);
    EXPECT_NE(err.find("cut.bin"), std::string::npos) << err;
    EXPECT_NE(err.find("смещение"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d / "x.bin"));
    fs::remove_all(d);
}

TEST(Dmap, CoordConvertsDegrees) {
    std::string out, err;
    ASSERT_EQ(runDmap("coord 0 1 0", out, err), 0) << err;
    EXPECT_EQ(out, "x=0.0000 y=111327.0660\n");
    ASSERT_EQ(runDmap("coord 41.3 69 69", out, err), 0) << err;
    EXPECT_EQ(out.substr(0, 2), "x=");
    EXPECT_NE(out.find(" y=0.0000\n"), std::string::npos) << out;
    EXPECT_EQ(runDmap("coord 41.3 x 69", out, err), 2);
    EXPECT_EQ(runDmap("coord 41.3 69", out, err), 2);
}

TEST(Dmap, SampleCityArguments) {
    const fs::path d = tempDir("args");
    std::string out, err;
    EXPECT_EQ(runDmap("sample-city", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects -4", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --bogus", out, err), 2);
    ASSERT_EQ(runDmap("sample-city " + d.string() + " --objects 1234 --seed 7", out, err), 0) << err;
    ASSERT_EQ(runDmap("info " + (d / "Darvent" / "Darvent.or").string(), out, err), 0) << err;
    EXPECT_NE(out.find("objects: 1234\n"), std::string::npos) << out;
    fs::remove_all(d);
}

TEST(Dmap, SampleCityWithANetworkOfAGivenSize) {
    const fs::path d = tempDir("netsize");
    std::string out, err;
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --network-nodes", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --network-nodes 1", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --network-nodes 4000001", out, err), 2);
    EXPECT_FALSE(fs::exists(d / "njoints.uzl"));
    // About 1000 nodes: 31 rows (the whole root) of 33 columns.
    ASSERT_EQ(runDmap("sample-city " + d.string() + " --objects 500 --network-nodes 1000", out, err), 0) << err;
    const RoadNetwork net = LoadRoadNetwork(d / "njoints.uzl");
    ASSERT_EQ(net.size(), 1023u);
    const TRoadNode &n0 = net.RoadNodes[0], &n1 = net.RoadNodes[1], &n33 = net.RoadNodes[33];
    EXPECT_EQ(n1.X, n0.X);
    EXPECT_GT(n1.Y, n0.Y);
    EXPECT_GT(n33.X, n0.X);
    EXPECT_EQ(n33.Y, n0.Y);
    // The first row's corner: east along a main street, north along a main
    // street; nothing else.
    EXPECT_EQ(n0.Link[0], 1);
    EXPECT_EQ(n0.Speed[0], 60);
    EXPECT_EQ(n0.Link[1], 33);
    EXPECT_EQ(n0.Speed[1], 60);
    EXPECT_EQ(n0.Link[2], -1);
    // Row 1 runs east only, at 40 km/h.
    const TRoadNode& n34 = net.RoadNodes[34];
    EXPECT_EQ(n34.Link[0], 35);
    EXPECT_EQ(n34.Speed[0], 40);
    for (int32_t l : n34.Link) EXPECT_NE(l, 33);
    // Every link goes to a grid neighbour; the far corner is reached.
    for (const TRoadNode& n : net.RoadNodes)
        for (int k = 0; k < kLinkSlots && n.Link[size_t(k)] != -1; ++k) {
            const int o = n.Link[size_t(k)];
            const int dr = std::abs(o / 33 - n.Id / 33), dc = std::abs(o % 33 - n.Id % 33);
            EXPECT_EQ(dr + dc, 1) << n.Id << " -> " << o;
        }
    std::vector<int> path;
    EXPECT_GT(SearchRoute(net, 0, 1022, path), 0);
    EXPECT_EQ(path.front(), 0);
    EXPECT_EQ(path.back(), 1022);
    fs::remove_all(d);
}

TEST(Dmap, RenderWritesAFastPngOrTheSmallestAndTellsTheTimes) {
    const fs::path d = tempDir("renderpng");
    sample::writeStartFolder(d, {});
    std::string out, err;
    const std::string map = (d / "Darvent" / "Darvent.or").string();
    ASSERT_EQ(runDmap("render " + map + " -o " + (d / "fast.png").string() + " --screen-width 900 --timing", out,
                      err),
              0)
        << err;
    EXPECT_NE(err.find("load "), std::string::npos) << err;
    EXPECT_NE(err.find(", draw "), std::string::npos) << err;
    EXPECT_NE(err.find(", encode "), std::string::npos) << err;
    ASSERT_EQ(runDmap("render " + map + " -o " + (d / "small.png").string() + " --screen-width 900 --smallest", out,
                      err),
              0)
        << err;
    const QImage fast((d / "fast.png").c_str()), small((d / "small.png").c_str());
    ASSERT_FALSE(fast.isNull());
    EXPECT_EQ(fast.convertToFormat(QImage::Format_RGB32), small.convertToFormat(QImage::Format_RGB32));
    EXPECT_LT(fs::file_size(d / "small.png"), fs::file_size(d / "fast.png"));
    // The fast file filters every row "Up": the IHDR says truecolour 8-bit.
    const auto bytes = readWholeFile(d / "fast.png");
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], 2);
    // A format Qt cannot write: refused before anything is written.
    EXPECT_EQ(runDmap("render " + map + " -o " + (d / "x.xyz").string(), out, err), 2);
    EXPECT_NE(err.find("xyz"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d / "x.xyz"));
    // Another format through Qt's writer.
    ASSERT_EQ(runDmap("render " + map + " -o " + (d / "c.bmp").string() + " --screen-width 300", out, err), 0) << err;
    EXPECT_FALSE(QImage((d / "c.bmp").c_str()).isNull());
    fs::remove_all(d);
}

TEST(Dmap, RenderDrawsTheSampleCity) {
    const fs::path d = tempDir("render");
    sample::writeStartFolder(d, {});
    std::string out, err;
    const std::string map = (d / "Darvent" / "Darvent.or").string();
    ASSERT_EQ(runDmap("render " + map + " -o " + (d / "city.png").string() + " --screen-width 800", out, err), 0)
        << err;
    QImage img((d / "city.png").c_str());
    ASSERT_FALSE(img.isNull());
    // The picture is the view extent at 800 / width x 1.447.
    const OrientationRecord o = ReadOrientation(d / "Darvent" / "Darvent.or");
    const double scale = 800.0 / (o.YMax - o.YMin) * 1.447;
    EXPECT_EQ(img.width(), rnd((o.YMax - o.YMin) * scale));
    EXPECT_EQ(img.height(), rnd((o.XMax - o.XMin) * scale));
    // Buildings are filled with their colour, somewhere.
    int building = 0, white = 0;
    for (int y = 0; y < img.height(); y += 3)
        for (int x = 0; x < img.width(); x += 3) {
            building += img.pixel(x, y) == qRgb(238, 200, 150);
            white += img.pixel(x, y) == qRgb(255, 255, 255);
        }
    EXPECT_GT(building, 1000);
    EXPECT_GT(white, 1000);
    // The print path at factor 2 makes a picture twice the size.
    ASSERT_EQ(runDmap("render " + map + " -o " + (d / "print.png").string() + " --screen-width 800 --print-factor 2",
                      out, err),
              0)
        << err;
    QImage pr((d / "print.png").c_str());
    EXPECT_EQ(pr.width(), rnd((o.YMax - o.YMin) * scale * 2));
    EXPECT_EQ(runDmap("render " + map, out, err), 2);
    EXPECT_EQ(runDmap("render " + map + " -o x.png --print-factor 0.5", out, err), 2);
    fs::remove_all(d);
}

TEST(Dmap, NamesPrintsOneLinePerLabel) {
    const fs::path d = tempDir("names");
    sample::writeStartFolder(d, {});
    std::vector<NameRef> labels;
    LoadNames(d / "Darvent" / "Darvent.nam", labels);
    ASSERT_GT(labels.size(), 20u);
    std::string out, err;
    ASSERT_EQ(runDmap("names " + (d / "Darvent" / "Darvent.nam").string(), out, err), 0) << err;
    std::vector<std::string> lines;
    for (size_t p = 0, q; (q = out.find('\n', p)) != std::string::npos; p = q + 1) lines.push_back(out.substr(p, q - p));
    ASSERT_EQ(lines.size(), labels.size());
    char expected[512];
    const TNaz& n = *labels[0];
    std::snprintf(expected, sizeof expected, "%s|%.3f|%.3f|%.3f|%.3f|0|-1", cp1251ToUtf8(NameDisplayText(n)).c_str(),
                  n.X1, n.Y1, n.X2, n.Y2);
    EXPECT_EQ(lines[0], expected);
    EXPECT_NE(lines[0].find(", ул.|"), std::string::npos) << lines[0];
    // Labels bound by their start and by their end are among them.
    bool start = false, end = false;
    for (const auto& l : lines) {
        start |= l.find("|1|") != std::string::npos;
        end |= l.find("|3|") != std::string::npos;
    }
    EXPECT_TRUE(start);
    EXPECT_TRUE(end);
    // A zero byte inside a text: every byte is listed.
    auto z = std::make_shared<TNaz>();
    z->OldName = std::string("AB\0CD", 5);
    z->X1 = 1;
    SaveNames(d / "zero.nam", {z});
    ASSERT_EQ(runDmap("names " + (d / "zero.nam").string(), out, err), 0) << err;
    EXPECT_EQ(out, std::string("AB") + '\0' + "CD|1.000|0.000|0.000|0.000|0|-1\n");
    EXPECT_EQ(runDmap("names " + (d / "none.nam").string(), out, err), 1);
    EXPECT_EQ(runDmap("names", out, err), 2);
    fs::remove_all(d);
}

TEST(Dmap, RoutePrintsTheReportAndThePath) {
    // Two one-way streets of three nodes at city coordinates, 1 km/h on every
    // link: 0 -> 1 -> 2 along the easting, 3 -> 4 -> 5 along the northing.
    // At a northing of 4.57 million metres single precision steps by 0.5 m,
    // at an easting of 13.5 million by 1 m; the clicked points are taken in
    // single precision, and the lines below were worked out by hand (and
    // checked with an independent calculation) for those points.  Taken in
    // double precision the first query would give 140 m, the second
    // 1.0 km/h and the third 141 m.
    const fs::path d = tempDir("route");
    const RoadNetwork net = twoOneWayRoads();
    SaveRoadNetwork(d / "njoints.uzl", net);
    const std::string uzl = (d / "njoints.uzl").string();
    std::string out, err;
    // 13500030.6 is held as 13500031 and 13500170.4 as 13500170: 69 + 70 m,
    // 834 hundredths of a minute.
    ASSERT_EQ(runDmap("route " + uzl + " 4571000 13500030.6 4571000 13500170.4", out, err), 0) << err;
    EXPECT_EQ(out, "Расстояние:        139 м.\nВремя в пути:   8 мин.\nСредняя скорость: 1.0 км/ч.\npath: 1\n");
    // 4571030.1 is held as 4571030: 70 + 70 m, 840 hundredths, 140 * 6 / 800 = 1.05.
    ASSERT_EQ(runDmap("route " + uzl + " 4571030.1 13500500 4571170 13500500", out, err), 0) << err;
    EXPECT_EQ(out, "Расстояние:        140 м.\nВремя в пути:   8 мин.\nСредняя скорость: 1.1 км/ч.\npath: 4\n");
    // 4571170.6 is held as 4571170.5: 70 + 70.5 = 140.5, to the even 140.
    ASSERT_EQ(runDmap("route " + uzl + " 4571030 13500500 4571170.6 13500500", out, err), 0) << err;
    EXPECT_EQ(out, "Расстояние:        140 м.\nВремя в пути:   8 мин.\nСредняя скорость: 1.1 км/ч.\npath: 4\n");
    // No route: the message on standard error, exit code 3.
    ASSERT_EQ(runDmap("route " + uzl + " 0 0 1 1", out, err), 3);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(err, "Маршрут не найден: начальная точка далеко от дорог.\n");
    ASSERT_EQ(runDmap("route " + uzl + " 4571000 13500030 0 0", out, err), 3);
    EXPECT_EQ(err, "Маршрут не найден: конечная точка далеко от дорог.\n");
    // Against the one-way direction there is no way back.
    ASSERT_EQ(runDmap("route " + uzl + " 4571000 13500170 4571000 13500030", out, err), 3);
    EXPECT_EQ(err, "Маршрут не найден: к конечной точке нет проезда.\n");
    EXPECT_EQ(runDmap("route " + uzl + " 0 0 1", out, err), 2);
    EXPECT_EQ(runDmap("route " + (d / "none.uzl").string() + " 0 0 1 1", out, err), 1);
    fs::remove_all(d);
}

TEST(Dmap, FindWhereAndRouteBetweenAddresses) {
    // Navoi (formerly Lenina) along the network's first road with houses
    // 12а and 14 where the route test clicks; Bobur along the second road.
    const fs::path d = tempDir("address");
    fs::create_directories(d / "Darvent");
    const RoadNetwork net = twoOneWayRoads();
    SaveRoadNetwork(d / "njoints.uzl", net);
    auto house = [](const char* n, double x, double y) {
        TDom h;
        h.setNomer(utf8ToCp1251(n));
        h.X = x;
        h.Y = y;
        return h;
    };
    auto navoi = std::make_shared<Trues>();
    navoi->OldName = utf8ToCp1251("Ленина, улица");
    navoi->NewName = utf8ToCp1251("Навои, улица");
    navoi->Axis = {{4571000, 13500000}, {4571000, 13500200}};
    navoi->Houses = {house("12а", 4571000, 13500030.6), house("14", 4571000, 13500170.4)};
    auto bobur = std::make_shared<Trues>();
    bobur->OldName = utf8ToCp1251("Бобура, улица");
    bobur->Axis = {{4571000, 13500500}, {4571200, 13500500}};
    bobur->Houses = {house("3", 4571030.1, 13500500)};
    SaveStreets(d / "Darvent" / "darvent.rue", {navoi, bobur});
    const std::string start = d.string();
    std::string out, err;
    ASSERT_EQ(runDmap("find " + start + " 'навои 12 А'", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица|12а|4571000.00|13500030.60|\n");
    ASSERT_EQ(runDmap("find " + start + " Ленина", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица||4571000.00|13500100.00|\n");  // the middle of the axis
    ASSERT_EQ(runDmap("find " + start + " 'Navoi 13'", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица|12а|4571000.00|13500030.60|\n"
                   "Навои, улица|Ленина, улица|14|4571000.00|13500170.40|\n");
    ASSERT_EQ(runDmap("find " + start + " 'Navoi 13' --limit 1", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица|12а|4571000.00|13500030.60|\n");
    ASSERT_EQ(runDmap("find " + start + " 'ул. Бобра, 3'", out, err), 0) << err;  // a letter missing
    EXPECT_EQ(out, "|Бобура, улица|3|4571030.10|13500500.00|\n");
    EXPECT_EQ(runDmap("find " + start + " Пушкина", out, err), 3);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "dmap: Адрес не найден\n");
    EXPECT_EQ(runDmap("find " + start + " Навои --limitt 2", out, err), 2);
    EXPECT_EQ(err.substr(0, err.find('\n')), "dmap: find: неизвестный параметр --limitt");
    // What is here: the house within 100 m, else the nearest axis within
    // 500 m; nothing farther.
    ASSERT_EQ(runDmap("where " + start + " 4571050 13500500", out, err), 0) << err;
    EXPECT_EQ(out, "|Бобура, улица|3|4571030.10|13500500.00|19.9\n");
    ASSERT_EQ(runDmap("where " + start + " 4571400 13500100", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица||4571000.00|13500100.00|400.0\n");
    EXPECT_EQ(runDmap("where " + start + " 4571501 13500100", out, err), 3);
    EXPECT_EQ(runDmap("where " + start + " 0 0", out, err), 3);
    EXPECT_EQ(err, "dmap: Адрес не найден\n");
    // The route between two houses is the route between clicks on them.
    ASSERT_EQ(runDmap("route-address " + start + " 'Навои 12а' 'Навои 14'", out, err), 0) << err;
    EXPECT_EQ(out, "Расстояние:        139 м.\nВремя в пути:   8 мин.\nСредняя скорость: 1.0 км/ч.\npath: 1\n");
    EXPECT_EQ(runDmap("route-address " + start + " 'Навои 12а' Пушкина", out, err), 3);
    EXPECT_EQ(err, "dmap: Адрес не найден (TO): Пушкина\n");
    EXPECT_EQ(runDmap("route-address " + start + " Пушкина 'Навои 12а'", out, err), 3);
    EXPECT_EQ(err, "dmap: Адрес не найден (FROM): Пушкина\n");
    // From a house to itself: no route.
    EXPECT_EQ(runDmap("route-address " + start + " 'Навои 12а' 'Навои 12а'", out, err), 3);
    EXPECT_EQ(err, "Начальная и конечная точки совпадают\n");
    EXPECT_EQ(runDmap("find " + start, out, err), 2);
    EXPECT_EQ(runDmap("where " + start + " 1 x", out, err), 2);
    EXPECT_EQ(runDmap("find " + (d / "none").string() + " Навои", out, err), 1);
    // A house further along the same link: the route along the link (49 m
    // between the points as the route takes them, in single precision).
    navoi->Houses.push_back(house("20", 4571000, 13500080));
    // A namesake elsewhere (no districts here): told apart by its axis.
    auto other = std::make_shared<Trues>(*navoi);
    other->Axis = {{4572000, 13501000}, {4572000, 13501200}};
    other->Houses = {house("12а", 4572000, 13501010)};
    SaveStreets(d / "Darvent" / "darvent.rue", {navoi, bobur, other});
    ASSERT_EQ(runDmap("route-address " + start + " 'Навои 12а' 'Навои 20'", out, err), 0) << err;
    EXPECT_EQ(out, "Расстояние:         49 м.\nВремя в пути:   3 мин.\nСредняя скорость: 1.0 км/ч.\npath:\n");
    ASSERT_EQ(runDmap("find " + start + " 'Навои 12а'", out, err), 0) << err;
    EXPECT_EQ(out, "Навои, улица|Ленина, улица|12а|4571000.00|13500030.60|ось от 4571000, 13500000\n"
                   "Навои, улица|Ленина, улица|12а|4572000.00|13501010.00|ось от 4572000, 13501000\n");
    fs::remove_all(d);
}

TEST(Dmap, HelpOfEveryCommandAndShortHelp) {
    std::string out, err;
    ASSERT_EQ(runDmap("-h", out, err), 0);
    std::string full;
    ASSERT_EQ(runDmap("--help", full, err), 0);
    EXPECT_EQ(out, full);
    for (const char* c : {"info", "convert", "coord", "render", "names", "route", "sample-city"}) {
        ASSERT_EQ(runDmap(std::string(c) + " -h", out, err), 0) << c;
        EXPECT_EQ(out.rfind(std::string("использование: dmap ") + c + " ", 0), 0u) << out;
        ASSERT_EQ(runDmap(std::string(c) + " --help", out, err), 0) << c;
    }
    EXPECT_TRUE(err.empty()) << err;
}

TEST(Dmap, CoordRefusesPointsTheSeriesDoesNotServe) {
    std::string out, err;
    EXPECT_EQ(runDmap("coord 90.5 69 69", out, err), 2);
    EXPECT_NE(err.find("-90"), std::string::npos) << err;
    EXPECT_EQ(runDmap("coord -91 69 69", out, err), 2);
    EXPECT_EQ(runDmap("coord 41.3 75.5 69", out, err), 2);
    EXPECT_NE(err.find(" 6 "), std::string::npos) << err;
    EXPECT_EQ(runDmap("coord 41.3 62.9 69", out, err), 2);
    EXPECT_TRUE(out.empty());
    // At the limits: still served (values from PROJ, see the geodesy tests).
    ASSERT_EQ(runDmap("coord 41.3 75 69", out, err), 0) << err;
    EXPECT_EQ(out, "x=4591375.3766 y=502642.5884\n");
    ASSERT_EQ(runDmap("coord 90 69 69", out, err), 0) << err;
}

TEST(Dmap, SampleCityRefusesBadSizesBeforeWritingAnything) {
    const fs::path base = tempDir("sizes");
    const fs::path d = base / "city";
    std::string out, err;
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects 0", out, err), 2);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects 3000000000", out, err), 2);
    EXPECT_FALSE(fs::exists(d));
    // Two thousand million objects do not fit in memory here: refused with
    // a message saying so, and no folder is made.
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects 2000000000", out, err), 1);
    EXPECT_NE(err.find("памяти"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d));
    // A write that fails leaves no folder behind: the classifier's name is
    // taken by a folder.
    fs::create_directories(d / "sem100n.smn");
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects 50", out, err), 1);
    EXPECT_FALSE(fs::exists(d / "Darvent"));
    EXPECT_TRUE(fs::exists(d / "sem100n.smn"));  // what was there stays
    fs::remove_all(d);
    EXPECT_EQ(runDmap("sample-city " + d.string() + " --objects 50", out, err), 0) << err;
    EXPECT_TRUE(err.empty()) << err;  // a small city tells nothing
    fs::remove_all(base);
}

TEST(Dmap, SampleCityShowsProgressForLargeCities) {
    const fs::path d = tempDir("large");
    std::string out, err;
    ASSERT_EQ(runDmap("sample-city " + d.string() + " --objects 200000", out, err), 0) << err;
    EXPECT_NE(err.find("sample-city: записано 50 %"), std::string::npos) << err;
    EXPECT_NE(err.find("sample-city: записано 100 %"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());
    fs::remove_all(d);
}

TEST(Dmap, ConvertWritesAnOrientationBesideTheOutput) {
    const fs::path d = tempDir("convor");
    sample::writeStartFolder(d, {});
    std::string out, err;
    const fs::path in = d / "Darvent" / "Darvent.bin";
    ASSERT_EQ(runDmap("convert " + in.string() + " " + (d / "Copy.bin").string(), out, err), 0) << err;
    EXPECT_EQ(readWholeFile(d / "Copy.or"), readWholeFile(d / "Darvent" / "Darvent.or"));
    // An orientation already there is left as it is.
    const std::vector<uint8_t> other(48, 7);
    {
        std::ofstream f(d / "Other.or", std::ios::binary);
        f.write(reinterpret_cast<const char*>(other.data()), 48);
    }
    ASSERT_EQ(runDmap("convert " + in.string() + " " + (d / "Other.bin").string(), out, err), 0) << err;
    EXPECT_EQ(readWholeFile(d / "Other.or"), other);
    fs::remove_all(d);
}

TEST(Dmap, NoRuntimeFolderWarning) {
    // Without XDG_RUNTIME_DIR, as under cron or ssh: nothing but the output.
    const fs::path d = tempDir("xdg");
    sample::writeStartFolder(d, {});
    const std::string cmd = "env -u XDG_RUNTIME_DIR " + std::string(DMAP_PATH) + " render " +
                            (d / "Darvent" / "Darvent.or").string() + " -o " + (d / "b.png").string() +
                            " --screen-width 400 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    std::string all;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) all.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_TRUE(all.empty()) << all;
    fs::remove_all(d);
}

TEST(Dmap, StreetsListsTheRegisterInTheOrderOfTheStreetList) {
    const fs::path d = tempDir("streets");
    std::vector<StreetRef> s;
    auto add = [&](const char* oldU, const char* newU, int axis, int houses) {
        auto t = std::make_shared<Trues>();
        t->OldName = utf8ToCp1251(oldU);
        t->NewName = utf8ToCp1251(newU);
        t->Axis.resize(size_t(axis));
        t->Houses.resize(size_t(houses));
        s.push_back(t);
    };
    add("Навои, улица", "Бобура, улица", 3, 2);
    add("абая, тупик", "", 0, 0);
    add("Навои, улица", "Амира Темура, улица", 5, 1);
    SaveStreets(d / "x.rue", s);
    std::string out, err;
    ASSERT_EQ(runDmap("streets " + (d / "x.rue").string(), out, err), 0) << err;
    EXPECT_EQ(out, "абая, тупик||0|0\nНавои, улица|Амира Темура, улица|5|1\nНавои, улица|Бобура, улица|3|2\n");
    ASSERT_EQ(runDmap("streets " + (d / "x.rue").string() + " --sort new", out, err), 0) << err;
    EXPECT_EQ(out, "|абая, тупик|0|0\nАмира Темура, улица|Навои, улица|5|1\nБобура, улица|Навои, улица|3|2\n");
    // A damaged file: a clear message and exit code 1; bad arguments: 2.
    auto bytes = readWholeFile(d / "x.rue");
    bytes.resize(bytes.size() - 5);
    {
        std::ofstream f(d / "bad.rue", std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    EXPECT_EQ(runDmap("streets " + (d / "bad.rue").string(), out, err), 1);
    EXPECT_NE(err.find("bad.rue"), std::string::npos) << err;
    EXPECT_NE(err.find("смещение"), std::string::npos) << err;
    EXPECT_EQ(runDmap("streets " + (d / "x.rue").string() + " --sort sideways", out, err), 2);
    EXPECT_EQ(runDmap("streets", out, err), 2);
    fs::remove_all(d);
}

TEST(Dmap, TheSampleCityHasAStreetRegisterAlongItsStreets) {
    const fs::path d = tempDir("samplerue");
    sample::writeStartFolder(d, {});
    std::vector<StreetRef> streets;
    LoadStreets(d / "Darvent" / "darvent.rue", streets);
    MapDoc doc;
    LoadObjects(d / "Darvent" / "Darvent.bin", doc.ObjList);
    // One street in the register for every street line of the map (codes
    // 3050 and 3060 that run straight along the grid).
    size_t lines = 0;
    for (const auto& o : doc.ObjList)
        if ((o->Code == 3050 || o->Code == 3060) && o->PointCount() > 2 &&
            (o->Points.front().X == o->Points.back().X || o->Points.front().Y == o->Points.back().Y))
            ++lines;
    EXPECT_EQ(streets.size(), lines);
    int withNew = 0, houses = 0, cyrillicNotes = 0, letters = 0;
    for (size_t i = 0; i < streets.size(); ++i) {
        const Trues& s = *streets[i];
        EXPECT_EQ(s.StreetNo, int32_t(i));
        EXPECT_FALSE(s.OldName.empty());
        withNew += !s.NewName.empty();
        ASSERT_GE(s.Axis.size(), 2u);
        // The axis lies on a street line of the map.
        bool onMap = false;
        for (const auto& o : doc.ObjList)
            if ((o->Code == 3050 || o->Code == 3060) && o->Points.front().X == s.Axis.front().X &&
                o->Points.front().Y == s.Axis.front().Y && o->Points.back().X == s.Axis.back().X &&
                o->Points.back().Y == s.Axis.back().Y)
                onMap = true;
        EXPECT_TRUE(onMap) << i;
        // The name's baseline runs along the street, close to it.
        const double along = std::hypot(s.X2 - s.X1, s.Y2 - s.Y1);
        EXPECT_GT(along, 100);
        EXPECT_GE(s.Houses.size(), 2u);
        houses += int(s.Houses.size());
        for (const TDom& h : s.Houses) {
            EXPECT_GE(h.Etage, 1);
            cyrillicNotes += !h.DopInf.empty() && static_cast<unsigned char>(h.DopInf[0]) >= 0xC0;
            const std::string n = h.Nomer();
            letters += !n.empty() && static_cast<unsigned char>(n.back()) >= 0xC0;
        }
    }
    EXPECT_GT(withNew * 4, int(streets.size()));  // about a third
    EXPECT_LT(withNew * 2, int(streets.size()));
    EXPECT_GT(houses, 2 * int(streets.size()));
    EXPECT_GT(cyrillicNotes, 10);
    EXPECT_GT(letters, 5);  // numbers such as "12а"
    fs::remove_all(d);
}

// The whole map on the page, below the header: a map much taller than
// wide keeps its bottom edge; a wide one is printed across the page unless
// told otherwise.
TEST(Dmap, PrintPutsTheWholeMapOnThePageInTheOfferedOrientation) {
    const fs::path d = tempDir("printshape");
    fs::create_directories(d / "Darvent");
    auto map = [&](const char* name, double wide, double tall) {
        // A frame of lines along the extent's edges, 3 m in from them.
        WriteOrientation(d / "Darvent" / (std::string(name) + ".or"), {tall, 0, wide, 0, 0, 1, {0, 0, 0}, 0});
        TObjList objs;
        auto o = std::make_unique<TObj>();
        o->Kind = KindLine;
        o->Code = 3060;
        o->PenWidth = 3;
        o->Points = {{3, 3}, {3, wide - 3}, {tall - 3, wide - 3}, {tall - 3, 3}, {3, 3}};
        objs.append(std::move(o));
        SaveObjects(d / "Darvent" / (std::string(name) + ".bin"), objs);
        return (d / "Darvent" / (std::string(name) + ".or")).string();
    };
    const std::string tall = map("tall", 100, 1000), wide = map("wide", 1000, 100);
    std::string out, err;
    auto page = [&](const std::string& m, const char* options) {
        const fs::path pdf = d / "p.pdf";
        EXPECT_EQ(runDmap("print " + m + " -o " + pdf.string() + options, out, err), 0) << err;
        return commandOutput("pdfinfo " + pdf.string());
    };
    EXPECT_NE(page(wide, "").find("842 x 595 pts"), std::string::npos);
    EXPECT_NE(page(wide, " --portrait").find("595 x 842 pts"), std::string::npos);
    EXPECT_NE(page(tall, " --landscape").find("842 x 595 pts"), std::string::npos);
    EXPECT_NE(page(tall, "").find("595 x 842 pts"), std::string::npos);
    // At 20 dpi the A4 page is 165 x 234 pixels and the frame about 21
    // pixels wide: its bottom edge (a row of ink across it) lies on the page,
    // near the page's bottom.
    ASSERT_EQ(std::system(("pdftoppm -r 20 -png -singlefile " + (d / "p.pdf").string() + " " + (d / "p").string()).c_str()), 0);
    const QImage img(QString::fromStdString((d / "p.png").string()));
    ASSERT_EQ(img.height(), 234);
    int bottomEdge = -1;
    for (int y = img.height() / 2; y < img.height(); ++y) {
        int ink = 0;
        for (int x = 0; x < img.width(); ++x) ink += qGray(img.pixel(x, y)) < 160;
        if (ink >= 12) bottomEdge = y;
    }
    EXPECT_GT(bottomEdge, 200);
    fs::remove_all(d);
}

TEST(Dmap, PrintWritesAPdfPageWithTheChosenLayers) {
    const fs::path d = tempDir("print");
    sample::writeStartFolder(d, {});
    std::vector<std::string> list;
    AddLayer(d, list, utf8ToCp1251("Вода"), {3200, 3210});
    const std::string map = (d / "Darvent" / "Darvent.or").string();
    std::string out, err;
    ASSERT_EQ(runDmap("print " + map + " -o " + (d / "all.pdf").string() + " --names", out, err), 0) << err;
    ASSERT_EQ(runDmap("print " + map + " -o " + (d / "water.pdf").string() + " --layers Вода", out, err), 0) << err;
    // One A4 page each; the map by layers holds less.
    for (const char* f : {"all.pdf", "water.pdf"}) {
        const std::string info = commandOutput("pdfinfo " + (d / f).string());
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
        EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    }
    EXPECT_LT(fs::file_size(d / "water.pdf") * 4, fs::file_size(d / "all.pdf"));
    // An unknown layer is an error; bad arguments exit with 2.
    EXPECT_EQ(runDmap("print " + map + " -o " + (d / "x.pdf").string() + " --layers Горы", out, err), 1);
    EXPECT_NE(err.find("Горы"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d / "x.pdf"));
    EXPECT_EQ(runDmap("print " + map, out, err), 2);
    EXPECT_EQ(runDmap("print " + map + " -o", out, err), 2);
    // A layer whose codes file is missing gives no code; a name that would
    // read a codes file outside the start folder is refused, naming it.
    list.push_back(utf8ToCp1251("Горы"));
    list.push_back("/etc/passwd");
    SaveLayerList(d, list);
    EXPECT_EQ(runDmap("print " + map + " -o " + (d / "x.pdf").string() + " --layers Горы", out, err), 1);
    EXPECT_EQ(err, "dmap: Не указаны слои.\n");
    EXPECT_EQ(runDmap("print " + map + " -o " + (d / "x.pdf").string() + " --layers /etc/passwd", out, err), 1);
    EXPECT_NE(err.find("Слой «/etc/passwd» не может иметь файла кодов"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d / "x.pdf"));
    // A missing folder, a folder as OUT: said, nothing written.
    EXPECT_EQ(runDmap("print " + map + " -o " + (d / "none" / "x.pdf").string(), out, err), 1);
    EXPECT_EQ(err, "dmap: Нет папки " + (d / "none").string() + " для файла " + (d / "none" / "x.pdf").string() + "\n");
    EXPECT_EQ(runDmap("print " + map + " -o " + d.string(), out, err), 1);
    EXPECT_EQ(err, "dmap: " + d.string() + " — это папка, а не файл PDF\n");
    // Without the classifier the page is printed, and that is said.
    fs::rename(d / "sem100n.ris", d / "kept.ris");
    EXPECT_EQ(runDmap("print " + map + " -o " + (d / "plain.pdf").string(), out, err), 0);
    EXPECT_NE(err.find("sem100n.ris"), std::string::npos) << err;
    EXPECT_NE(err.find("знаки не печатаются"), std::string::npos) << err;
    EXPECT_TRUE(fs::exists(d / "plain.pdf"));
    fs::remove_all(d);
}

TEST(Dmap, APdfThatCannotBeWrittenWholeLeavesTheOldFile) {
    // Files may not grow past 64 KiB: the page of the city cannot be written.
    const fs::path d = tempDir("printlimit");
    sample::writeStartFolder(d, {});
    writeText(d / "map.pdf", "old page");
    const std::string cmd = "sh -c 'ulimit -f 64; exec " + std::string(DMAP_PATH) + " print " +
                            (d / "Darvent" / "Darvent.or").string() + " -o " + (d / "map.pdf").string() + "' 2>&1";
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    EXPECT_NE(out.find("Файл " + (d / "map.pdf").string() + " не записан"), std::string::npos) << out;
    EXPECT_EQ(readWholeFile(d / "map.pdf"), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'p', 'a', 'g', 'e'}));
    for (const auto& e : fs::directory_iterator(d)) EXPECT_EQ(e.path().filename().string().find(".~"), std::string::npos);
    // On a full small file system (where one can be made) the same.
    const fs::path small = d / "small";
    fs::create_directories(small);
    if (::geteuid() == 0 && std::system(("mount -t tmpfs -o size=48k tmpfs " + small.string() + " 2>/dev/null").c_str()) == 0) {
        writeText(small / "map.pdf", "old page");
        std::string o2, e2;
        EXPECT_EQ(runDmap("print " + (d / "Darvent" / "Darvent.or").string() + " -o " + (small / "map.pdf").string(), o2, e2), 1);
        EXPECT_NE(e2.find("не записан"), std::string::npos) << e2;
        EXPECT_EQ(readWholeFile(small / "map.pdf"), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'p', 'a', 'g', 'e'}));
        size_t files = 0;
        for (const auto& e : fs::directory_iterator(small)) files += e.is_regular_file();
        EXPECT_EQ(files, 1u);
        std::system(("umount " + small.string()).c_str());
    }
    fs::remove_all(d);
}

TEST(Dmap, SemanticsPrintsTheListAsTheProgramReadsIt) {
    const fs::path d = tempDir("smn");
    std::string out, err;
    // Written by LibreOffice Writer (test data of the list reader).
    ASSERT_EQ(runDmap("semantics " + std::string(TEST_DATA_DIR) + "/libreoffice_plain.rtf", out, err), 0) << err;
    EXPECT_EQ(out.rfind("Здания...;0;0;1;1;8;0;\n...жилые;1010;1981530;1;1;1;9881838;\n", 0), 0u) << out;
    // Written by the program's own writer, and as plain text.
    WriteListFile(d / "own.smn", {utf8ToCp1251("Дороги...;0;0;1;1;8;0;"), utf8ToCp1251("...улицы;3060;0;2;1;8;0;")});
    ASSERT_EQ(runDmap("semantics " + (d / "own.smn").string(), out, err), 0) << err;
    EXPECT_EQ(out, "Дороги...;0;0;1;1;8;0;\n...улицы;3060;0;2;1;8;0;\n");
    {
        std::ofstream f(d / "plain.smn", std::ios::binary);
        f << utf8ToCp1251("Вода...;0;0;1;1;8;0;\r\n...реки;3200;0;1;1;1;0;\r\n");
    }
    ASSERT_EQ(runDmap("semantics " + (d / "plain.smn").string(), out, err), 0) << err;
    EXPECT_EQ(out, "Вода...;0;0;1;1;8;0;\n...реки;3200;0;1;1;1;0;\n");
    EXPECT_EQ(runDmap("semantics " + (d / "none.smn").string(), out, err), 1);
    EXPECT_NE(err.find("none.smn"), std::string::npos) << err;
    EXPECT_EQ(runDmap("semantics", out, err), 2);
    fs::remove_all(d);
}

TEST(Dmap, ASampleCityThatCannotBeWrittenLeavesTheOldFilesAsTheyWere) {
    const fs::path d = tempDir("ulimit");
    sample::writeStartFolder(d, {});
    std::map<std::string, std::vector<uint8_t>> before;
    for (const auto& e : fs::recursive_directory_iterator(d))
        if (e.is_regular_file()) before[fs::relative(e.path(), d).string()] = readWholeFile(e.path());
    // Files may not grow past 100 KiB: the new object file cannot be written.
    std::string out, err;
    const std::string cmd = "sh -c 'ulimit -f 100; exec " + std::string(DMAP_PATH) + " sample-city " + d.string() +
                            " --seed 9' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    EXPECT_NE(out.find("файл слишком велик"), std::string::npos) << out;
    std::map<std::string, std::vector<uint8_t>> after;
    for (const auto& e : fs::recursive_directory_iterator(d))
        if (e.is_regular_file()) after[fs::relative(e.path(), d).string()] = readWholeFile(e.path());
    EXPECT_EQ(after, before);  // every old file, no temporary or staging file
    fs::remove_all(d);
}

TEST(Dmap, RenderRefusesPicturesOverSixtyFourMillionPixels) {
    // 100 m wide and 1800 m high at 1920 x 1.447 pixels across: about
    // 2778 x 50000 pixels, 139 million.
    const fs::path d = tempDir("bigpic");
    fs::create_directories(d / "m");
    MapDoc doc;
    doc.Orientation = {1800, 0, 100, 0, 0, 1, {0, 0, 0}, 0};
    WriteOrientation(d / "m" / "tall.or", doc.Orientation);
    SaveObjects(d / "m" / "tall.bin", doc.ObjList);
    std::string out, err;
    EXPECT_EQ(runDmap("render " + (d / "m" / "tall.or").string() + " -o " + (d / "t.png").string(), out, err), 1);
    EXPECT_NE(err.find("64"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(d / "t.png"));
    // A width that keeps it under the limit draws.
    EXPECT_EQ(runDmap("render " + (d / "m" / "tall.or").string() + " -o " + (d / "t.png").string() +
                          " --screen-width 500",
                      out, err),
              0)
        << err;
    fs::remove_all(d);
}
