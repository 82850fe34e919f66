#include "common/CommandOutput.h"
#include "app/UserTableDialog.h"
#include "common/SmallMapFixture.h"
#include "userdata/UserTable.h"

#include <QPainter>
#include <QPushButton>
#include <QTableWidget>

#include <QPrinter>

#include <cstdio>
#include <cstring>
#include <fstream>

using namespace dm;
namespace fs = std::filesystem;

namespace {
fs::path tempDir(const char* name) {
    fs::path d = fs::temp_directory_path() / ("dm_table_" + std::string(name) + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
std::string text(const fs::path& p) {
    const auto b = readWholeFile(p);
    return std::string(b.begin(), b.end());
}
}  // namespace

TEST(UserTable, NewAndSmallTablesAsTheirFileLines) {
    const fs::path d = tempDir("save");
    SaveUserTable(d / "new.txt", UserTable::New());
    EXPECT_EQ(text(d / "new.txt"), "5\r\n1\r\n64\r\n" + utf8ToCp1251("Номер") + "\r\n\r\n\r\n\r\n\r\n");
    // 3 rows, 2 columns: 2 + 2 * 4 lines, the first column before the second.
    UserTable t;
    t.cells = {{"A", "a1", "a2"}, {"B", "b1", "b2"}};
    t.widths = {40, 120};
    SaveUserTable(d / "small.txt", t);
    EXPECT_EQ(text(d / "small.txt"), "3\r\n2\r\n40\r\nA\r\na1\r\na2\r\n120\r\nB\r\nb1\r\nb2\r\n");
    UserTable back = UserTable::New();
    LoadUserTable(d / "small.txt", back);
    EXPECT_EQ(back.cells, t.cells);
    EXPECT_EQ(back.widths, t.widths);
    // LF alone is read too.
    std::ofstream(d / "lf.txt", std::ios::binary) << "2\n1\n30\nX\nx1\n";
    LoadUserTable(d / "lf.txt", back);
    EXPECT_EQ(back.cells, (std::vector<std::vector<std::string>>{{"X", "x1"}}));
    EXPECT_EQ(back.widths, std::vector<int>{30});
    fs::remove_all(d);
}

TEST(UserTable, ACountThatIsNotANumberStopsTheLoad) {
    const fs::path d = tempDir("bad");
    std::ofstream(d / "bad.txt", std::ios::binary) << "3\r\nдва\r\nA\r\nB\r\n";
    UserTable t = UserTable::New();
    try {
        LoadUserTable(d / "bad.txt", t);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("строка 2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t.rows(), 3);  // what was read before stays
    fs::remove_all(d);
}

TEST(UserTable, ColumnsWiderThanThePageAreScaledToIt) {
    // 2000 + 4000 on a page of 3000: half size, the rule between them at
    // x = 1000, the table ending at the page's edge.
    UserTable t;
    t.cells = {{"A", "1"}, {"B", "2"}};
    t.widths = {2000, 4000};
    QImage page(3200, 1000, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        PrintUserTable(p, 3000, "", t, {});
    }
    EXPECT_EQ(page.pixel(1000, 300), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(2000, 300), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(2999, 160), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(3100, 160), qRgb(255, 255, 255));
}

TEST(UserTable, MissingEmptyCellsAtTheEndOfTheFileAreEmptyCells) {
    // Three rows, two columns; the last column's two cells were empty lines
    // that an editor dropped.  Lines missing before the last column's cells
    // still stop the load.
    const fs::path d = tempDir("short");
    std::ofstream(d / "short.txt", std::ios::binary) << "3\r\n2\r\n64\r\nA\r\nB\r\nC\r\n40\r\nT";
    UserTable t = UserTable::New();
    LoadUserTable(d / "short.txt", t);
    ASSERT_EQ(t.columns(), 2);
    ASSERT_EQ(t.rows(), 3);
    EXPECT_EQ(t.cells[0], (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(t.cells[1], (std::vector<std::string>{"T", "", ""}));
    EXPECT_EQ(t.widths, (std::vector<int>{64, 40}));
    std::ofstream(d / "cut.txt", std::ios::binary) << "3\r\n2\r\n64\r\nA\r\nB\r\n";
    UserTable u = UserTable::New();
    EXPECT_THROW(LoadUserTable(d / "cut.txt", u), FileError);
    fs::remove_all(d);
}

TEST(UserTable, RowsFitTheirPitchOfEightyPixelsAt1200Dpi) {
    // One column 100 wide on a page 2000 wide (k = 20); rows 1 and 2 at
    // y = 460 and 540: the first row's text must end before the second begins.
    UserTable t;
    t.cells = {{"N", "ЖЖЖ", "ЖЖЖ", "ЖЖЖ"}};
    for (auto& c : t.cells[0]) c = utf8ToCp1251(c);
    t.widths = {100};
    QImage page(2000, 1000, QImage::Format_RGB32);
    page.setDotsPerMeterX(47244);  // 1200 dpi
    page.setDotsPerMeterY(47244);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        PrintUserTable(p, 2000, "T", t, {});
    }
    auto inkInRow = [&](int y) {
        int n = 0;
        for (int x = 13; x < 600; ++x) n += qGray(page.pixel(x, y)) < 128;
        return n;
    };
    int inkRows = 0;
    for (int y = 460; y < 536; ++y) inkRows += inkInRow(y) > 0;
    EXPECT_GT(inkRows, 20);  // the text is there, and of some size
    for (int y = 537; y < 540; ++y) EXPECT_EQ(inkInRow(y), 0) << y;
    for (int y = 617; y < 640; ++y) EXPECT_EQ(inkInRow(y), 0) << y;
}

TEST(UserTable, CountsBeyondTheFileAreRefusedBeforeTheTableIsMade) {
    // A million rows and a million columns in a file of five lines: refused
    // at once (no table of 10^12 cells), the table as it was.
    const fs::path d = tempDir("huge");
    std::ofstream(d / "huge.txt", std::ios::binary) << "1000000\r\n1000000\r\n64\r\nA\r\nB\r\n";
    std::ofstream(d / "rows.txt", std::ios::binary) << "3\r\n1000000\r\n64\r\nA\r\nB\r\nC\r\n";
    for (const char* f : {"huge.txt", "rows.txt"}) {
        UserTable t = UserTable::New();
        try {
            LoadUserTable(d / f, t);
            FAIL() << f;
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("кончился раньше времени"), std::string::npos) << e.what();
        }
        EXPECT_EQ(t.columns(), 1) << f;
        EXPECT_LE(t.rows(), 5) << f;
    }
    fs::remove_all(d);
}

TEST(UserTable, PrintedOnPagesOfOneHundredThenOneHundredAndOne) {
    UserTable t;
    t.cells = {std::vector<std::string>(251), std::vector<std::string>(251)};
    t.cells[0][0] = "N";
    t.widths = {100, 200};
    for (int r = 1; r <= 250; ++r) t.cells[0][size_t(r)] = std::to_string(r);
    QImage page(3000, 30000, QImage::Format_RGB32);
    page.fill(Qt::white);
    int pages = 1;
    {
        QPainter p(&page);
        PrintUserTable(p, 3000, "T", t, [&pages] { ++pages; });
    }
    EXPECT_EQ(pages, 3);  // 100, 101 and 49 rows
    // 201 data rows fill two pages exactly; the 202nd starts a third.
    for (const int rows : {201, 202}) {
        UserTable u;
        u.cells = {std::vector<std::string>(size_t(rows) + 1)};
        u.widths = {100};
        int n = 1;
        QImage small(300, 300, QImage::Format_RGB32);
        QPainter p(&small);
        PrintUserTable(p, 300, "", u, [&n] { ++n; });
        EXPECT_EQ(n, rows == 201 ? 2 : 3) << rows;
    }
    // k = 3000 / 300 = 10: the second column's rule at x = 1000.
    EXPECT_EQ(page.pixel(1000, 5000), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(0, 160), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(2999, 160), qRgb(0, 0, 0));
}

TEST(UserTable, TheRulesOfEachPageLieWhereTheyBelong) {
    // Two columns 100 and 200 wide on a page 3000 wide: k = 10, the rules
    // at x = 0 and 1000, the table 3000 wide.  The image is wider than the
    // page so that a rule at the table's right edge would show.
    auto ink = [](const QImage& img, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += qGray(img.pixel(x, y)) < 128;
        return n;
    };
    {
        // Ten data rows on one page: the last row 20 lower, the final rule
        // at (10 + 1) * 80 + 380 + 2k = 1280.
        UserTable t;
        t.cells = {std::vector<std::string>(11), std::vector<std::string>(11)};
        t.widths = {100, 200};
        QImage page(3200, 2000, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter p(&page);
            PrintUserTable(p, 3000, "", t, {});
        }
        EXPECT_EQ(page.pixel(1500, 1280), qRgb(0, 0, 0));
        EXPECT_EQ(ink(page, 1200, 1262, 2900, 1278), 0);  // nothing between the last row and the rule
        for (int y : {160, 280, 380}) EXPECT_EQ(page.pixel(2500, y), qRgb(0, 0, 0)) << y;
        // Vertical rules at 0 and 1000 from 160 down to 11 * 80 + 400 = 1280;
        // none at the right edge.
        EXPECT_EQ(page.pixel(1000, 170), qRgb(0, 0, 0));
        EXPECT_EQ(page.pixel(1000, 1270), qRgb(0, 0, 0));
        EXPECT_EQ(ink(page, 1000, 1290, 1000, 1900), 0);
        EXPECT_EQ(ink(page, 3001, 170, 3199, 1270), 0);
        EXPECT_EQ(ink(page, 3000, 400, 3000, 1270), 0);
    }
    {
        // 150 data rows: the second page (the first one wiped at the page
        // break) has its header rules at 260 and 360, vertical rules from
        // 260 to (151 - 100) * 80 + 400 = 4480, and the final rule at
        // (49 + 1) * 80 + 380 + 20 = 4400.
        UserTable t;
        t.cells = {std::vector<std::string>(151), std::vector<std::string>(151)};
        t.widths = {100, 200};
        QImage page(3200, 14000, QImage::Format_RGB32);
        page.fill(Qt::white);
        int breaks = 0;
        {
            QPainter p(&page);
            PrintUserTable(p, 3000, "", t, [&] {
                ++breaks;
                p.fillRect(page.rect(), Qt::white);
            });
        }
        EXPECT_EQ(breaks, 1);
        for (int y : {260, 360, 4400}) EXPECT_EQ(page.pixel(2500, y), qRgb(0, 0, 0)) << y;
        EXPECT_EQ(ink(page, 2400, 150, 2600, 250), 0);  // no rule at 160 on this page
        EXPECT_EQ(page.pixel(1000, 4470), qRgb(0, 0, 0));
        EXPECT_EQ(ink(page, 1000, 4490, 1000, 13000), 0);
        EXPECT_EQ(ink(page, 0, 4490, 3199, 13900), 0);
    }
}

namespace {
class UserTableWindowTest : public SmallMapFixture {};
}  // namespace

TEST_F(UserTableWindowTest, AddColumnsAndRowsSaveAndLoadThroughTheWindow) {
    const fs::path file = dir_ / "table.txt";
    dialogs_.inputs = {QStringLiteral("Адрес"), QStringLiteral("120"), QStringLiteral("Склад"), QStringLiteral("ш")};
    dialogs_.files = {QString::fromStdString(file.string()), QString::fromStdString(file.string())};
    dialogs_.onDialog = [this](QDialog& dlg) {
        auto& d = dynamic_cast<UserTableDialog&>(dlg);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Форма пользователя"));
        EXPECT_EQ(d.grid()->columnCount(), 1);
        EXPECT_EQ(d.grid()->rowCount(), 4);
        d.button("AddColumnButton")->click();
        EXPECT_EQ(d.grid()->columnWidth(1), 120);
        // A width that is not a number: said; the column stays, as wide as a new one.
        d.button("AddColumnButton")->click();
        EXPECT_EQ(d.grid()->columnCount(), 3);
        EXPECT_EQ(d.grid()->horizontalHeaderItem(2)->text(), QStringLiteral("Склад"));
        d.button("DelColumnButton")->click();
        d.button("AddRowButton")->click();
        d.grid()->setItem(4, 1, new QTableWidgetItem(QStringLiteral("Навои, 12")));
        d.button("SaveButton")->click();
        // The bottom row and the right column go; the first data row stays.
        d.grid()->setItem(1, 0, new QTableWidgetItem(QStringLiteral("первая")));
        d.button("DelColumnButton")->click();
        d.button("DelRowButton")->click();
        EXPECT_EQ(d.grid()->columnCount(), 1);
        EXPECT_EQ(d.grid()->rowCount(), 4);
        EXPECT_TRUE(d.grid()->item(1, 0) && d.grid()->item(1, 0)->text() == QStringLiteral("первая"));
        dialogs_.answers = {DialogPort::Answer::No};  // the edits since the save go
        d.button("OpenButton")->click();
        EXPECT_EQ(d.grid()->columnCount(), 2);
        EXPECT_EQ(d.grid()->item(4, 1)->text(), QStringLiteral("Навои, 12"));
        EXPECT_EQ(d.grid()->horizontalHeaderItem(1)->text(), QStringLiteral("Адрес"));
        EXPECT_EQ(d.grid()->columnWidth(0), 64);  // the widths as loaded
        EXPECT_EQ(d.grid()->columnWidth(1), 120);
        return int(QDialog::Accepted);
    };
    act("TableButton")->trigger();
    EXPECT_EQ(dialogs_.texts("input"), (QStringList{QStringLiteral("Название столбца|"), QStringLiteral("Ширина столбца|"),
                                                    QStringLiteral("Название столбца|"), QStringLiteral("Ширина столбца|")}));
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("«ш» — не целое число.")))
        << dialogs_.texts("message").join(QLatin1Char('|')).toStdString();
    UserTable t;
    LoadUserTable(file, t);
    EXPECT_EQ(t.rows(), 6);
    EXPECT_EQ(t.columns(), 2);
    EXPECT_EQ(t.widths[1], 120);
    EXPECT_EQ(cp1251ToUtf8(t.cells[1][5]), "Навои, 12");
}

TEST_F(UserTableWindowTest, AFailedLoadLeavesTheGridAsItWas) {
    const fs::path bad = dir_ / "bad.txt";
    std::ofstream(bad, std::ios::binary) << "3\r\n2\r\n40\r\nA\r\na1\r\na2\r\nширокая\r\n";
    dialogs_.onDialog = [this, &bad](QDialog& dlg) {
        auto& d = dynamic_cast<UserTableDialog&>(dlg);
        d.grid()->setItem(1, 0, new QTableWidgetItem(QStringLiteral("моё")));
        // "Загрузить" over edits not saved asks first: Cancel does nothing,
        // Yes without a file chosen neither, No loads.
        dialogs_.answers = {DialogPort::Answer::Cancel, DialogPort::Answer::Yes, DialogPort::Answer::No};
        dialogs_.files = {std::nullopt, QString::fromStdString(bad.string())};
        d.button("OpenButton")->click();
        d.button("OpenButton")->click();
        EXPECT_TRUE(dialogs_.texts("open").isEmpty());
        d.button("OpenButton")->click();
        EXPECT_EQ(dialogs_.texts("question3").size(), 3);
        EXPECT_EQ(dialogs_.texts("open").size(), 1);
        EXPECT_EQ(d.grid()->columnCount(), 1);
        EXPECT_EQ(d.grid()->rowCount(), 4);
        EXPECT_EQ(d.grid()->item(1, 0)->text(), QStringLiteral("моё"));
        return int(QDialog::Accepted);
    };
    act("TableButton")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QString::fromStdString(bad.string()))) << dialogs_.texts("message")[0].toStdString();
}

TEST_F(UserTableWindowTest, TwoHundredFiftyRowsPrintOnThreePdfPages) {
    const fs::path pdf = dir_ / "table.pdf";
    dialogs_.onPrinter = [&pdf](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    dialogs_.inputs = {QStringLiteral("Адреса")};
    dialogs_.onDialog = [](QDialog& dlg) {
        auto& d = dynamic_cast<UserTableDialog&>(dlg);
        UserTable t;
        t.cells = {std::vector<std::string>(251), std::vector<std::string>(251)};
        t.widths = {64, 64};
        t.cells[0][1] = "   1";  // set out as the column numbers are
        d.setTable(t);
        d.button("PrintButton")->click();
        return int(QDialog::Accepted);
    };
    act("TableButton")->trigger();
    const std::string info = commandOutput("pdfinfo " + pdf.string());
    EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
    // The first page's words with their boxes: the column numbers 1 and 2
    // stand 5 printer pixels into their columns, the cells' text 13: the
    // number "1" begins 8 pixels (0.48 pt at 1200 dpi) left of the cell's.
    const std::string page = commandOutput("pdftotext -bbox -f 1 -l 1 " + pdf.string() + " -");
    struct Word {
        double x, y;
        std::string text;
    };
    std::vector<Word> words;
    for (size_t at = page.find("<word "); at != std::string::npos; at = page.find("<word ", at + 1)) {
        const size_t gt = page.find('>', at), end = page.find("</word>", gt);
        const std::string attrs = page.substr(at, gt - at);
        auto attr = [&](const char* name) { return std::stod(attrs.substr(attrs.find(name) + std::strlen(name) + 2)); };
        words.push_back({attr("xMin"), attr("yMin"), page.substr(gt + 1, end - gt - 1)});
    }
    std::vector<Word> ones, twos;
    for (const Word& w : words) {
        if (w.text == "1") ones.push_back(w);
        if (w.text == "2") twos.push_back(w);
        EXPECT_NE(w.text, "0");  // the columns are numbered from 1
    }
    ASSERT_EQ(ones.size(), 2u) << page;
    ASSERT_EQ(twos.size(), 1u) << page;
    const Word& number = ones[0].y < ones[1].y ? ones[0] : ones[1];
    const Word& cell = ones[0].y < ones[1].y ? ones[1] : ones[0];
    EXPECT_NEAR(number.x - cell.x, -8 * 72.0 / 1200, 0.05);
    EXPECT_NEAR(twos[0].y, number.y, 0.01);
}

TEST_F(UserTableWindowTest, ClosingWithEditsNotSavedAsksFirst) {
    const fs::path file = dir_ / "kept.txt";
    dialogs_.onDialog = [&](QDialog& dlg) {
        auto& d = dynamic_cast<UserTableDialog&>(dlg);
        d.show();
        // Nothing edited: closes without a question.
        d.button("CloseBitBtn")->click();
        EXPECT_FALSE(d.isVisible());
        EXPECT_TRUE(dialogs_.texts("question3").isEmpty());
        d.show();
        d.grid()->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Юнусабад")));
        // Cancel: stays open with the edit.
        dialogs_.answers = {DialogPort::Answer::Cancel};
        d.button("CloseBitBtn")->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения?")});
        // Yes, but no file chosen: still open.
        dialogs_.answers = {DialogPort::Answer::Yes};
        dialogs_.files = {std::nullopt};
        d.reject();
        EXPECT_TRUE(d.isVisible());
        // Yes with a file: saved, then closed.
        dialogs_.answers = {DialogPort::Answer::Yes};
        dialogs_.files = {QString::fromStdString(file.string())};
        d.close();
        EXPECT_FALSE(d.isVisible());
        // Saved: closing again asks nothing; a width dragged is an edit too.
        d.show();
        d.button("CloseBitBtn")->click();
        EXPECT_EQ(dialogs_.texts("question3").size(), 3);
        d.show();
        d.grid()->setColumnWidth(0, 90);
        dialogs_.answers = {DialogPort::Answer::No};
        d.button("CloseBitBtn")->click();
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(dialogs_.texts("question3").size(), 4);
        return int(QDialog::Accepted);
    };
    act("TableButton")->trigger();
    // The file as written: 5 rows, 1 column, width 64, the title and the edit.
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, "5\r\n1\r\n64\r\n\xcd\xee\xec\xe5\xf0\r\n\xde\xed\xf3\xf1\xe0\xe1\xe0\xe4\r\n\r\n\r\n\r\n");
}
