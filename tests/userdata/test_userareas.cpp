#include "common/CommandOutput.h"
#include "app/UserAreaForm.h"
#include "common/SmallMapFixture.h"
#include "userdata/UserAreas.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

using namespace dm;
using A = DialogPort::Answer;
namespace fs = std::filesystem;

namespace {
using Pts = std::vector<QPoint>;

// One area record written out byte by byte, with different first and
// second copies of the brush colour and the pen width.
const std::vector<uint8_t> kArea = {
    0x09, 0x00, 0x00, 0x00,                          // Number 9 (renumbered)
    0x02, 0x00, 0x00, 0x00, 0x01, 'Z',               // Name "Z"
    0x06, 0x00, 0x00, 0x00, 0x05, 'A', 'r', 'i', 'a', 'l',  // FontName
    0x01, 0x00,                                      // Bold, Italic
    0xFF, 0x00, 0x00, 0x00,                          // FontColor 0xFF
    0x0A,                                            // FontSize 10
    0x01, 0x00, 0x00, 0x00, 0x00,                    // Note ""
    0x07,                                            // Figure: square
    0x00, 0x00, 0xFF, 0x00,                          // PenColor 0xFF0000
    0x11, 0x00, 0x00, 0x00,                          // BrushColor, first copy 0x11
    0xFF, 0xFF, 0x00, 0x00,                          // BrushColor, second copy 0xFFFF
    0x05, 0x00, 0x00, 0x00,                          // PenWidth, first copy 5
    0x03, 0x00, 0x00, 0x00,                          // PenWidth, second copy 3
    0x01, 0x00, 0x00, 0x00,                          // PointCount 1
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X 1.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y 2.0
    0x01, 0x00, 0x00, 0x00,                          // LineCount 1
    0x03, 0x00, 0x00, 0x00, 0x02, 'o', 'k',          // "ok"
};
}  // namespace

TEST(UserAreas, TheFileWithItsDoubledFields) {
    std::vector<AreaRef> areas;
    BinReader r(kArea.data(), kArea.size(), "a.dat");
    LoadUserAreas(r, areas);
    ASSERT_EQ(areas.size(), 1u);
    const TRovd& a = *areas[0];
    EXPECT_EQ(a.Number, 0);
    EXPECT_EQ(a.Name, "Z");
    EXPECT_EQ(a.FontName, "Arial");
    EXPECT_EQ(a.Bold, 1);
    EXPECT_EQ(a.Italic, 0);
    EXPECT_EQ(a.FontColor, 0xFF);
    EXPECT_EQ(a.FontSize, 10);
    EXPECT_EQ(a.Note, "");
    EXPECT_EQ(a.Figure, 7);
    EXPECT_EQ(a.PenColor, 0xFF0000);
    EXPECT_EQ(a.BrushColor, 0xFFFF);  // the later copies win
    EXPECT_EQ(a.PenWidth, 3);
    ASSERT_EQ(a.Points.size(), 1u);
    EXPECT_EQ(a.Points[0].X, 1.0);
    EXPECT_EQ(a.Points[0].Y, 2.0);
    EXPECT_EQ(a.Lines, std::vector<std::string>{"ok"});
    // Written back: both copies the same.
    const fs::path d = fs::temp_directory_path() / ("dm_areas_" + std::to_string(::getpid()));
    fs::create_directories(d);
    areas[0]->Number = 9;
    SaveUserAreas(d / "b.dat", areas);
    std::vector<uint8_t> expected = kArea;
    expected[37] = 0xFF;
    expected[38] = 0xFF;  // first brush copy = 0xFFFF
    expected[45] = 0x03;  // first pen width copy = 3
    EXPECT_EQ(readWholeFile(d / "b.dat"), expected);
    std::vector<AreaRef> back;
    LoadUserAreas(d / "b.dat", back);
    EXPECT_EQ(back[0]->BrushColor, 0xFFFF);
    EXPECT_EQ(back[0]->PenWidth, 3);
    fs::remove_all(d);
}

TEST(UserAreas, NoteLinesLongerThanSeventyNineAreCutOnReading) {
    // The same record with a second note line of 90 letters "q".
    std::vector<uint8_t> bytes = kArea;
    bytes[bytes.size() - 11] = 0x02;  // LineCount 2
    bytes.insert(bytes.end(), {91, 0x00, 0x00, 0x00, 90});
    bytes.insert(bytes.end(), 90, uint8_t('q'));
    std::vector<AreaRef> areas;
    BinReader r(bytes.data(), bytes.size(), "a.dat");
    LoadUserAreas(r, areas);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0]->Lines, (std::vector<std::string>{"ok", std::string(79, 'q')}));
}

TEST(UserAreas, FiguresBuiltFromThreeClicksWorkedByHand) {
    // P0 (100, 100), P1 (200, 100): alpha 0; P2 below the line: beta points
    // down (+row); size 20.
    const QPoint p0(100, 100), p1(200, 100), below(150, 150), above(150, 50);
    EXPECT_EQ(BuildFigure(7, p0, p1, below, 20), (Pts{{100, 100}, {120, 100}, {120, 120}, {100, 120}, {100, 100}}));
    EXPECT_EQ(BuildFigure(7, p0, p1, above, 20), (Pts{{100, 100}, {120, 100}, {120, 80}, {100, 80}, {100, 100}}));
    EXPECT_EQ(BuildFigure(3, p0, p1, below, 20), (Pts{{100, 100}, {120, 100}, {120, 115}, {100, 115}, {100, 100}}));
    EXPECT_EQ(BuildFigure(4, p0, p1, below, 20), (Pts{{100, 100}, {120, 100}, {110, 120}, {100, 100}}));
    EXPECT_EQ(BuildFigure(5, p0, p1, below, 20), (Pts{{100, 120}, {120, 100}}));
    // The pentagon of side 20 on P0-K1, turning by 108 degrees from
    // alpha + 180: (126.18, 80.98), (109.82, 69.24), (93.82, 80.76),
    // (100.18, 100.02) after rounding each step.
    EXPECT_EQ(BuildFigure(6, p0, p1, below, 20),
              (Pts{{100, 100}, {120, 100}, {126, 81}, {110, 69}, {94, 81}, {100, 100}}));
    EXPECT_TRUE(BuildFigure(0, p0, p1, below, 20).empty());
    // A slanted base: P0 (0, 0), P1 (30, 40), alpha = atan2(40, 30); size 10:
    // K1 = (6, 8); P2 to the left of the walk, beta = alpha - 90 degrees.
    EXPECT_EQ(BuildFigure(7, QPoint(0, 0), QPoint(30, 40), QPoint(0, 60), 10),
              (Pts{{0, 0}, {6, 8}, {-2, 14}, {-8, 6}, {0, 0}}));
    // A base rising to the right (alpha 349.80 degrees) and P2 below it
    // (gamma 81.63): A = alpha + 180 = 529.80 lies above G + 360 = 441.63, so
    // s = -88.16 and G = 441.63 - 90 + 88.16 = 439.80: beta 79.80 degrees,
    // down the screen.  Worked with the Part's degrees, minutes and seconds.
    const QPoint q0(100, 100), q1(200, 82), under(210, 150), over(190, 20);
    EXPECT_EQ(BuildFigure(7, q0, q1, under, 20), (Pts{{100, 100}, {120, 96}, {124, 116}, {104, 120}, {100, 100}}));
    EXPECT_EQ(BuildFigure(3, q0, q1, under, 20), (Pts{{100, 100}, {120, 96}, {123, 111}, {103, 115}, {100, 100}}));
    EXPECT_EQ(BuildFigure(4, q0, q1, under, 20), (Pts{{100, 100}, {120, 96}, {114, 118}, {100, 100}}));
    EXPECT_EQ(BuildFigure(5, q0, q1, under, 20), (Pts{{104, 120}, {120, 96}}));
    // P2 above it (gamma 260.84): s = 91.04, beta 259.80 degrees, up.
    EXPECT_EQ(BuildFigure(7, q0, q1, over, 20), (Pts{{100, 100}, {120, 96}, {116, 76}, {96, 80}, {100, 100}}));
    EXPECT_EQ(BuildFigure(3, q0, q1, over, 20), (Pts{{100, 100}, {120, 96}, {117, 81}, {97, 85}, {100, 100}}));
}

TEST(UserAreas, TheNameStandsBesideTheLastVertexAndACircleHasNoLineThroughIt) {
    // One pixel a metre: the point (X, Y) is the pixel (Y, 1000 - X).
    MapView view;
    view.Scale = 1;
    view.ViewXMin = 0;
    view.ViewXMax = 1000;
    view.ViewYMin = 0;
    view.ViewYMax = 1000;
    auto at = [](int col, int row) { return TXY{1000.0 - row, double(col)}; };
    auto inkNear = [](const QImage& img, QPoint p, int w, int h) {
        int n = 0;
        for (int y = p.y(); y < p.y() + h; ++y)
            for (int x = p.x(); x < p.x() + w; ++x) n += img.pixel(x, y) == qRgb(0, 0, 0);
        return n;
    };
    TRovd a;
    a.Figure = FigureRectangle;
    a.Name = utf8ToCp1251("ЖЖЖ");
    a.FontName = "Arial";
    a.FontSize = 12;
    a.FontColor = 0;
    a.PenColor = 0x0000FF;    // red
    a.BrushColor = 0x00FFFF;  // yellow
    a.PenWidth = 1;
    a.Points = {at(100, 100), at(300, 100), at(300, 200), at(100, 400)};
    QImage img(1000, 1000, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawUserArea(p, a, view);
    }
    EXPECT_GT(inkNear(img, {105, 400}, 60, 25), 20);  // beside (100, 400)
    EXPECT_EQ(inkNear(img, {105, 100}, 60, 25), 0);
    // A circle of the corners (100, 500) and (300, 700): filled, no outline
    // drawn from corner to corner through its middle.
    TRovd c = a;
    c.Figure = FigureCircle;
    c.Name.clear();
    c.Points = {at(100, 500), at(300, 700)};
    {
        QPainter p(&img);
        DrawUserArea(p, c, view);
    }
    EXPECT_EQ(img.pixel(200, 600), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(150, 550), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(100, 600), qRgb(255, 0, 0));  // its rim
}

TEST(UserAreas, AnAreaWithAVertexThatIsNotANumberIsNotShown) {
    MapView v;
    v.ViewXMax = 1000;
    v.ViewXMin = 0;
    v.ViewYMin = 0;
    v.ViewYMax = 1000;
    v.Scale = 1;
    TRovd a;
    a.Name = "A";
    a.Figure = 7;
    a.BrushColor = 0x0000FF;
    a.Points = {{900, 100}, {900, 200}, {std::nan(""), 200}, {800, 100}, {900, 100}};
    QImage img(300, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage white = img;
    {
        QPainter p(&img);
        EXPECT_TRUE(DrawUserArea(p, a, v).empty());
    }
    EXPECT_EQ(img, white);
    a.Points[2].X = 800;
    {
        QPainter p(&img);
        EXPECT_EQ(DrawUserArea(p, a, v).size(), 5u);
    }
    EXPECT_NE(img, white);
}

namespace {
class UserAreaFormTest : public SmallMapFixture {
protected:
    UserAreaForm& form() { return *w_->userAreaForm(); }
};
}  // namespace

TEST_F(UserAreaFormTest, CreateShowSaveLoadAndDeleteAreas) {
    // The form sets the shared name font at start.
    EXPECT_EQ(w_->names().NameFont.Face, "MS Sans Serif");
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = form();
    EXPECT_TRUE(f.isVisible());
    f.pushButton("CreaRvdButton")->click();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Введите название.")});
    f.nameEdit()->setText(QStringLiteral("Склад"));
    f.note()->setPlainText(QStringLiteral("первая строка\n") + QString(100, QChar(u'ж')));
    f.figureButton(5)->setChecked(true);  // square
    f.figureSize()->setValue(40);
    f.pushButton("CreaRvdButton")->click();
    EXPECT_TRUE(ws().modes.UserAreaDrawMode);
    click({500, 500});
    move({560, 500});
    click({600, 500});
    move({560, 560});
    click({560, 560});
    EXPECT_FALSE(ws().modes.UserAreaDrawMode);
    // The square below the base: (500,500)-(540,540), filled yellow.
    EXPECT_EQ(ws().view.image.pixel(520, 520), qRgb(255, 255, 0));
    EXPECT_EQ(ws().view.image.pixel(520, 560), qRgb(255, 255, 255));
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    const TRovd& a = *f.UserAreas[0];
    EXPECT_EQ(cp1251ToUtf8(a.Name), "Склад");
    EXPECT_EQ(a.Figure, 7);
    ASSERT_EQ(a.Points.size(), 5u);
    EXPECT_EQ(toPixel(a.Points[2].X, a.Points[2].Y), QPoint(540, 540));
    ASSERT_EQ(a.Lines.size(), 2u);
    EXPECT_EQ(a.Lines[1].size(), 79u);  // cut to 79
    EXPECT_EQ(a.FontName, "MS Sans Serif");
    EXPECT_EQ(f.list()->count(), 1);
    EXPECT_TRUE(f.UserAreasModified);
    // Shown after a redraw: figure, outline and name.
    act("ShowButton")->trigger();
    ASSERT_EQ(ws().view.image.pixel(520, 520), qRgb(255, 255, 255));
    f.list()->item(0)->setSelected(true);
    f.toolButton("ShowRovdButton")->click();
    EXPECT_EQ(ws().view.image.pixel(520, 520), qRgb(255, 255, 0));
    EXPECT_EQ(f.nameEdit()->text(), QStringLiteral("Склад"));
    EXPECT_EQ(ws().map.EditPoints.size(), 5u);
    // Blinking draws the outline in red or yellow.
    f.toolButton("BlickRovdButton")->click();
    f.tick();
    // Save and load: renumbered, the same area.
    const fs::path dat = dir_ / "areas";
    dialogs_.files = {QString::fromStdString(dat.string()), QString::fromStdString(dat.string())};
    f.pushButton("SaveRvdButton")->click();
    EXPECT_FALSE(f.UserAreasModified);
    EXPECT_TRUE(fs::exists(dir_ / "areas.dat"));
    f.pushButton("LoadButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    EXPECT_EQ(f.UserAreas[0]->Points.size(), 5u);
    EXPECT_EQ(cp1251ToUtf8(f.UserAreas[0]->Name), "Склад");
    // Delete: nothing selected, then the area.
    f.list()->clearSelection();
    f.toolButton("DelButton")->click();
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Укажите, что удалить.")));
    f.list()->item(0)->setSelected(true);
    f.toolButton("DelButton")->click();
    EXPECT_TRUE(f.UserAreas.empty());
    EXPECT_EQ(f.list()->count(), 0);
    EXPECT_EQ(f.findChild<QListWidget*>(QStringLiteral("ListBox2"))->count(), 0);  // its number line too
    // Ctrl+Z brings the area back into both lists, Ctrl+Y deletes it again;
    // the load before dropped the step that stored it.
    act("UndoAction")->trigger();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    EXPECT_EQ(f.UserAreas[0]->Points.size(), 5u);
    ASSERT_EQ(f.list()->count(), 1);
    EXPECT_EQ(f.list()->item(0)->text(), QStringLiteral("Склад"));
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    EXPECT_FALSE(ws().map.MapModified);
    act("RedoAction")->trigger();
    EXPECT_TRUE(f.UserAreas.empty());
    EXPECT_EQ(f.list()->count(), 0);
    EXPECT_TRUE(f.UserAreasModified);
    dialogs_.answers = {A::No};
    f.close();
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения?")});
    EXPECT_FALSE(f.isVisible());
}

TEST_F(UserAreaFormTest, NamesCutFontsKeptAndTheFirstOfTwoNumbersShown) {
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = form();
    auto store = [&](const QString& name, QPoint base) {
        f.nameEdit()->setText(name);
        f.figureButton(5)->setChecked(true);
        f.figureSize()->setValue(20);
        f.pushButton("CreaRvdButton")->click();
        click(base);
        click(base + QPoint(40, 0));
        click(base + QPoint(20, 30));
        f.pushButton("ListRvdButton")->click();
    };
    // A bold italic font: both go to the areas stored after it.
    QFont bi(QStringLiteral("Arial"));
    bi.setBold(true);
    bi.setItalic(true);
    bi.setPointSize(11);
    dialogs_.fonts.push_back(std::make_pair(bi, QColor(0, 0, 255)));
    f.chooseFont();
    store(QString(70, QChar(u'я')), {100, 100});
    ASSERT_EQ(f.UserAreas.size(), 1u);
    EXPECT_EQ(f.UserAreas[0]->Name, std::string(60, '\xFF'));  // 60 of 70
    EXPECT_EQ(f.UserAreas[0]->Bold, 1);
    EXPECT_EQ(f.UserAreas[0]->Italic, 1);
    EXPECT_EQ(f.UserAreas[0]->FontSize, 11);
    EXPECT_EQ(f.UserAreas[0]->FontColor, 0xFF0000);  // blue as 0x00BBGGRR
    // Numbers as the count: after a deletion the next area takes the
    // number of one that stays; showing that number shows the first.
    store(QStringLiteral("Склад"), {300, 100});
    f.list()->clearSelection();
    f.list()->item(0)->setSelected(true);
    f.toolButton("DelButton")->click();
    store(QStringLiteral("Гараж"), {500, 100});
    ASSERT_EQ(f.UserAreas.size(), 2u);
    ASSERT_EQ(f.UserAreas[1]->Number, 1);
    f.list()->clearSelection();
    f.list()->item(1)->setSelected(true);  // "Гараж", number 1
    f.toolButton("ShowRovdButton")->click();
    EXPECT_EQ(f.nameEdit()->text(), QStringLiteral("Склад"));
    EXPECT_EQ(f.CurrentUserArea, f.UserAreas[0]);
    dialogs_.answers = {A::No};
    f.close();
}

TEST_F(UserAreaFormTest, CoincidingClicksAskForTheFigureAgain) {
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = form();
    f.nameEdit()->setText(QStringLiteral("Пост"));
    f.figureButton(5)->setChecked(true);
    f.figureSize()->setValue(40);
    f.pushButton("CreaRvdButton")->click();
    // The second click on the first: no direction for the figure.
    click({500, 500});
    click({500, 500});
    click({560, 560});
    EXPECT_EQ(dialogs_.texts("message"),
              QStringList{QStringLiteral("Точки фигуры совпадают: укажите три разные точки.")});
    EXPECT_TRUE(ws().modes.UserAreaDrawMode);
    EXPECT_EQ(ws().modes.ClickCount, 0);
    EXPECT_TRUE(ws().map.EditPoints.empty());
    // The third on the second: the same.
    click({500, 500});
    click({600, 500});
    click({600, 500});
    EXPECT_EQ(dialogs_.texts("message").size(), 2);
    EXPECT_TRUE(ws().modes.UserAreaDrawMode);
    // Three distinct clicks: the square.
    click({500, 500});
    click({600, 500});
    click({560, 560});
    EXPECT_FALSE(ws().modes.UserAreaDrawMode);
    EXPECT_EQ(ws().view.image.pixel(520, 520), qRgb(255, 255, 0));
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    EXPECT_EQ(f.UserAreas[0]->Points.size(), 5u);
    dialogs_.answers = {A::No};
    f.close();
}

TEST_F(UserAreaFormTest, NotePrintedToPdfAndTheClosingQuestion) {
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = form();
    f.nameEdit()->setText(QStringLiteral("Склад"));
    f.note()->setPlainText(QStringLiteral("ворота с севера\nключ у сторожа"));
    const fs::path pdf = dir_ / "note.pdf";
    dialogs_.onPrinter = [&pdf](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    f.pushButton("PrnButton")->click();
    const std::string text = commandOutput("pdftotext -enc UTF-8 " + pdf.string() + " -");
    EXPECT_NE(text.find("Склад"), std::string::npos) << text;
    EXPECT_NE(text.find("ворота с севера"), std::string::npos) << text;
    EXPECT_NE(text.find("ключ у сторожа"), std::string::npos) << text;
    // An area, then closing: Cancel keeps the form, Yes asks for the file
    // and saves it with the extension set.
    f.figureButton(1)->setChecked(true);
    f.pushButton("CreaRvdButton")->click();
    click({300, 300});
    click({400, 300});
    click({350, 350});
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    dialogs_.answers = {A::Cancel};
    f.close();
    EXPECT_TRUE(f.isVisible());
    dialogs_.answers = {A::Yes};
    dialogs_.files = {QString::fromStdString((dir_ / "places.txt").string())};
    f.close();
    EXPECT_FALSE(f.isVisible());
    std::vector<AreaRef> back;
    LoadUserAreas(dir_ / "places.dat", back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(back[0]->Name), "Склад");
    EXPECT_EQ(back[0]->Lines, (std::vector<std::string>{utf8ToCp1251("ворота с севера"), utf8ToCp1251("ключ у сторожа")}));
}
