// The stops window through the real window.

#include "app/StopsWindow.h"
#include "common/SmallMapFixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <cmath>
#include <limits>

using namespace dm;
namespace fs = std::filesystem;
using A = DialogPort::Answer;

namespace {
class StopsWindowTest : public SmallMapFixture {
protected:
    StopsWindow& stops() { return *w_->stopsWindow(); }
    void selectOnly(int row) {
        for (int i = 0; i < stops().list()->count(); ++i) stops().list()->item(i)->setSelected(i == row);
    }
};
}  // namespace

TEST_F(StopsWindowTest, CreateShowCorrectDeleteAndSaveStops) {
    act("OstnvMenu")->trigger();
    StopsWindow& s = stops();
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(s.windowTitle(), QStringLiteral("OstnvFrm"));
    EXPECT_FALSE(s.pushButton("Button2")->isEnabled());
    // No name: the message.
    s.pushButton("CreaOstButton")->click();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Введите название остановки.")});
    // A stop: name and routes, a click on the map, "Запомнить".
    s.edit(1)->setText(QStringLiteral("Чорсу"));
    s.edit(2)->setText(QStringLiteral("12, 45"));
    s.edit(5)->setText(QStringLiteral("Чорсу"));
    s.pushButton("CreaOstButton")->click();
    EXPECT_TRUE(ws().modes.StopPlaceMode);
    EXPECT_TRUE(s.pushButton("Button2")->isEnabled());
    EXPECT_FALSE(s.pushButton("CreaOstButton")->isEnabled());
    click({500, 500});
    EXPECT_FALSE(ws().modes.StopPlaceMode);
    EXPECT_EQ(ws().view.image.pixel(497, 500), qRgb(255, 0, 0));  // the mark
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.Stops.size(), 1u);
    EXPECT_EQ(toPixel(s.Stops[0]->X, s.Stops[0]->Y), QPoint(500, 500));
    EXPECT_EQ(s.Stops[0]->Number, 0);
    EXPECT_TRUE(s.StopsModified);
    EXPECT_TRUE(s.pushButton("CreaOstButton")->isEnabled());
    // A second one, then the list (sorted) and a look-up.
    s.edit(1)->setText(QStringLiteral("Алайский"));
    s.edit(2)->setText(QStringLiteral("3"));
    s.pushButton("CreaOstButton")->click();
    click({300, 700});
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.list()->count(), 2);
    EXPECT_EQ(s.list()->item(0)->text(), QStringLiteral("Алайский; 1"));
    EXPECT_EQ(s.list()->item(1)->text(), QStringLiteral("Чорсу; 0"));
    selectOnly(1);
    s.listClicked();
    EXPECT_EQ(s.edit(6)->text(), QStringLiteral("12, 45"));
    EXPECT_EQ(s.edit(9)->text(), QStringLiteral("Чорсу"));
    // Show: a yellow square, the stop in EditPoints; blinking.
    s.toolButton("ShowButton")->click();
    EXPECT_EQ(ws().view.image.pixel(497, 500), qRgb(255, 255, 0));
    ASSERT_EQ(ws().map.EditPoints.size(), 1u);
    EXPECT_EQ(ws().map.EditPoints[0].PX, 500);
    s.toolButton("BlickButton")->click();
    EXPECT_TRUE(s.blinking());
    s.tick();
    const QRgb c = ws().view.image.pixel(497, 500);
    EXPECT_TRUE(c == qRgb(255, 0, 0) || c == qRgb(255, 255, 0));
    // Correct: one line only.
    selectOnly(-1);
    s.toolButton("KorrButton")->click();
    selectOnly(0);
    s.list()->item(1)->setSelected(true);
    s.toolButton("KorrButton")->click();
    s.toolButton("DelButton")->click();
    EXPECT_EQ(dialogs_.texts("message").mid(1),
              (QStringList{QStringLiteral("Укажите остановку."), QStringLiteral("Укажите одну остановку."),
                           QStringLiteral("Укажите одну остановку.")}));
    selectOnly(1);
    s.listClicked();
    s.edit(7)->setText(QStringLiteral("5"));
    s.toolButton("KorrButton")->click();
    EXPECT_EQ(s.Stops[0]->TramRoutes, "5");
    // Save, then delete and close with the question.
    s.pushButton("SaveButton")->click();
    EXPECT_FALSE(s.StopsModified);
    std::vector<StopRef> back;
    LoadStops(dir_ / "Darvent" / "ostanov.dat", back);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(cp1251ToUtf8(back[0]->Name), "Чорсу");
    selectOnly(0);
    s.toolButton("DelButton")->click();
    EXPECT_EQ(s.Stops.size(), 1u);
    ASSERT_EQ(s.list()->count(), 1);
    EXPECT_EQ(s.list()->item(0)->text(), QStringLiteral("Чорсу; 0"));  // the selected row went
    // Ctrl+Z in the main window: the stop back in its place, then the
    // correction taken back; the map untouched.  Ctrl+Y does both again.
    ASSERT_TRUE(act("UndoAction")->isEnabled());
    act("UndoAction")->trigger();
    ASSERT_EQ(s.Stops.size(), 2u);
    EXPECT_EQ(cp1251ToUtf8(s.Stops[1]->Name), "Алайский");
    EXPECT_EQ(s.Stops[1]->BusRoutes, "3");
    EXPECT_EQ(toPixel(s.Stops[1]->X, s.Stops[1]->Y), QPoint(300, 700));
    EXPECT_EQ(s.Stops[0]->TramRoutes, "5");
    ASSERT_EQ(s.list()->count(), 2);
    EXPECT_EQ(s.list()->item(0)->text(), QStringLiteral("Алайский; 1"));
    act("UndoAction")->trigger();
    EXPECT_EQ(s.Stops[0]->TramRoutes, "");
    EXPECT_EQ(s.Stops[0]->BusRoutes, "12, 45");
    EXPECT_TRUE(s.StopsModified);
    EXPECT_FALSE(ws().map.MapModified);
    act("RedoAction")->trigger();
    EXPECT_EQ(s.Stops[0]->TramRoutes, "5");
    act("RedoAction")->trigger();
    ASSERT_EQ(s.Stops.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(s.Stops[0]->Name), "Чорсу");
    EXPECT_EQ(s.list()->count(), 1);
    EXPECT_FALSE(act("RedoAction")->isEnabled());
    dialogs_.answers = {A::Cancel};
    s.close();
    EXPECT_TRUE(s.isVisible());
    dialogs_.answers = {A::No};
    s.close();
    EXPECT_FALSE(s.isVisible());
    // Shown again: the stops are read from the file, renumbered; the steps
    // of the stops read before are gone.
    act("OstnvMenu")->trigger();
    EXPECT_EQ(s.Stops.size(), 2u);
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    EXPECT_FALSE(s.blinking());
}

TEST_F(StopsWindowTest, FieldLengthsListLinesBlinkingAndTheFilesReadAgain) {
    // Three stops in the file, the first name 70 letters long; two metro stations.
    std::vector<StopRef> file;
    for (const char* name : {"", "Бешагач", "Алмазар"}) {
        auto st = std::make_shared<TOstnv>();
        st->Name = *name ? utf8ToCp1251(name) : std::string(70, '\xE0');  // "а" x 70
        st->BusRoutes = utf8ToCp1251(std::string("маршрут ") + (*name ? name : "длинный"));
        const TXY at = toMap({200 + 100 * int(file.size()), 300});
        st->X = at.X;
        st->Y = at.Y;
        file.push_back(st);
    }
    SaveStops(dir_ / "Darvent" / "ostanov.dat", file);
    std::vector<TMetro> metro(2);
    metro[0].Name = utf8ToCp1251("Чорсу");
    metro[1].Name = utf8ToCp1251("Айбек");
    const TXY m = toMap({600, 600});
    metro[0].X = metro[1].X = m.X;
    metro[0].Y = metro[1].Y = m.Y;
    SaveMetro(dir_ / "Darvent" / "metro.dat", metro);
    act("OstnvMenu")->trigger();
    StopsWindow& s = stops();
    ASSERT_EQ(s.list()->count(), 3);
    auto lines = [&] {
        QStringList l;
        for (int i = 0; i < s.list()->count(); ++i) l << s.list()->item(i)->text();
        return l;
    };
    auto selectLine = [&](const QString& start) {
        for (int i = 0; i < s.list()->count(); ++i)
            s.list()->item(i)->setSelected(s.list()->item(i)->text().startsWith(start));
    };
    // Sorted, letter case ignored; 60 letters kept of the long name.
    EXPECT_EQ(lines(), (QStringList{QString(60, QChar(u'а')) + QStringLiteral("; 0"), QStringLiteral("Алмазар; 2"),
                                    QStringLiteral("Бешагач; 1")}));
    // The metro circle: 4 pixels round the station.
    s.toolButton("SpeedButton1")->click();
    EXPECT_EQ(ws().view.image.pixel(596, 600), qRgb(255, 0, 0));
    EXPECT_EQ(ws().view.image.pixel(600, 604), qRgb(255, 0, 0));
    // Two stops shown: the last one shown is the one that blinks, red on
    // odd phases and yellow on even ones.
    for (int i = 0; i < 3; ++i) s.list()->item(i)->setSelected(i > 0);
    s.toolButton("ShowButton")->click();
    ASSERT_EQ(ws().map.EditPoints.size(), 1u);
    const QPoint last(ws().map.EditPoints[0].PX, ws().map.EditPoints[0].PY);
    EXPECT_TRUE(last == QPoint(400, 300) || last == QPoint(300, 300));
    s.toolButton("BlickButton")->click();
    ws().view.BlinkPhase = 0;
    s.tick();
    EXPECT_EQ(ws().view.image.pixel(last.x() - 3, last.y()), qRgb(255, 0, 0));
    s.tick();
    EXPECT_EQ(ws().view.image.pixel(last.x() - 3, last.y()), qRgb(255, 255, 0));
    s.toolButton("BlickButton")->click();
    // A correction cuts the routes to 20 characters and the nearest metro to 40.
    selectLine(QStringLiteral("Алмазар"));
    s.listClicked();
    s.edit(6)->setText(QString(30, QChar(u'1')));
    s.edit(9)->setText(QString(50, QChar(u'м')));
    s.toolButton("KorrButton")->click();
    const StopRef almazar = s.Stops[2];
    EXPECT_EQ(cp1251ToUtf8(almazar->Name), "Алмазар");
    EXPECT_EQ(almazar->BusRoutes, std::string(20, '1'));
    EXPECT_EQ(almazar->NearestMetro, std::string(40, '\xEC'));
    // A new stop: its name cut to 60, its routes to 20, numbered by the
    // count of stops.
    s.edit(1)->setText(QString(70, QChar(u'б')));
    s.edit(2)->setText(QString(30, QChar(u'2')));
    s.edit(5)->setText(QString(50, QChar(u'н')));
    s.pushButton("CreaOstButton")->click();
    click({700, 700});
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.Stops.size(), 4u);
    EXPECT_EQ(s.Stops[3]->Name, std::string(60, '\xE1'));
    EXPECT_EQ(s.Stops[3]->BusRoutes, std::string(20, '2'));
    EXPECT_EQ(s.Stops[3]->NearestMetro, std::string(40, '\xED'));
    // Of two stops with one number the list line finds the first: after a
    // deletion the next new stop takes a number already held.
    selectLine(QStringLiteral("Бешагач; 1"));
    s.toolButton("DelButton")->click();
    ASSERT_EQ(s.Stops.size(), 3u);
    s.edit(1)->setText(QStringLiteral("Новая"));
    s.edit(2)->setText(QStringLiteral("99"));
    s.pushButton("CreaOstButton")->click();
    click({750, 750});
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.Stops.back()->Number, 3);  // as the long-named new one
    selectLine(QString(QChar(u'б')));
    s.listClicked();
    EXPECT_EQ(s.edit(6)->text(), QString(20, QChar(u'2')));
    // Closed and opened again: the stations are read anew, not added to;
    // without ostanov.dat the stops stay as they are.
    dialogs_.answers = {A::No};
    s.close();
    fs::remove(dir_ / "Darvent" / "ostanov.dat");
    act("OstnvMenu")->trigger();
    EXPECT_EQ(s.MetroStations.size(), 2u);
    EXPECT_EQ(s.Stops.size(), 4u);
    EXPECT_EQ(s.list()->count(), 4);
    dialogs_.answers = {A::No};
    s.close();
}

TEST_F(StopsWindowTest, MetroStationsShownInRed) {
    std::vector<TMetro> metro(1);
    metro[0].Name = utf8ToCp1251("Чорсу");
    const TXY at = toMap({400, 400});
    metro[0].X = at.X;
    metro[0].Y = at.Y;
    SaveMetro(dir_ / "Darvent" / "metro.dat", metro);
    act("OstnvMenu")->trigger();
    ASSERT_EQ(stops().MetroStations.size(), 1u);
    stops().toolButton("SpeedButton1")->click();
    EXPECT_EQ(ws().view.image.pixel(400, 400), qRgb(255, 0, 0));
    ASSERT_EQ(ws().map.EditPoints.size(), 1u);
    stops().close();
}

TEST_F(StopsWindowTest, StopsAndStationsAtPointsThatAreNotNumbersAreNotShown) {
    // Both kept as read (the list names the stop); neither marked on the
    // map, where the point would stand at the picture's corner.
    const double nan = std::nan("");
    std::vector<TMetro> metro(2);
    metro[0].Name = utf8ToCp1251("Чорсу");
    const TXY at = toMap({400, 400});
    metro[0].X = at.X;
    metro[0].Y = at.Y;
    metro[1].Name = utf8ToCp1251("Айбек");
    metro[1].X = metro[1].Y = nan;
    SaveMetro(dir_ / "Darvent" / "metro.dat", metro);
    auto stop = std::make_shared<TOstnv>();
    stop->Name = utf8ToCp1251("Алайский");
    stop->X = nan;
    stop->Y = nan;
    SaveStops(dir_ / "Darvent" / "ostanov.dat", {stop});
    act("OstnvMenu")->trigger();
    ASSERT_EQ(stops().MetroStations.size(), 2u);
    ASSERT_EQ(stops().list()->count(), 1);
    EXPECT_EQ(stops().list()->item(0)->text(), QStringLiteral("Алайский; 0"));
    const QImage before = ws().view.image;
    selectOnly(0);
    stops().toolButton("ShowButton")->click();
    EXPECT_EQ(ws().view.image, before);
    stops().toolButton("SpeedButton1")->click();
    EXPECT_EQ(ws().view.image.pixel(400, 400), qRgb(255, 0, 0));
    EXPECT_EQ(ws().map.EditPoints.size(), 1u);
    EXPECT_NE(ws().view.image.pixel(1, 1), qRgb(255, 0, 0));
    stops().close();
}

TEST_F(StopsWindowTest, RememberBeforeTheClickOnTheMapStoresNothing) {
    act("OstnvMenu")->trigger();
    StopsWindow& s = stops();
    s.edit(1)->setText(QStringLiteral("Бешагач"));
    s.pushButton("CreaOstButton")->click();
    // "Запомнить" before the place is given: a message, no stop at the origin.
    s.pushButton("Button2")->click();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Укажите место остановки на карте.")});
    EXPECT_TRUE(s.Stops.empty());
    EXPECT_FALSE(s.StopsModified);
    // The click, then "Запомнить": stored where clicked.
    click({250, 350});
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.Stops.size(), 1u);
    EXPECT_EQ(toPixel(s.Stops[0]->X, s.Stops[0]->Y), QPoint(250, 350));
    // A second "Запомнить" without a new stop and a new click adds nothing.
    s.pushButton("Button2")->click();
    EXPECT_EQ(s.Stops.size(), 1u);
    dialogs_.answers = {A::No};
    s.close();
}

TEST_F(StopsWindowTest, ClosingWithYesSavesTheStops) {
    act("OstnvMenu")->trigger();
    StopsWindow& s = stops();
    s.edit(1)->setText(QStringLiteral("Бешагач"));
    s.edit(3)->setText(QStringLiteral("7"));
    s.pushButton("CreaOstButton")->click();
    click({250, 350});
    s.pushButton("Button2")->click();
    dialogs_.answers = {A::Yes};
    s.close();
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения?")});
    std::vector<StopRef> back;
    LoadStops(dir_ / "Darvent" / "ostanov.dat", back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(back[0]->Name), "Бешагач");
    EXPECT_EQ(back[0]->TramRoutes, "7");
}
