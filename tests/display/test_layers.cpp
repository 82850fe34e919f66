#include "display/Layers.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace dm;

namespace {
fs::path tempDir(const char* name) {
    fs::path d = fs::temp_directory_path() / ("dm_layers_" + std::string(name) + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
void writeText(const fs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
}
}  // namespace

TEST(Layers, ListAndCodesFilesRoundTripAsRtf) {
    const fs::path d = tempDir("rt");
    std::vector<std::string> list;
    AddLayer(d, list, utf8ToCp1251("Дороги"), {3050, 3060, 3070});
    AddLayer(d, list, utf8ToCp1251("Гидрография"), {3200, 3210});
    EXPECT_EQ(LoadLayerList(d), list);
    ASSERT_EQ(list.size(), 2u);
    // The files: Sloys.rtf, and the codes under the first five characters.
    EXPECT_TRUE(fs::exists(d / "Sloys.rtf"));
    EXPECT_TRUE(fs::exists(d / "Дорог.rtf"));
    EXPECT_TRUE(fs::exists(d / "Гидро.rtf"));
    const std::string rtf = [&] {
        const auto b = readWholeFile(d / "Sloys.rtf");
        return std::string(b.begin(), b.end());
    }();
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    std::vector<std::string> paragraphs;
    ASSERT_TRUE(ParseRtf(rtf, paragraphs));
    EXPECT_EQ(paragraphs, list);
    EXPECT_EQ(ReadLayerCodes(LayerCodesPath(d, list[0])), (std::vector<int>{3050, 3060, 3070}));
    // The filter: layers in list order, codes in file order.
    EXPECT_EQ(BuildLayerFilter(d, {list[1], list[0]}), (std::vector<int>{3200, 3210, 3050, 3060, 3070}));
    // Removing a layer takes its codes file with it.
    EXPECT_FALSE(RemoveLayer(d, list, utf8ToCp1251("Дорог")));  // not a whole line
    EXPECT_TRUE(RemoveLayer(d, list, utf8ToCp1251("Дороги")));
    EXPECT_EQ(LoadLayerList(d), std::vector<std::string>{utf8ToCp1251("Гидрография")});
    EXPECT_FALSE(fs::exists(d / "Дорог.rtf"));
    fs::remove_all(d);
}

TEST(Layers, TwoLayersWithTheSameFiveLettersShareTheirCodes) {
    const fs::path d = tempDir("share");
    std::vector<std::string> list;
    AddLayer(d, list, utf8ToCp1251("Дороги"), {3050});
    AddLayer(d, list, utf8ToCp1251("Дорога к морю"), {1891, 1891});  // "Дорог" too
    // The later one wrote the shared file: both layers now give its codes,
    // and a code listed twice is kept twice.
    EXPECT_EQ(BuildLayerFilter(d, {list[0]}), (std::vector<int>{1891, 1891}));
    EXPECT_EQ(BuildLayerFilter(d, list), (std::vector<int>{1891, 1891, 1891, 1891}));
    fs::remove_all(d);
}

TEST(Layers, PlainTextFilesAndFilesOfAnotherRtfWriter) {
    const fs::path d = tempDir("plain");
    // Plain Windows-1251 text, CR LF.
    writeText(d / "Sloys.rtf", utf8ToCp1251("Дороги\r\nВода\r\n"));
    writeText(d / "Дорог.rtf", "3050\r\n 3060 \r\n-7\r\n");
    EXPECT_EQ(LoadLayerList(d), (std::vector<std::string>{utf8ToCp1251("Дороги"), utf8ToCp1251("Вода")}));
    EXPECT_EQ(BuildLayerFilter(d, LoadLayerList(d)), (std::vector<int>{3050, 3060, -7}));  // "Вода" has no file
    fs::remove_all(d);
}

TEST(Layers, FilesWrittenByLibreOffice) {
    // Plain text lists saved as RTF by LibreOffice Writer (kept as test data).
    const fs::path d = tempDir("lo");
    fs::copy_file(fs::path(TEST_DATA_DIR) / "libreoffice_layers.rtf", d / "Sloys.rtf");
    fs::copy_file(fs::path(TEST_DATA_DIR) / "libreoffice_codes.rtf", d / "Дорог.rtf");
    const std::vector<std::string> list = LoadLayerList(d);
    EXPECT_EQ(list, (std::vector<std::string>{utf8ToCp1251("Дороги"), utf8ToCp1251("Гидрография"),
                                              utf8ToCp1251("Дорожные знаки")}));
    EXPECT_EQ(BuildLayerFilter(d, {list[0], list[1]}), (std::vector<int>{3050, 3060, 3070, 1891}));
    fs::remove_all(d);
}

TEST(Layers, ACodesLineThatIsNotAnIntegerNamesTheFileAndTheLine) {
    const fs::path d = tempDir("bad");
    writeText(d / "codes.rtf", "3050\r\n30x0\r\n");
    try {
        ReadLayerCodes(d / "codes.rtf");
        FAIL() << "no error";
    } catch (const FileError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("codes.rtf"), std::string::npos) << m;
        EXPECT_NE(m.find("строка 2"), std::string::npos) << m;
        EXPECT_NE(m.find("30x0"), std::string::npos) << m;
    }
    writeText(d / "big.rtf", "99999999999\r\n");
    EXPECT_THROW(ReadLayerCodes(d / "big.rtf"), FileError);
    writeText(d / "empty.rtf", "3050\r\n\r\n7\r\n");
    EXPECT_THROW(ReadLayerCodes(d / "empty.rtf"), FileError);
    fs::remove_all(d);
}

TEST(Layers, NamesThatWouldLeaveTheStartFolderAreRefusedNamingTheLayer) {
    const fs::path d = tempDir("unsafe");
    std::vector<std::string> list{"Roads"};
    SaveLayerList(d, list);
    const auto before = readWholeFile(d / "Sloys.rtf");
    for (const char* bad : {"../..x", "/etc/", "a/bcdef", "ab\\cd", "..abc", "a..b", "a\x01" "bcd", "C:abc", "abc\x7f"}) {
        try {
            AddLayer(d, list, bad, {1});
            ADD_FAILURE() << bad << " was formed";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("Слой «") + bad + "»"), std::string::npos) << e.what();
        }
        EXPECT_THROW(BuildLayerFilter(d, {bad}), FileError) << bad;
        EXPECT_THROW(LayerCodesPath(d, bad), FileError) << bad;
    }
    EXPECT_EQ(list, std::vector<std::string>{"Roads"});
    EXPECT_EQ(readWholeFile(d / "Sloys.rtf"), before);
    // Only the first five characters name the file: the rest may hold anything.
    EXPECT_EQ(LayerCodesPath(d, "Roads/main"), d / "Roads.rtf");
    // Shorter than five: the whole name, nothing added.
    EXPECT_EQ(LayerCodesPath(d, utf8ToCp1251("Лес")), d / "Лес.rtf");
    EXPECT_EQ(LayerCodesPath(d, "A"), d / "A.rtf");
    // A layer with such a name already in the list goes from it; no file
    // anywhere is touched.
    fs::create_directories(d / "sub");
    writeText(d / "sub" / "x.rtf", "1\r\n");
    list.push_back("sub/x");
    SaveLayerList(d, list);
    EXPECT_TRUE(RemoveLayer(d, list, "sub/x"));
    EXPECT_EQ(list, std::vector<std::string>{"Roads"});
    EXPECT_TRUE(fs::exists(d / "sub" / "x.rtf"));
    fs::remove_all(d);
}

TEST(Layers, ACodesFileCopiedFromWindowsUnderItsOwnBytesIsFound) {
    const fs::path d = tempDir("bytes");
    // "Дорог" in Windows-1251 bytes, as a copy from Windows names it.
    writeText(d / fs::path("\xC4\xEE\xF0\xEE\xE3.rtf"), "3050\r\n3060\r\n");
    EXPECT_EQ(BuildLayerFilter(d, {utf8ToCp1251("Дороги")}), (std::vector<int>{3050, 3060}));
    // A file under the UTF-8 name comes first.
    writeText(d / "Дорог.rtf", "7\r\n");
    EXPECT_EQ(BuildLayerFilter(d, {utf8ToCp1251("Дороги")}), std::vector<int>{7});
    fs::remove_all(d);
}

TEST(Layers, AnotherLayerSharingTheCodesFileIsFound) {
    const std::vector<std::string> list{utf8ToCp1251("Дороги главные"), utf8ToCp1251("Вода")};
    const std::string* other = LayerSharingCodes(list, utf8ToCp1251("Дороги прочие"));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(*other, list[0]);
    EXPECT_EQ(LayerSharingCodes(list, utf8ToCp1251("Дороги главные")), nullptr);  // itself
    EXPECT_EQ(LayerSharingCodes(list, utf8ToCp1251("Дорожки")), nullptr);        // "Дорож"
    EXPECT_EQ(LayerSharingCodes(list, utf8ToCp1251("Вод")), nullptr);
}
