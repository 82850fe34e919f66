// dmap export and import from the command line, checked with GDAL's own
// ogrinfo and by reading the map back.
#include "../common/CommandOutput.h"
#include "RunTool.h"
#include "cli/SampleCity.h"
#include "mapdata/MapDoc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path p = fs::temp_directory_path() / ("dm_cli_gis_" + std::to_string(::getpid()));
    Folder() {
        fs::remove_all(p);
        sample::writeStartFolder(p, {});
    }
    ~Folder() { fs::remove_all(p); }
};

}  // namespace

TEST(DmapGis, ExportAndImportFromTheCommandLine) {
    Folder f;
    const fs::path city = f.p / "Darvent" / "Darvent.or";
    MapDoc doc;
    doc.Orientation = ReadOrientation(city);
    LoadObjects(withExtension(city, ".bin"), doc.ObjList);
    long areas = 0;
    for (const auto& o : doc.ObjList) areas += o->Kind == KindArea;
    std::string out, err;
    ASSERT_EQ(runDmap("export " + city.string() + " " + (f.p / "city.gpkg").string(), out, err), 0) << err;
    EXPECT_NE(out.find("Выгружено: "), std::string::npos) << out;
    const std::string info = commandOutput("ogrinfo -so " + (f.p / "city.gpkg").string() + " areas 2>&1");
    EXPECT_NE(info.find("Feature Count: " + std::to_string(areas)), std::string::npos) << info;
    EXPECT_NE(info.find("Transverse Mercator"), std::string::npos) << info;
    // Another declared system.
    ASSERT_EQ(runDmap("export " + city.string() + " " + (f.p / "gk.geojson").string() + " --crs EPSG:28413", out, err), 0)
        << err;
    EXPECT_NE(commandOutput("ogrinfo -so " + (f.p / "gk.geojson").string() + " gk 2>&1").find("Gauss-Kruger zone 13"),
              std::string::npos);

    // The exported points, lines and areas into an empty map of the same
    // system: the same objects by kind.
    fs::copy_file(city, f.p / "copy.or");
    ASSERT_EQ(runDmap("import " + (f.p / "city.gpkg").string() + " " + (f.p / "copy.bin").string() +
                          " --code-field code --name-field name",
                      out, err),
              0)
        << err;
    EXPECT_NE(out.find("Слой без поля кода пропущен: labels"), std::string::npos) << out;
    TObjList copy;
    LoadObjects(f.p / "copy.bin", copy);
    ASSERT_EQ(copy.size(), doc.ObjList.size());
    long copiedAreas = 0;
    for (const auto& o : copy) copiedAreas += o->Kind == KindArea;
    EXPECT_EQ(copiedAreas, areas);

    // Errors: usage, an unknown extension, a map without its .or, a missing field.
    EXPECT_EQ(runDmap("export " + city.string(), out, err), 2);
    EXPECT_EQ(runDmap("export " + city.string() + " " + (f.p / "x.shp").string(), out, err), 2);
    EXPECT_EQ(runDmap("import " + (f.p / "city.gpkg").string() + " " + (f.p / "copy.bin").string(), out, err), 2);
    EXPECT_EQ(runDmap("import " + (f.p / "city.gpkg").string() + " " + (f.p / "none.bin").string() + " --code 5",
                      out, err),
              1);
    EXPECT_NE(err.find("none.or"), std::string::npos) << err;
    EXPECT_EQ(runDmap("import " + (f.p / "city.gpkg").string() + " " + (f.p / "copy.bin").string() +
                          " --code-field kod",
                      out, err),
              1);
    EXPECT_NE(err.find("нет поля кода kod"), std::string::npos) << err;
    TObjList unchanged;
    LoadObjects(f.p / "copy.bin", unchanged);
    EXPECT_EQ(unchanged.size(), copy.size());
}
