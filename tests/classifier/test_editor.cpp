#include "classifier/ClassifierEditor.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {
fs::path tempDir(const char* name) {
    fs::path d = fs::temp_directory_path() / ("dm_clsed_" + std::string(name) + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
TZnak znak(int32_t code, int cells) {
    ZnakGrid g;
    for (int i = 0; i < cells; ++i) g.set(1 + i, 1, true);
    return ComposeZnak(g, code, 0x0000FF);
}
}  // namespace

TEST(ClassifierEditor, GridCellsUnderClicks) {
    // Cells of 10 pixels from (20, 10); the outer margin does nothing.
    EXPECT_EQ(GridCellAt(21, 11), std::make_pair(1, 1));
    EXPECT_EQ(GridCellAt(29, 19), std::make_pair(1, 1));
    EXPECT_EQ(GridCellAt(30, 20), std::make_pair(2, 2));
    EXPECT_EQ(GridCellAt(169, 159), std::make_pair(15, 15));
    EXPECT_EQ(GridCellAt(95, 85), std::make_pair(8, 8));
    EXPECT_FALSE(GridCellAt(20, 50));
    EXPECT_FALSE(GridCellAt(170, 50));
    EXPECT_FALSE(GridCellAt(50, 10));
    EXPECT_FALSE(GridCellAt(50, 160));
}

TEST(ClassifierEditor, ComposedSymbolsGoColumnByColumnWithOffsetsOfFive) {
    ZnakGrid g;
    g.set(3, 9, true);
    g.set(1, 15, true);
    g.set(3, 2, true);
    g.set(15, 1, true);
    g.set(8, 8, true);
    const TZnak z = ComposeZnak(g, 2402, 0x00FF00);
    EXPECT_EQ(z.Code, 2402);
    EXPECT_EQ(z.Color, 0x00FF00);
    ASSERT_EQ(z.Count, 5);
    const std::vector<std::pair<int, int>> expected = {{-4, 10}, {-2, -3}, {-2, 4}, {3, 3}, {10, -4}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(z.Col[i], expected[i].first) << i;
        EXPECT_EQ(z.Row[i], expected[i].second) << i;
    }
    EXPECT_EQ(z.Col[5], 0);
    EXPECT_EQ(GridOfZnak(z).cells, g.cells);
    // No cell set: Count 0, stored like any other.
    const TZnak empty = ComposeZnak(ZnakGrid{}, 12, 0);
    EXPECT_EQ(empty.Count, 0);
    ClassifierEditorModel m;
    m.CurrentZnak = empty;
    EXPECT_TRUE(m.StoreZnak());
    ASSERT_EQ(m.ZnakList.size(), 1u);
    EXPECT_EQ(m.ZnakList[0].Count, 0);
}

TEST(ClassifierEditor, SemanticLinesAndTheSearch) {
    EXPECT_EQ(SemanticLine("...жилые", "1010", 1981530, 2, 1, 8, 16777215), "...жилые;1010;1981530;2;1;8;16777215;");
    const std::vector<std::string> lines = {"a;1010;0;1;1;8;0;", "b;1020;0;1;1;8;0;", "c; 1010;0;1;1;8;0;",
                                            "d;1010;5;1;1;8;0;"};
    EXPECT_EQ(LinesWithCode(lines, 1010), (std::vector<std::string>{lines[0], lines[2], lines[3]}));  // blanks before a number are taken
    EXPECT_TRUE(LinesWithCode(lines, 7).empty());
}

TEST(ClassifierEditor, StoringAKnownCodeMovesItToTheEndAndAsksAboutTheFile) {
    const fs::path d = tempDir("store");
    ClassifierEditorModel m;
    std::vector<std::string> said, asked;
    bool answer = true;
    m.tell = [&](const std::string& s) { said.push_back(s); };
    m.ask = [&](const std::string& q) {
        asked.push_back(q);
        return answer;
    };
    m.ZnakList = {znak(1, 1), znak(2, 2), znak(3, 3)};
    WriteZnakFile(d / "k.ris", m.ZnakList);
    m.EditorSymbolFile = d / "k.ris";
    m.CurrentZnak = znak(2, 7);
    ASSERT_TRUE(m.StoreZnak());
    EXPECT_EQ(said, std::vector<std::string>{"Заменен в ZnakList"});
    ASSERT_EQ(m.ZnakList.size(), 3u);
    EXPECT_EQ(m.ZnakList[2].Code, 2);
    EXPECT_EQ(m.ZnakList[2].Count, 7);
    EXPECT_EQ(asked, std::vector<std::string>{"Знак с таким кодом уже есть.Заменить?"});
    // The file's record 1 was replaced in place.
    auto file = ReadZnakFile(d / "k.ris");
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(file[1].Count, 7);
    EXPECT_EQ(m.ZnakIndexPos, 1);
    // No: the list changes, the file does not.
    answer = false;
    m.CurrentZnak = znak(1, 9);
    EXPECT_FALSE(m.StoreZnak());
    EXPECT_EQ(m.ZnakList.back().Count, 9);
    EXPECT_EQ(ReadZnakFile(d / "k.ris")[0].Count, 1);
    // A new code: appended to the file.
    m.CurrentZnak = znak(44, 4);
    ASSERT_TRUE(m.StoreZnak());
    file = ReadZnakFile(d / "k.ris");
    ASSERT_EQ(file.size(), 4u);
    EXPECT_EQ(file[3].Code, 44);
    fs::remove_all(d);
}

TEST(ClassifierEditor, ASymbolFileOfNineHundredRecordsTakesNoNewCode) {
    const fs::path d = tempDir("full");
    std::vector<TZnak> many;
    for (int i = 0; i < 900; ++i) many.push_back(znak(10000 + i, 1));
    WriteZnakFile(d / "full.ris", many);
    const auto before = readWholeFile(d / "full.ris");
    ClassifierEditorModel m;
    std::vector<std::string> said;
    m.tell = [&](const std::string& s) { said.push_back(s); };
    m.ask = [](const std::string&) { return true; };
    m.EditorSymbolFile = d / "full.ris";
    m.CurrentZnak = znak(5, 2);
    EXPECT_FALSE(m.StoreZnak());
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("900"), std::string::npos) << said[0];
    EXPECT_EQ(readWholeFile(d / "full.ris"), before);
    EXPECT_TRUE(m.ZnakList.empty());
    // A code among the first 900 is still replaced, the 900th too.
    m.CurrentZnak = znak(10005, 6);
    EXPECT_TRUE(m.StoreZnak());
    EXPECT_EQ(ReadZnakFile(d / "full.ris")[5].Count, 6);
    m.CurrentZnak = znak(10899, 7);
    EXPECT_TRUE(m.StoreZnak());
    const std::vector<TZnak> back = ReadZnakFile(d / "full.ris");
    ASSERT_EQ(back.size(), 900u);
    EXPECT_EQ(back[899].Count, 7);
    fs::remove_all(d);
}

TEST(ClassifierEditor, LoadSaveNewAndBrowse) {
    const fs::path d = tempDir("files");
    WriteListFile(d / "a.smn", {utf8ToCp1251("Деревья...;0;0;1;1;8;0;"), utf8ToCp1251("...отдельные;2402;0;1;1;8;0;")});
    std::vector<TZnak> recs;
    for (int i = 0; i < 905; ++i) recs.push_back(znak(i == 3 ? 2402 : 100 + i, 1));
    WriteZnakFile(d / "a.ris", recs);
    ClassifierEditorModel m;
    std::vector<std::string> said;
    m.tell = [&](const std::string& s) { said.push_back(s); };
    m.Load(d / "a.smn");
    EXPECT_EQ(m.Lines.size(), 2u);
    EXPECT_EQ(m.ZnakList.size(), 905u);  // every record, not only the first 900
    EXPECT_EQ(m.EditorSymbolFile, d / "a.ris");
    EXPECT_EQ(m.ZnakIndexPos, 0);
    // Browsing.
    ASSERT_NE(m.Step(1), nullptr);
    EXPECT_EQ(m.ZnakIndexPos, 1);
    EXPECT_EQ(m.Step(-1)->Code, 100);
    EXPECT_EQ(m.Step(-1), nullptr);
    EXPECT_EQ(said, std::vector<std::string>{"Первый рисунок."});
    EXPECT_EQ(m.Step(1)->Code, 100);  // from -1 back to the first
    m.ZnakIndexPos = 904;
    EXPECT_EQ(m.Step(1), nullptr);
    EXPECT_EQ(said.back(), "Последний рисунок.");
    EXPECT_EQ(m.Step(-1)->Code, 100 + 904);  // back to the last
    // A code stored twice: "Показать рисунок" ends on the last.
    m.ZnakList.push_back(znak(2402, 9));
    const TZnak* z = m.Show(2402);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->Count, 9);
    EXPECT_EQ(m.ZnakIndexPos, 905);
    // Saved under a new name: the whole list; under an existing name the
    // ".ris" stays as it was.
    const fs::path written = m.Save(d / "b");
    EXPECT_EQ(written, d / "b.smn");
    EXPECT_EQ(ReadListFile(d / "b.smn"), m.Lines);
    EXPECT_EQ(ReadZnakFile(d / "b.ris").size(), 906u);
    // A list loaded without a symbol file beside it keeps the symbols.
    WriteListFile(d / "c.smn", {utf8ToCp1251("Вода;1891;0;1;1;8;0;")});
    m.Load(d / "c.smn");
    EXPECT_EQ(m.Lines.size(), 1u);
    EXPECT_EQ(m.ZnakList.size(), 906u);
    EXPECT_EQ(m.EditorSymbolFile, d / "c.ris");
    m.ZnakIndexPos = 7;
    m.Load(d / "a.smn");
    EXPECT_EQ(m.ZnakList.size(), 905u);
    EXPECT_EQ(m.ZnakIndexPos, 0);  // browsing starts again from the first
    m.ZnakList.push_back(znak(2402, 9));
    const auto aRis = readWholeFile(d / "a.ris");
    m.Save(d / "a.smn");
    EXPECT_EQ(readWholeFile(d / "a.ris"), aRis);
    m.New();
    EXPECT_TRUE(m.Lines.empty());
    EXPECT_TRUE(m.ZnakList.empty());
    EXPECT_TRUE(m.EditorSymbolFile.empty());
    fs::remove_all(d);
}
