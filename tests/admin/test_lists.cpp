#include "admin/AdminLists.h"

#include "mapdata/BinaryIO.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {
fs::path tempFile(const std::string& name, const std::string& bytes) {
    const fs::path dir = fs::temp_directory_path() / ("dm_lists_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path p = dir / name;
    writeFileAtomically(p, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return p;
}
std::string fileText(const fs::path& p) {
    const auto b = readWholeFile(p);
    return std::string(b.begin(), b.end());
}
}  // namespace

TEST(AdminLists, LinesWithTwoOneAndNoSemicolon) {
    const ListEntry two = ParseListLine("\xD6\xE5\xED\xF2\xF0;centr;");  // "Центр"
    EXPECT_EQ(two.name, "\xD6\xE5\xED\xF2\xF0");
    EXPECT_EQ(two.file, "centr");
    const ListEntry one = ParseListLine("Sever;sever");
    EXPECT_EQ(one.name, "Sever");
    EXPECT_EQ(one.file, "");
    const ListEntry none = ParseListLine("Sever sever");
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.file, "");
    // Text after the second ";" and a Windows line end are not part of the fields.
    const ListEntry more = ParseListLine("a;b;c;\r");
    EXPECT_EQ(more.name, "a");
    EXPECT_EQ(more.file, "b");
    const ListEntry empty = ParseListLine(";;");
    EXPECT_EQ(empty.name, "");
    EXPECT_EQ(empty.file, "");
}

TEST(AdminLists, FileReadLineByLineAndWrittenWithWindowsLineEnds) {
    const fs::path p = tempFile("a.ray", "One;one;\r\nTwo;two\r\n\r\nThree;three;");
    const auto list = ReadPlainList(p);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "One");
    EXPECT_EQ(list[0].file, "one");
    EXPECT_EQ(list[0].line, 1);
    EXPECT_EQ(list[1].name, "Two");
    EXPECT_EQ(list[1].file, "");
    EXPECT_EQ(list[2].name, "");
    EXPECT_EQ(list[2].line, 3);
    EXPECT_EQ(list[3].name, "Three");
    EXPECT_EQ(list[3].file, "three");
    EXPECT_EQ(list[3].line, 4);

    const fs::path out = tempFile("b.ray", "");
    WritePlainList(out, {{"\xC0", "a"}, {"B", ""}});
    EXPECT_EQ(fileText(out), "\xC0;a;\r\nB;;\r\n");
}

TEST(AdminLists, StemsThatLeaveTheRegionFolderAreRefused) {
    for (const char* bad : {"../etc", "..", "a/b", "a\\b", "C:", "c:\\x", "a\tb", "a\x01", "x\x7F", "a..b"})
        EXPECT_FALSE(SafeStem(bad)) << bad;
    for (const char* good : {"", "centr", "sev zap", "\xD6\xE5\xED\xF2\xF0", "a.b", "Darvent_1"})
        EXPECT_TRUE(SafeStem(good)) << good;

    // The unsafe line is refused, naming the file and the line (its control
    // characters shown as \xNN); the others are kept.
    const fs::path p = tempFile("bad.ray", "One;one;\r\nTwo;..\\..\\win;\r\nThree;a\x01;\r\nFour;four;\r\n");
    std::vector<std::string> refused;
    const auto list = ReadDistrictList(p, &refused);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].file, "one");
    EXPECT_EQ(list[1].file, "four");
    EXPECT_EQ(list[1].line, 4);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[0], "Файл " + p.string() + ", строка 2: недопустимое имя файла тумана \"..\\..\\win\"");
    EXPECT_EQ(refused[1], "Файл " + p.string() + ", строка 3: недопустимое имя файла тумана \"a\\x01\"");
    const fs::path good = tempFile("good.ray", "One;one;\r\n");
    EXPECT_EQ(ReadDistrictList(good).size(), 1u);
    try {
        ReadDistrictList(good.parent_path() / "missing.ray");
        FAIL() << "a missing list was read";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("не существует"), std::string::npos);
    }
}
