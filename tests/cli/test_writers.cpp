// Every file the program and dmap write, written when files may not grow
// past a few bytes: each writer says why it failed, the old file keeps its
// bytes and nothing is left beside it.  The rows follow the table of
// docs/files.md.
#include "RunTool.h"
#include "admin/AdminLists.h"
#include "admin/Boundaries.h"
#include "admin/MapCut.h"
#include "admin/Settlements.h"
#include "app/AppSettings.h"
#include "classifier/Znak.h"
#include "cli/SampleCity.h"
#include "display/Layers.h"
#include "interop/GisExchange.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapDoc.h"
#include "mapdata/Rtf.h"
#include "names/Names.h"
#include "streets/Streets.h"
#include "transport/Stops.h"
#include "userdata/UserAreas.h"
#include "userdata/UserTable.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {

const std::string kOld = "old bytes of the file";

// Files may not grow past `bytes` while `f` runs.
void withSizeLimit(rlim_t bytes, const std::function<void()>& f) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    f();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
}

struct Row {
    const char* file;                                  // the row of docs/files.md
    std::vector<std::string> targets;                  // written together
    std::function<void(const fs::path& dir)> write;    // throws when it cannot write
};

}  // namespace

TEST(Writers, EveryWriterLeavesTheOldFilesWhenItCannotWriteThemWhole) {
    const fs::path base = fs::temp_directory_path() / ("dm_writers_" + std::to_string(::getpid()));
    fs::remove_all(base);
    MapDoc city;
    std::vector<NameRef> cityNames;
    std::vector<StreetRef> cityStreets;
    sample::buildCity(city, {.seed = 3, .objects = 300}, &cityNames, nullptr, &cityStreets);
    std::vector<TObj*> cityObjects;
    for (const auto& o : city.ObjList) cityObjects.push_back(o.get());

    const std::vector<Row> rows = {
        {"objects (.bin)", {"m.bin"}, [&](const fs::path& d) { SaveObjects(d / "m.bin", city.ObjList); }},
        {"orientation (.or)", {"m.or"}, [&](const fs::path& d) { WriteOrientation(d / "m.or", city.Orientation); }},
        {"names (.nam)", {"m.nam"}, [&](const fs::path& d) { SaveNames(d / "m.nam", cityNames); }},
        {"streets (.rue)", {"darvent.rue"}, [&](const fs::path& d) { SaveStreets(d / "darvent.rue", cityStreets); }},
        {"layer list (Sloys.rtf)", {"Sloys.rtf"},
         [&](const fs::path& d) { SaveLayerList(d, std::vector<std::string>(50, "layer name")); }},
        {"layer codes", {"Roads.rtf"},
         [&](const fs::path& d) { WriteLayerCodes(d / "Roads.rtf", std::vector<int>(100, 3060)); }},
        {"semantic list (.smn)", {"x.smn"},
         [&](const fs::path& d) { WriteListFile(d / "x.smn", sample::semanticLines()); }},
        {"symbols (.ris)", {"x.ris"}, [&](const fs::path& d) { WriteZnakFile(d / "x.ris", sample::symbols()); }},
        {"stops (ostanov.dat)", {"ostanov.dat"},
         [&](const fs::path& d) {
             std::vector<StopRef> stops;
             for (int i = 0; i < 20; ++i) stops.push_back(std::make_shared<TOstnv>(TOstnv{i, "stop", "1", "2", "3", "m", 1, 2}));
             SaveStops(d / "ostanov.dat", stops);
         }},
        {"metro stations (metro.dat)", {"metro.dat"},
         [&](const fs::path& d) { SaveMetro(d / "metro.dat", std::vector<TMetro>(20, TMetro{"station", 1, 2})); }},
        {"user areas (.dat)", {"places.dat"},
         [&](const fs::path& d) {
             std::vector<AreaRef> areas;
             for (int i = 0; i < 10; ++i) {
                 auto a = std::make_shared<TRovd>();
                 a->Name = "area";
                 a->Points = {{1, 2}, {3, 4}, {5, 6}};
                 areas.push_back(a);
             }
             SaveUserAreas(d / "places.dat", areas);
         }},
        {"user table (.txt)", {"table.txt"},
         [&](const fs::path& d) {
             UserTable t = UserTable::New();
             t.setRows(100);
             SaveUserTable(d / "table.txt", t);
         }},
        {"region and district lists", {"Darvent.ray"},
         [&](const fs::path& d) { WritePlainList(d / "Darvent.ray", std::vector<ListEntry>(20, ListEntry{"name", "stem", 0})); }},
        {"boundaries (.grn, .gtm)", {"a.grn"},
         [&](const fs::path& d) { RewriteBoundaryFile(d / "a.grn", city.ObjList); }},
        {"frontier.tum", {"frontier.tum"}, [&](const fs::path& d) { WriteBoundaries(d / "frontier.tum", city.ObjList); }},
        {"cut map (.bin, .or, .nam)", {"cut.bin", "cut.or", "cut.nam"},
         [&](const fs::path& d) { SaveCutMapFiles(d / "cut.bin", cityObjects, city.Orientation, cityNames); }},
        {"GIS export (.gpkg)", {"x.gpkg"},
         [&](const fs::path& d) {
             ExportData data;
             data.orientation = &city.Orientation;
             data.objects = &city.ObjList;
             ExportMap(d / "x.gpkg", data);
         }},
        {"GIS export (.geojson)", {"x.geojson"},
         [&](const fs::path& d) {
             ExportData data;
             data.orientation = &city.Orientation;
             data.objects = &city.ObjList;
             ExportMap(d / "x.geojson", data);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const fs::path d = base / std::to_string(&row - rows.data());
        fs::create_directories(d);
        for (const std::string& t : row.targets) std::ofstream(d / t, std::ios::binary) << kOld;
        bool threw = false;
        withSizeLimit(kOld.size() + 8, [&] {
            try {
                row.write(d);
            } catch (const FileError& e) {
                threw = true;
                EXPECT_NE(std::string(e.what()).find(d.string()), std::string::npos) << e.what();
            }
        });
        EXPECT_TRUE(threw);
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        std::vector<std::string> expected = row.targets;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << "nothing is left beside the files";
        for (const std::string& t : row.targets) EXPECT_EQ(readWholeFile(d / t), std::vector<uint8_t>(kOld.begin(), kOld.end())) << t;
        // Without the limit the same call writes every file.
        row.write(d);
        for (const std::string& t : row.targets) EXPECT_NE(readWholeFile(d / t), std::vector<uint8_t>(kOld.begin(), kOld.end())) << t;
    }
    fs::remove_all(base);
}

TEST(Writers, ACutWithoutLabelsTakesTheOldNamesFileAway) {
    const fs::path d = fs::temp_directory_path() / ("dm_writers_cut_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    std::ofstream(d / "cut.nam", std::ios::binary) << kOld;
    MapDoc doc;
    auto o = std::make_unique<TObj>();
    o->Kind = KindPoint;
    o->Points = {{1, 2}};
    doc.ObjList.append(std::move(o));
    SaveCutMapFiles(d / "cut.bin", {doc.ObjList[0]}, doc.Orientation, {});
    EXPECT_TRUE(fs::exists(d / "cut.bin"));
    EXPECT_TRUE(fs::exists(d / "cut.or"));
    EXPECT_FALSE(fs::exists(d / "cut.nam"));
    fs::remove_all(d);
}

TEST(Writers, TheRegionSettlementFileAndTheSettingsKeepTheirOldBytes) {
    const fs::path d = fs::temp_directory_path() / ("dm_writers_nsp_" + std::to_string(::getpid()));
    fs::remove_all(d);
    sample::writeStartFolder(d, {});
    const fs::path region = d / "Darvent" / "Darvent.nsp";
    std::ofstream(region, std::ios::binary) << kOld;
    SettlementList list;
    bool threw = false;
    withSizeLimit(kOld.size() + 8, [&] {
        try {
            MergeSettlements(d, "Darvent", {"centr", "sevzap"}, list);
        } catch (const FileError&) {
            threw = true;
        }
    });
    EXPECT_TRUE(threw);
    EXPECT_EQ(readWholeFile(region), std::vector<uint8_t>(kOld.begin(), kOld.end()));
    // The settings: a value too long for the limit leaves the old file.
    const fs::path ini = d / "darvent-map.ini";
    {
        AppSettings s(ini);
        s.setLastFolder(QStringLiteral("/first"));
    }
    const auto before = readWholeFile(ini);
    withSizeLimit(before.size() + 8, [&] {
        AppSettings s(ini);
        s.setLastFolder(QString(4000, QLatin1Char('x')));
    });
    EXPECT_EQ(readWholeFile(ini), before);
    fs::remove_all(d);
}

TEST(Writers, DmapConvertAndRenderLeaveTheOldFilesUnderASizeLimit) {
    const fs::path d = fs::temp_directory_path() / ("dm_writers_cli_" + std::to_string(::getpid()));
    fs::remove_all(d);
    sample::writeStartFolder(d, {});
    for (const char* f : {"out.bin", "out.or", "city.png", "city.bmp"}) std::ofstream(d / f, std::ios::binary) << kOld;
    const std::string map = (d / "Darvent" / "Darvent.or").string();
    for (const std::string& args : {"convert " + (d / "Darvent" / "Darvent.bin").string() + " " + (d / "out.bin").string(),
                                    "render " + map + " -o " + (d / "city.png").string(),
                                    "render " + map + " -o " + (d / "city.bmp").string()}) {
        SCOPED_TRACE(args);
        const std::string cmd = "sh -c 'ulimit -f 1; exec " + std::string(DMAP_PATH) + " " + args + "' 2>&1";
        std::string out;
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int status = ::pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    }
    for (const char* f : {"out.bin", "out.or", "city.png", "city.bmp"})
        EXPECT_EQ(readWholeFile(d / f), std::vector<uint8_t>(kOld.begin(), kOld.end())) << f;
    for (const auto& e : fs::directory_iterator(d)) EXPECT_EQ(e.path().filename().string().find('~'), std::string::npos) << e.path();
    fs::remove_all(d);
}
