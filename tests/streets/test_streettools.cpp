// Every item of the menu "Улицы", the street list dialog and the house form,
// driven through the real window with scripted dialogs.

#include "app/AddressField.h"
#include "app/HouseForm.h"
#include "app/RouteInfoWindow.h"
#include "routing/RoadNetwork.h"
#include "routing/RouteTool.h"
#include "app/StreetListDialog.h"
#include "common/SmallMapFixture.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>

using namespace dm;
using A = DialogPort::Answer;

namespace {

// The small map with three streets (positions in pixels of the view):
// 0 "Ленина, улица" / "Навои, улица", name at (100,150)-(250,150), axis
//   (100,200)-(400,200), houses "12а" (5 floors), "3" and another "12а";
// 1 "Абая, тупик", name at (500,150)-(650,150), axis (500,250)-(700,250);
// 2 "Бобура, улица", name at (100,850)-(100,700), axis (80,700)-(80,1000).
class StreetsTest : public SmallMapFixture {
protected:
    void writeCompanions() override {
        auto add = [&](const char* oldU, const char* newU, QPoint a, QPoint b, std::vector<QPoint> axis) {
            auto s = std::make_shared<Trues>();
            s->StreetNo = int32_t(file_.size());
            s->OldName = utf8ToCp1251(oldU);
            s->NewName = utf8ToCp1251(newU);
            const TXY p = toMap(a), q = toMap(b);
            s->X1 = p.X;
            s->Y1 = p.Y;
            s->X2 = q.X;
            s->Y2 = q.Y;
            for (QPoint k : axis) s->Axis.push_back(toMap(k));
            file_.push_back(s);
            return s;
        };
        auto lenina = add("Ленина, улица", "Навои, улица", {100, 150}, {250, 150}, {{100, 200}, {400, 200}});
        auto house = [&](const char* n, QPoint at, int floors, const char* note) {
            TDom h;
            h.setNomer(utf8ToCp1251(n));
            const TXY p = toMap(at);
            h.X = p.X;
            h.Y = p.Y;
            h.Etage = uint8_t(floors);
            h.DopInf = utf8ToCp1251(note);
            lenina->Houses.push_back(h);
        };
        house("12а", {150, 190}, 5, "аптека");
        house("3", {250, 190}, 2, "");
        house("12а", {350, 190}, 9, "второй");
        add("Абая, тупик", "", {500, 150}, {650, 150}, {{500, 250}, {700, 250}});
        add("Бобура, улица", "", {100, 850}, {100, 700}, {{80, 700}, {80, 1000}});
        SaveStreets(dir_ / "Darvent" / fileName(), file_);
    }
    virtual const char* fileName() const { return "darvent.rue"; }
    StreetTools& tools() { return w_->streetTools(); }
    std::vector<StreetRef>& streets() { return w_->streets().Streets; }
    std::string oldName(int i) { return cp1251ToUtf8(streets()[size_t(i)]->OldName); }
    void load() {
        act("RueLoad")->trigger();
        ASSERT_EQ(streets().size(), 3u);
    }
    // The street list dialog: run `inside` on it, then OK or Cancel.
    void withStreetList(std::function<void(StreetListDialog&)> inside, bool ok = true) {
        dialogs_.onDialog = [inside, ok](QDialog& d) {
            auto* list = qobject_cast<StreetListDialog*>(&d);
            EXPECT_NE(list, nullptr);
            if (list) inside(*list);
            return ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
    }
    static void clickRow(StreetListDialog& d, int row) {
        QTableView* g = d.grid();
        const QRect r = g->visualRect(d.model()->index(row, 0));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }
    bool itemOn(const char* id) { return act(id)->isEnabled(); }
    bool axisMenuOn() { return w_->actions().menu("RueKorAxeMenu")->menuAction()->isEnabled(); }
    int inkIn(QRect r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += ws().view.image.pixel(x, y) != qRgb(255, 255, 255);
        return n;
    }
    std::vector<QPoint> axisPixels(const Trues& s) {
        std::vector<QPoint> out;
        for (const TXY& p : s.Axis) out.push_back(toPixel(p.X, p.Y));
        return out;
    }
    std::vector<StreetRef> file_;
};

const char* const kLoadedItems[] = {"RueShowAll", "ShowRueAxe",    "RueNazFind",  "RueKarta", "RueSortNew",
                                    "RueSortOld", "RueChangeMenu", "RueKorrMenu", "RueSave",  "RueNewCreaMenu"};

}  // namespace

TEST_F(StreetsTest, MenuInOrderAndAvailableItemsBeforeLoading) {
    QStringList items;
    for (QAction* a : w_->actions().menu("RueMenu")->actions())
        if (!a->isSeparator()) items << a->text();
    EXPECT_EQ(items, (QStringList{"Загрузить", "Показать все", "Искать название", "Показать на карте",
                                  "Переместить название", "Корректировать название", "Показать ось",
                                  "Корректировать ось", "Изменить шрифт", "Дома", "Сортировка по новым",
                                  "Сортировка по старым", "Удалить", "Создать новую", "Сохранить", "Отмена"}));
    EXPECT_FALSE(act("RueDoma")->isVisible());  // hidden in the delivered menu
    EXPECT_TRUE(itemOn("RueLoad"));
    EXPECT_TRUE(itemOn("RueOtmena"));
    for (const char* id : kLoadedItems) EXPECT_FALSE(itemOn(id)) << id;
    for (const char* id : {"RueShriftChange", "RueDelete", "RueDoma"}) EXPECT_FALSE(itemOn(id)) << id;
    for (const char* id : {"RueAxeMovePoint", "RueAxeInsert"}) EXPECT_TRUE(itemOn(id)) << id;  // in the closed submenu
    EXPECT_FALSE(axisMenuOn());
}

TEST_F(StreetsTest, LoadingEnablesTheMenuAndShowAllWritesTheNames) {
    act("MapNamesItem")->setChecked(true);
    load();
    EXPECT_EQ(oldName(0), "Ленина, улица");
    EXPECT_EQ(ws().files.StreetsFileName, dir_ / "Darvent" / "darvent.rue");
    for (const char* id : kLoadedItems) EXPECT_TRUE(itemOn(id)) << id;
    EXPECT_FALSE(itemOn("RueLoad"));
    EXPECT_FALSE(act("MapNamesItem")->isChecked());
    EXPECT_FALSE(itemOn("RueDelete"));  // no street found yet
    EXPECT_EQ(w_->streets().StreetListOrder, StreetOrder::Old);
    // "Показать все": the names along their baselines.
    const QRect name0(100, 150, 140, 20), name1(500, 150, 120, 20);
    ASSERT_EQ(inkIn(name0), 0);
    act("RueShowAll")->trigger();
    EXPECT_GT(inkIn(name0), 30);
    EXPECT_GT(inkIn(name1), 30);
    EXPECT_GT(inkIn(QRect(85, 700, 20, 150)), 15);  // upward along the third street
}

TEST_F(StreetsTest, OpeningTheMenuLoadsWhenThereAreNoStreets) {
    w_->actions().menu("RueMenu")->aboutToShow();
    EXPECT_EQ(streets().size(), 3u);
    EXPECT_EQ(panel(4), QString());
    // Without a map: "Нет карты.".
    ws().files.MapFileName.clear();
    streets().clear();
    tools().RueLoadClick();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Нет карты.")});
    EXPECT_TRUE(streets().empty());
}

TEST_F(StreetsTest, AnEmptyStreetsFileLeavesTheMenuAsItWas) {
    SaveStreets(dir_ / "Darvent" / "darvent.rue", {});
    act("RueLoad")->trigger();
    EXPECT_TRUE(streets().empty());
    EXPECT_TRUE(itemOn("RueLoad"));
    EXPECT_FALSE(itemOn("RueShowAll"));
    EXPECT_FALSE(itemOn("RueSave"));
    tools().RueSaveClick();
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Улицы не загружены.")));
}

TEST_F(StreetsTest, ADamagedStreetsFileIsReportedAndTheStreetsBeforeStay) {
    auto bytes = readWholeFile(dir_ / "Darvent" / "darvent.rue");
    bytes.resize(bytes.size() - 3);  // the last street ends early
    {
        std::FILE* f = std::fopen((dir_ / "Darvent" / "darvent.rue").c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    act("RueLoad")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("darvent.rue")));
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("смещение")));
    EXPECT_EQ(streets().size(), 2u);
}

TEST_F(StreetsTest, FindByAxisShowsTheNamesAndBlinksTheAxis) {
    load();
    act("RueNazFind")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите ось улицы."));
    click({300, 600});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Улица не найдена")});
    EXPECT_TRUE(ws().modes.StreetFindByAxisMode);
    dialogs_.names.push_back(std::nullopt);
    click({250, 202});
    EXPECT_EQ(dialogs_.texts("names"), QStringList{QStringLiteral("Навои, улица|Ленина, улица")});
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[0]);
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    EXPECT_FALSE(ws().view.blink.BlinkAsPoints);
    EXPECT_EQ(ws().map.EditPoints.size(), 2u);
    EXPECT_EQ(QPoint(ws().map.EditPoints[1].PX, ws().map.EditPoints[1].PY), QPoint(400, 200));
    for (const char* id : {"RueShriftChange", "RueDelete"}) EXPECT_TRUE(itemOn(id)) << id;
    EXPECT_TRUE(axisMenuOn());
    EXPECT_EQ(panel(4), QString());
    EXPECT_FALSE(ws().modes.StreetFindByAxisMode);
}

TEST_F(StreetsTest, ShowOnMapAfterEachSort) {
    load();
    withStreetList([](StreetListDialog& d) {
        QHeaderView* h = d.grid()->horizontalHeader();
        EXPECT_EQ(d.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QStringLiteral("                  СТАРОЕ  НАЗВАНИЕ"));
        EXPECT_EQ(d.model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QStringLiteral("                   НОВОЕ  НАЗВАНИЕ"));
        EXPECT_EQ(h->count(), 3);  // the third for streets of the same names
        EXPECT_EQ(d.countLabel()->text(), QStringLiteral("Найдено улиц: 3"));
        EXPECT_EQ(d.findChild<QLabel*>("UpperLabel")->text(), QStringLiteral("Старое"));
        EXPECT_EQ(d.findChild<QLabel*>("LowerLabel")->text(), QStringLiteral("Новое"));
        ASSERT_EQ(d.model()->rowCount(), 3);
        EXPECT_EQ(d.model()->data(d.model()->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Абая, тупик"));
        clickRow(d, 2);  // "Ленина, улица" | "Навои, улица"
        EXPECT_EQ(d.upperEdit()->text(), QStringLiteral("Ленина, улица"));
        EXPECT_EQ(d.lowerEdit()->text(), QStringLiteral("Навои, улица"));
    });
    act("RueKarta")->trigger();
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[0]);
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    for (const char* id : {"RueShriftChange", "RueDelete"}) EXPECT_TRUE(itemOn(id)) << id;
    EXPECT_TRUE(axisMenuOn());
    // By new names: the new name in the upper edit, the old one below.
    act("RueSortNew")->trigger();
    EXPECT_EQ(w_->streets().StreetListOrder, StreetOrder::New);
    withStreetList([](StreetListDialog& d) {
        EXPECT_EQ(d.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QStringLiteral("                   НОВОЕ  НАЗВАНИЕ"));
        EXPECT_EQ(d.findChild<QLabel*>("UpperLabel")->text(), QStringLiteral("Новое"));
        EXPECT_EQ(d.findChild<QLabel*>("LowerLabel")->text(), QStringLiteral("Старое"));
        // Empty new names first, by their old names.
        EXPECT_EQ(d.model()->data(d.model()->index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("Абая, тупик"));
        clickRow(d, 1);
        EXPECT_EQ(d.upperEdit()->text(), QString());
        EXPECT_EQ(d.lowerEdit()->text(), QStringLiteral("Бобура, улица"));
        d.lowerEdit()->setText(QStringLiteral("Абая, тупик"));
    });
    act("RueKarta")->trigger();
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[1]);
    // Not found, or cancelled: nothing else happens.
    withStreetList([](StreetListDialog& d) { d.upperEdit()->setText(QStringLiteral("Нет такой")); });
    act("RueKarta")->trigger();
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[1]);
    withStreetList([](StreetListDialog&) {}, false);
    act("RueKarta")->trigger();
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[1]);
    act("RueSortOld")->trigger();
    EXPECT_EQ(w_->streets().StreetListOrder, StreetOrder::Old);
}

TEST_F(StreetsTest, TypingInTheUpperEditScrollsAndTheSearchFieldFilters) {
    StreetListDialog d(w_.get());
    std::vector<StreetRef> many;
    for (int i = 0; i < 300; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%c%03d, улица", i < 150 ? 'A' : 'B', i);
        many.push_back(std::make_shared<Trues>());
        many.back()->OldName = utf8ToCp1251(name);
        many.back()->NewName = i % 7 == 0 ? utf8ToCp1251("Ёлочная") : std::string();
    }
    d.fill(FillStreetList(many, StreetOrder::Old), StreetOrder::Old);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    // The upper edit has the focus; Tab goes to the lower one, then to the
    // search field.
    d.activateWindow();
    EXPECT_EQ(d.focusWidget(), d.upperEdit());
    QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(d.focusWidget(), d.lowerEdit());
    QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(d.focusWidget(), d.searchField());
    QTableView* g = d.grid();
    ASSERT_EQ(g->rowAt(0), 0);
    QTest::keyClicks(d.upperEdit(), "B1");
    EXPECT_EQ(g->rowAt(0), 150);  // "B150, улица" at the top
    QTest::keyClicks(d.upperEdit(), "7");
    EXPECT_EQ(g->rowAt(0), 170);
    QTest::keyClicks(d.upperEdit(), "x");  // no such row: the grid stays
    EXPECT_EQ(g->rowAt(0), 170);
    d.upperEdit()->clear();
    QTest::keyClicks(d.upperEdit(), "b1");  // letter case counts
    EXPECT_EQ(g->rowAt(0), 170);
    // The search field: part of either name, letter case and ё ignored.
    d.searchField()->setText(QStringLiteral("ЕЛОЧ"));
    EXPECT_EQ(d.model()->rowCount(), 43);
    d.searchField()->clear();
    d.searchField()->setText(QStringLiteral("15"));
    EXPECT_EQ(d.model()->rowCount(), 13);  // 015, 115, 150..159, 215
    EXPECT_EQ(d.countLabel()->text(), QStringLiteral("Найдено улиц: 13"));
    EXPECT_EQ(d.model()->data(d.model()->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("A015, улица"));
    // Down from the search field enters the list at its first row; the
    // keys then move the choice.
    d.searchField()->setFocus();
    QTest::keyClick(d.searchField(), Qt::Key_Down);
    EXPECT_EQ(d.focusWidget(), g);
    EXPECT_EQ(d.upperText(), QStringLiteral("A015, улица"));
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(d.upperText(), QStringLiteral("A115, улица"));
    EXPECT_EQ(d.chosenStreet(), 115);
    // Enter in the search field takes the first row and closes the list.
    d.searchField()->setText(QStringLiteral("B29"));
    d.searchField()->setFocus();
    QTest::keyClick(d.searchField(), Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.upperText(), QStringLiteral("B290, улица"));
    EXPECT_EQ(d.chosenStreet(), 290);
    d.searchField()->clear();
    EXPECT_EQ(d.model()->rowCount(), 300);
}

TEST_F(StreetsTest, MoveAStreetName) {
    load();
    act("RueShowAll")->trigger();
    ASSERT_GT(inkIn(QRect(90, 110, 200, 60)), 5);
    act("RueChangeMenu")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите название улицы."));
    click({300, 600});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Название не найдено")});
    streets()[0]->BoundObject = 4;
    click({102, 152});
    EXPECT_EQ(panel(4), QStringLiteral("Укажите новые начало и конец названия"));
    click({300, 600});
    EXPECT_EQ(panel(4), QStringLiteral("Укажите конец названия"));
    move({400, 660});
    ASSERT_NE(ws().view.image.pixel(350, 630), qRgb(255, 255, 255));  // the rubber band
    click({450, 600});
    EXPECT_EQ(ws().view.image.pixel(350, 630), qRgb(255, 255, 255));  // taken off
    const Trues& s = *streets()[0];
    EXPECT_EQ(toPixel(s.X1, s.Y1), QPoint(300, 600));
    EXPECT_EQ(toPixel(s.X2, s.Y2), QPoint(450, 600));
    EXPECT_EQ(s.BoundObject, -1);
    EXPECT_TRUE(ws().files.StreetsModified);
    EXPECT_FALSE(ws().modes.StreetNameMoveMode);
    EXPECT_EQ(panel(4), QString());
    EXPECT_GT(inkIn(QRect(300, 600, 100, 20)), 30);
    EXPECT_EQ(inkIn(QRect(90, 110, 200, 60)), 0);  // gone from its old place
    // An undo between the two clicks of the next move ends the mode: the
    // name is where the undo put it, and no step of the move is left.
    act("RueChangeMenu")->trigger();
    click({302, 602});
    click({500, 900});
    act("UndoAction")->trigger();
    EXPECT_FALSE(ws().modes.StreetNameMoveMode || ws().modes.StreetNamePlacing);
    EXPECT_EQ(panel(4), QString());
    click({650, 900});
    EXPECT_EQ(toPixel(s.X1, s.Y1), QPoint(100, 150));
    EXPECT_EQ(toPixel(s.X2, s.Y2), QPoint(250, 150));
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    act("RedoAction")->trigger();
    EXPECT_EQ(toPixel(s.X1, s.Y1), QPoint(300, 600));
    EXPECT_EQ(toPixel(s.X2, s.Y2), QPoint(450, 600));
}

TEST_F(StreetsTest, CorrectANameAndChangeTheFont) {
    load();
    act("RueKorrMenu")->trigger();
    dialogs_.names.push_back(std::make_pair(QString(100, QChar(u'ж')), QStringLiteral("Старая, улица")));
    click({501, 151});
    EXPECT_EQ(dialogs_.texts("names"), QStringList{QStringLiteral("|Абая, тупик")});
    const Trues& s = *streets()[1];
    EXPECT_EQ(s.NewName, std::string(80, '\xE6'));
    EXPECT_EQ(cp1251ToUtf8(s.OldName), "Старая, улица");
    EXPECT_TRUE(itemOn("RueShriftChange"));
    EXPECT_TRUE(ws().files.StreetsModified);
    // Cancel: unchanged.
    act("RueKorrMenu")->trigger();
    dialogs_.names.push_back(std::nullopt);
    click({501, 151});
    EXPECT_EQ(cp1251ToUtf8(s.OldName), "Старая, улица");
    // The current name font goes to the street.
    TNameFont& f = w_->names().NameFont;
    f.Face = "Times New Roman Cyr Extra Long Face";
    f.Bold = true;
    f.Italic = false;
    f.Size = 14;
    f.Color = 0x0000FF;
    act("RueShriftChange")->trigger();
    EXPECT_EQ(s.FontName, "Times New Roman Cyr Extra");
    EXPECT_EQ(s.Bold, 1);
    EXPECT_EQ(s.Italic, 0);
    EXPECT_EQ(s.FontSize, 14);
    EXPECT_EQ(s.FontColor, 0x0000FF);
    EXPECT_FALSE(itemOn("RueShriftChange"));
}

TEST_F(StreetsTest, ShowTheAxisByTheNameThenMoveAnAxisPoint) {
    load();
    act("ShowRueAxe")->trigger();
    click({300, 600});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Улица не найдена")});
    click({100, 150});
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[0]);
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    EXPECT_TRUE(axisMenuOn());
    EXPECT_TRUE(itemOn("RueShriftChange"));
    EXPECT_FALSE(itemOn("RueDelete"));
    StreetRef moved = streets()[0];
    act("RueAxeMovePoint")->trigger();
    EXPECT_TRUE(ws().modes.StreetAxisVertexMode);
    EXPECT_EQ(ws().view.image.pixel(400, 198), qRgb(255, 0, 0));  // a red circle on the point
    click({300, 600});
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Точка не найдена")));
    click({402, 201});
    EXPECT_EQ(ws().modes.EditStep, 6);
    ws().view.image.setPixel(250, 200, qRgb(0, 0, 0));  // ink on the old axis: erased in white
    const QImage before = ws().view.image;
    move({410, 240});
    move({420, 260});
    click({420, 260});
    EXPECT_EQ(axisPixels(*moved), (std::vector<QPoint>{{100, 200}, {420, 260}}));
    // Moved to the end of the list; the new axis in blue.
    EXPECT_EQ(streets().back(), moved);
    EXPECT_EQ(streets()[0]->StreetNo, 1);
    EXPECT_EQ(ws().view.image.pixel(260, 230), qRgb(0, 0, 255));
    EXPECT_EQ(ws().view.image.pixel(250, 200), qRgb(255, 255, 255));
    EXPECT_FALSE(axisMenuOn());
    EXPECT_TRUE(ws().files.StreetsModified);
    EXPECT_FALSE(ws().modes.StreetAxisVertexMode);
    // A click over two axis points takes the last of them.
    moved->Axis.push_back(toMap({422, 261}));
    act("ShowRueAxe")->trigger();
    click({100, 150});
    act("RueAxeMovePoint")->trigger();
    click({421, 260});
    click({500, 300});
    EXPECT_EQ(axisPixels(*moved), (std::vector<QPoint>{{100, 200}, {420, 260}, {500, 300}}));
    // Saved, it is written last.
    act("RueSave")->trigger();
    EXPECT_FALSE(ws().files.StreetsModified);
    std::vector<StreetRef> back;
    LoadStreets(dir_ / "Darvent" / "darvent.rue", back);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(cp1251ToUtf8(back[2]->OldName), "Ленина, улица");
    EXPECT_EQ(back[2]->Houses.size(), 3u);
    // An undo between picking a point and placing it ends the move.
    act("RueAxeMovePoint")->trigger();
    click({501, 301});
    ASSERT_EQ(ws().modes.EditStep, 6);
    act("UndoAction")->trigger();
    EXPECT_FALSE(ws().modes.StreetAxisVertexMode);
    EXPECT_EQ(ws().modes.EditStep, 0);
    const std::vector<QPoint> undone = axisPixels(*moved);
    click({600, 400});
    EXPECT_EQ(axisPixels(*moved), undone);
}

TEST_F(StreetsTest, DeleteAStreet) {
    load();
    streets()[1]->StreetNo = 0;  // a number as stored need not be its place
    act("ShowRueAxe")->trigger();
    click({500, 150});
    withStreetList([](StreetListDialog& d) {
        d.upperEdit()->setText(QStringLiteral("Абая, тупик"));
        d.lowerEdit()->clear();
    });
    act("RueKarta")->trigger();
    ASSERT_TRUE(itemOn("RueDelete"));
    act("RueDelete")->trigger();
    EXPECT_TRUE(dialogs_.texts("question").isEmpty());  // no question
    ASSERT_EQ(streets().size(), 2u);
    EXPECT_EQ(oldName(0), "Ленина, улица");
    EXPECT_EQ(oldName(1), "Бобура, улица");
    for (const char* id : {"RueShriftChange", "RueDelete", "RueDoma"}) EXPECT_FALSE(itemOn(id)) << id;
    EXPECT_FALSE(axisMenuOn());
    EXPECT_TRUE(ws().map.EditPoints.empty());
    EXPECT_TRUE(ws().files.StreetsModified);
    // Closing asks about the streets; Yes writes them.
    dialogs_.answers = {A::Yes};
    w_->close();
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения в улицах?")});
    std::vector<StreetRef> back;
    LoadStreets(dir_ / "Darvent" / "darvent.rue", back);
    EXPECT_EQ(back.size(), 2u);
}

TEST_F(StreetsTest, CreateANewStreet) {
    load();
    dialogs_.names.push_back(std::nullopt);
    act("RueNewCreaMenu")->trigger();  // the names dialog cancelled: empty names
    EXPECT_TRUE(ws().modes.StreetCreateMode);
    dialogs_.names.push_back(std::make_pair(QStringLiteral("Новая, улица"), QString(90, QChar(u'с'))));
    act("RueNewCreaMenu")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите начало и конец названия."));
    click({600, 900});
    EXPECT_EQ(panel(4), QStringLiteral("Укажите конец названия"));
    move({700, 900});
    click({750, 900});
    EXPECT_EQ(panel(4), QStringLiteral("Укажите точки оси улицы."));
    EXPECT_TRUE(ws().modes.CreateMode);
    EXPECT_GT(inkIn(QRect(600, 900, 100, 20)), 30);  // the name is drawn
    for (QPoint p : {QPoint(600, 950), QPoint(700, 950), QPoint(800, 960)}) {
        move(p);
        click(p);
    }
    click({900, 990}, Qt::RightButton);
    ASSERT_EQ(streets().size(), 4u);
    const Trues& s = *streets()[3];
    EXPECT_EQ(s.StreetNo, 3);
    EXPECT_EQ(cp1251ToUtf8(s.NewName), "Новая, улица");
    EXPECT_EQ(s.OldName, std::string(80, '\xF1'));
    EXPECT_EQ(toPixel(s.X1, s.Y1), QPoint(600, 900));
    EXPECT_EQ(toPixel(s.X2, s.Y2), QPoint(750, 900));
    EXPECT_EQ(axisPixels(s), (std::vector<QPoint>{{600, 950}, {700, 950}, {800, 960}}));
    EXPECT_TRUE(s.Houses.empty());
    EXPECT_EQ(s.FontName, "Arial");
    EXPECT_EQ(s.Italic, 1);
    EXPECT_EQ(s.FontSize, 8);
    EXPECT_EQ(s.BoundObject, -1);
    EXPECT_EQ(panel(4), QStringLiteral("Готово."));
    EXPECT_FALSE(ws().modes.StreetCreateMode);
    EXPECT_FALSE(ws().modes.CreateMode);
    EXPECT_TRUE(ws().files.StreetsModified);
    EXPECT_EQ(ws().map.ObjList.size(), 5u);  // no map object was made
    // "Отмена" ends a street mode.
    act("RueNazFind")->trigger();
    act("RueOtmena")->trigger();
    EXPECT_FALSE(ws().modes.StreetFindByAxisMode);
}

TEST_F(StreetsTest, TheHouseFormAndItsFiveButtons) {
    load();
    act("ShowRueAxe")->trigger();
    click({100, 150});
    tools().RueDomaClick();  // "Дома" is hidden in the delivered menu
    HouseForm* f = w_->houseForm();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(f->streetLabel()->text(), QStringLiteral("Навои, улица"));
    auto listed = [&] {
        QStringList l;
        for (int i = 0; i < f->numbers()->count(); ++i) l << f->numbers()->item(i)->text();
        return l;
    };
    EXPECT_EQ(listed(), (QStringList{"3", "12а", "12а"}));
    for (const char* b : {"CloseButton", "CreaButton", "ShowAllButton", "KorrButton", "DelButton"})
        ASSERT_NE(f->button(b), nullptr) << b;
    EXPECT_EQ(f->button("KorrButton")->toolTip(), QStringLiteral("Корректировать сведения о доме"));
    // A number selects the first house with it.
    auto clickNumber = [&](int i) {
        QListWidgetItem* it = f->numbers()->item(i);
        QTest::mouseClick(f->numbers()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          f->numbers()->visualItemRect(it).center());
    };
    clickNumber(1);
    EXPECT_EQ(f->floorsEdit()->text(), QStringLiteral("5"));
    EXPECT_EQ(f->infoEdit()->text(), QStringLiteral("аптека"));
    EXPECT_EQ(QPoint(ws().map.EditPoints[0].PX, ws().map.EditPoints[0].PY), QPoint(150, 190));
    EXPECT_TRUE(ws().view.blink.BlinkAsPoints);
    EXPECT_GT(inkIn(QRect(150, 190, 25, 16)), 10);  // the number in blue
    // Correct: not a number of floors is refused and nothing changes.
    f->floorsEdit()->setText(QStringLiteral("пять"));
    QTest::mouseClick(f->button("KorrButton"), Qt::LeftButton);
    EXPECT_EQ(dialogs_.texts("message").size(), 1);
    Trues& s = *streets()[0];
    EXPECT_EQ(s.Houses[0].Etage, 5);
    EXPECT_FALSE(ws().files.StreetsModified);
    f->numberEdit()->setText(QStringLiteral("12б"));
    f->floorsEdit()->setText(QStringLiteral("260"));  // one byte: 260 mod 256
    f->infoEdit()->setText(QStringLiteral("аптека №5"));
    QTest::mouseClick(f->button("KorrButton"), Qt::LeftButton);
    EXPECT_EQ(cp1251ToUtf8(s.Houses[0].Nomer()), "12б");
    EXPECT_EQ(s.Houses[0].Etage, 4);
    EXPECT_EQ(cp1251ToUtf8(s.Houses[0].DopInf), "аптека №5");
    EXPECT_EQ(toPixel(s.Houses[0].X, s.Houses[0].Y), QPoint(150, 190));
    EXPECT_TRUE(ws().files.StreetsModified);
    EXPECT_EQ(listed(), (QStringList{"3", "12а", "12б"}));
    // Delete the selected house.
    clickNumber(0);  // "3": the numbers sort as numbers
    QTest::mouseClick(f->button("DelButton"), Qt::LeftButton);
    EXPECT_EQ(s.Houses.size(), 2u);
    EXPECT_EQ(listed(), (QStringList{"12а", "12б"}));
    EXPECT_TRUE(f->numberEdit()->text().isEmpty());
    EXPECT_TRUE(f->floorsEdit()->text().isEmpty());
    // Create: the next click on the map places the house.
    f->numberEdit()->setText(QStringLiteral("1234567"));
    EXPECT_EQ(f->numberEdit()->text(), QStringLiteral("12345"));
    f->floorsEdit()->setText(QStringLiteral("2"));
    f->infoEdit()->setText(QStringLiteral("старый"));
    QTest::mouseClick(f->button("CreaButton"), Qt::LeftButton);
    EXPECT_TRUE(ws().modes.HousePlaceMode);
    // The fields are read at the map click, as they are then.
    f->floorsEdit()->setText(QStringLiteral("7"));
    f->infoEdit()->setText(QStringLiteral("новый"));
    click({330, 230});
    ASSERT_EQ(s.Houses.size(), 3u);
    EXPECT_EQ(s.Houses[2].Nomer(), "12345");
    EXPECT_EQ(s.Houses[2].Etage, 7);
    EXPECT_EQ(cp1251ToUtf8(s.Houses[2].DopInf), "новый");
    EXPECT_EQ(toPixel(s.Houses[2].X, s.Houses[2].Y), QPoint(330, 230));
    EXPECT_EQ(s.Houses[2].NomerField, (std::array<uint8_t, 6>{5, '1', '2', '3', '4', '5'}));
    EXPECT_FALSE(ws().modes.HousePlaceMode);
    EXPECT_EQ(listed().size(), 3);
    // Show all: every number in blue.
    act("ShowButton")->trigger();
    ASSERT_EQ(inkIn(QRect(350, 190, 25, 16)), 0);
    QTest::mouseClick(f->button("ShowAllButton"), Qt::LeftButton);
    EXPECT_GT(inkIn(QRect(350, 190, 25, 16)), 10);
    bool blue = false;
    for (int y = 190; y < 206; ++y)
        for (int x = 350; x < 375; ++x) blue |= ws().view.image.pixel(x, y) == qRgb(0, 0, 255);
    EXPECT_TRUE(blue);
    // Close: hidden, the house mode ends.
    QTest::mouseClick(f->button("CreaButton"), Qt::LeftButton);
    QTest::mouseClick(f->button("CloseButton"), Qt::LeftButton);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(ws().modes.HousePlaceMode);
}

TEST_F(StreetsTest, EachChangeOfTheRegisterIsOneUndoStep) {
    load();
    auto undo = [&] { act("UndoAction")->trigger(); };
    auto redo = [&] { act("RedoAction")->trigger(); };
    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& s : streets()) out.push_back(cp1251ToUtf8(s->OldName));
        return out;
    };
    const std::vector<std::string> all{"Ленина, улица", "Абая, тупик", "Бобура, улица"};
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    // A house corrected, another deleted (through the house form).
    act("ShowRueAxe")->trigger();
    click({100, 150});
    tools().RueDomaClick();
    HouseForm* f = w_->houseForm();
    ASSERT_NE(f, nullptr);
    auto listed = [&] {
        QStringList l;
        for (int i = 0; i < f->numbers()->count(); ++i) l << f->numbers()->item(i)->text();
        return l;
    };
    auto clickNumber = [&](int i) {
        QTest::mouseClick(f->numbers()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          f->numbers()->visualItemRect(f->numbers()->item(i)).center());
    };
    Trues& lenina = *streets()[0];
    clickNumber(1);  // the first "12а"
    f->numberEdit()->setText(QStringLiteral("14"));
    f->floorsEdit()->setText(QStringLiteral("6"));
    f->infoEdit()->setText(QStringLiteral("почта"));
    QTest::mouseClick(f->button("KorrButton"), Qt::LeftButton);
    ASSERT_EQ(lenina.Houses[0].Nomer(), "14");
    EXPECT_TRUE(act("UndoAction")->isEnabled());
    clickNumber(0);  // "3"
    QTest::mouseClick(f->button("DelButton"), Qt::LeftButton);
    ASSERT_EQ(lenina.Houses.size(), 2u);
    EXPECT_EQ(listed(), (QStringList{"12а", "14"}));
    // The street "Абая, тупик" deleted.
    act("ShowRueAxe")->trigger();
    click({500, 150});
    withStreetList([](StreetListDialog& d) {
        d.upperEdit()->setText(QStringLiteral("Абая, тупик"));
        d.lowerEdit()->clear();
    });
    act("RueKarta")->trigger();
    act("RueDelete")->trigger();
    ASSERT_EQ(names(), (std::vector<std::string>{"Ленина, улица", "Бобура, улица"}));
    EXPECT_TRUE(tools().addresses().find("Абая").empty());  // the address search follows
    // Undo: the street back in its place, the map untouched.
    undo();
    EXPECT_EQ(names(), all);
    EXPECT_EQ(tools().addresses().find("Абая").size(), 1u);
    EXPECT_EQ(streets()[1]->Axis.size(), 2u);
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_TRUE(ws().files.StreetsModified);
    // The house back, then its old fields; the form follows.
    undo();
    ASSERT_EQ(lenina.Houses.size(), 3u);
    EXPECT_EQ(lenina.Houses[1].Nomer(), "3");
    EXPECT_EQ(lenina.Houses[1].Etage, 2);
    EXPECT_EQ(lenina.Houses[0].Nomer(), "14");
    undo();
    EXPECT_EQ(cp1251ToUtf8(lenina.Houses[0].Nomer()), "12а");
    EXPECT_EQ(lenina.Houses[0].Etage, 5);
    EXPECT_EQ(cp1251ToUtf8(lenina.Houses[0].DopInf), "аптека");
    EXPECT_EQ(toPixel(lenina.Houses[0].X, lenina.Houses[0].Y), QPoint(150, 190));
    // Everything taken back: the register is as read, nothing to save.
    EXPECT_FALSE(ws().files.StreetsModified);
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    EXPECT_EQ(w_->windowTitle().count(QLatin1Char('*')), 0);
    // Redo, one operation at a time.
    redo();
    EXPECT_EQ(lenina.Houses[0].Nomer(), "14");
    EXPECT_EQ(lenina.Houses.size(), 3u);
    EXPECT_TRUE(ws().files.StreetsModified);
    redo();
    EXPECT_EQ(lenina.Houses.size(), 2u);
    redo();
    EXPECT_EQ(names(), (std::vector<std::string>{"Ленина, улица", "Бобура, улица"}));
    EXPECT_FALSE(act("RedoAction")->isEnabled());
    // A moved name, a corrected name and a moved axis point: one step each.
    act("RueChangeMenu")->trigger();
    click({102, 152});
    click({300, 600});
    click({450, 600});
    ASSERT_EQ(toPixel(lenina.X1, lenina.Y1), QPoint(300, 600));
    act("RueKorrMenu")->trigger();
    dialogs_.names.push_back(std::make_pair(QStringLiteral("Новая"), QStringLiteral("Старая")));
    click({300, 600});
    ASSERT_EQ(cp1251ToUtf8(lenina.OldName), "Старая");
    undo();
    EXPECT_EQ(cp1251ToUtf8(lenina.OldName), "Ленина, улица");
    EXPECT_EQ(cp1251ToUtf8(lenina.NewName), "Навои, улица");
    EXPECT_EQ(toPixel(lenina.X1, lenina.Y1), QPoint(300, 600));
    undo();
    EXPECT_EQ(toPixel(lenina.X1, lenina.Y1), QPoint(100, 150));
    EXPECT_EQ(toPixel(lenina.X2, lenina.Y2), QPoint(250, 150));
    // Reading the register again drops its steps.
    tools().RueLoadClick();
    EXPECT_EQ(names(), all);
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    EXPECT_FALSE(act("RedoAction")->isEnabled());
}

TEST_F(StreetsTest, AddressSearchWhatIsHereAndTheRouteBetweenTwoAddresses) {
    // Ctrl+F puts the cursor in the tool bar's field; the register is read
    // with the first letters typed.
    AddressField* field = w_->addressField();
    ASSERT_NE(field, nullptr);
    auto* find = w_->findChild<QAction*>(QStringLiteral("AddressFind"));
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
    field->setText(QStringLiteral("старое"));
    find->trigger();
    EXPECT_EQ(field->selectedText(), QStringLiteral("старое"));  // all of it, to be typed over
    // Typed as a keyboard types (the text of key presses).
    auto type = [&](const QString& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(field, &press);
    };
    type(QStringLiteral("лени 12 А"));
    const MapView original = ws().view.view();
    auto restoreView = [&] {
        ws().view.view() = original;
        ws().view.image = QImage(original.imageSize(), QImage::Format_RGB32);
        RedrawWithProgress(ws());
        w_->scrollToTopLeft();
    };
    ASSERT_EQ(streets().size(), 3u);
    QStringList offered;
    for (const AddressHit& h : field->candidates()) offered << QString::fromStdString(AddressText(h));
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Навои ул., 12а (быв. Ленина)"),
                                    QStringLiteral("Навои ул., 12а (быв. Ленина)")}));  // two houses of that number
    // Chosen at 1:3250 (street level already): house (150, 190) lies too
    // near the picture's corner to be scrolled to the window's middle, so
    // the picture is drawn anew at the same scale round it (the house at
    // its middle, 600, 600), and it blinks.
    MapView& v = ws().view.view();
    const double scale = v.Scale;
    QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Down);
    QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Return);
    EXPECT_EQ(v.Scale, scale);
    auto* box = w_->findChild<QScrollArea*>();
    const QPoint middle = box->viewport()->rect().center();
    auto shown = [&] { return w_->mapPointAtViewport(middle); };
    const TXY house = toMap({150, 190});
    EXPECT_NEAR(shown().X, house.X, 2);
    EXPECT_NEAR(shown().Y, house.Y, 2);
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[0]);
    ASSERT_EQ(ws().map.EditPoints.size(), 1u);
    EXPECT_EQ(QPoint(ws().map.EditPoints[0].PX, ws().map.EditPoints[0].PY), QPoint(600, 600));
    EXPECT_TRUE(ws().view.blink.BlinkAsPoints);
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    // Zoomed out to 1:13000: the next choice comes back to street level
    // (1:5000, 0.65 pixels a metre), centred on the middle of the axis of
    // "Абая, тупик" (it has no houses), the axis blinking.
    w_->zoomAt(middle, 0.25);
    ASSERT_LT(v.Scale, 0.3);
    field->selectAll();
    type(QStringLiteral("абая"));
    QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Escape);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(v.Scale, 0.65);
    const TXY axisMiddle = toMap({600, 250});
    EXPECT_NEAR(shown().X, axisMiddle.X, 2);
    EXPECT_NEAR(shown().Y, axisMiddle.Y, 2);
    EXPECT_EQ(w_->streets().CurrentStreet, streets()[1]);
    EXPECT_FALSE(ws().view.blink.BlinkAsPoints);
    EXPECT_EQ(ws().map.EditPoints.size(), 2u);
    // A renamed street shows under its new name at once.
    restoreView();
    act("RueKorrMenu")->trigger();
    dialogs_.names.push_back(std::make_pair(QStringLiteral("Фурката, улица"), QStringLiteral("Абая, тупик")));
    click({501, 151});
    ASSERT_FALSE(w_->streetTools().addresses().find("Фурката").empty());
    // "Что здесь?": the house "3" of Navoi at (250, 190), 30 m from (250, 220).
    act("WhatIsHere")->trigger();
    EXPECT_TRUE(ws().modes.WhatIsHereMode);
    click({250, 220});
    EXPECT_EQ(panel(4), QStringLiteral("ул. Навои (быв. Ленина), 3 — 30 м"));
    // Far from every house: the nearest axis (Bobur's at column 80), 480 m;
    // 520 m is beyond every house and axis.
    click({560, 900});
    EXPECT_EQ(panel(4), QStringLiteral("ул. Бобура — 480 м"));
    click({600, 900});
    EXPECT_EQ(panel(4), QStringLiteral("Адрес не найден"));
    act("WhatIsHere")->trigger();
    EXPECT_FALSE(ws().modes.WhatIsHereMode);
    // A right click that no mode takes: the map's menu with "Что здесь?".
    click({350, 230}, Qt::RightButton);
    ASSERT_TRUE(w_->mapMenu()->isVisible());
    w_->mapMenu()->findChild<QAction*>(QStringLiteral("WhatIsHereAt"))->trigger();
    w_->mapMenu()->hide();
    EXPECT_EQ(panel(4), QStringLiteral("ул. Навои (быв. Ленина), 12а — 40 м"));
    // The route between two addresses is the route between clicks on them.
    RoadNetwork net;
    for (int col : {100, 250, 400}) {
        TRoadNode n;
        n.Id = int32_t(net.RoadNodes.size());
        const TXY p = toMap({col, 200});
        n.X = p.X;
        n.Y = p.Y;
        int k = 0;
        for (int to : {n.Id - 1, n.Id + 1})
            if (to >= 0 && to < 3) {
                n.Link[size_t(k)] = to;
                n.Speed[size_t(k++)] = 40;
            }
        net.RoadNodes.push_back(n);
    }
    SaveRoadNetwork(dir_ / "njoints.uzl", net);
    restoreView();
    act("ItenererButton")->trigger();
    click({150, 190});
    click({250, 190});
    ASSERT_EQ(w_->routes().lastRoute().status, RouteResult::Found);
    const QStringList byClicks = w_->routeInfo()->lines();
    const std::vector<int> path = w_->routes().lastRoute().path;
    w_->routeInfo()->memo()->clear();
    act("RouteAddresses")->trigger();
    ASSERT_TRUE(w_->routeInfo()->isVisible());
    EXPECT_TRUE(w_->routeInfo()->fromField()->hasFocus() || !w_->routeInfo()->isActiveWindow());
    w_->routeInfo()->fromField()->setText(QStringLiteral("Навои 12а"));
    w_->routeInfo()->toField()->setText(QStringLiteral("Ленина 3"));
    w_->routeInfo()->findButton()->click();
    EXPECT_EQ(w_->routeInfo()->lines(), byClicks);
    EXPECT_EQ(w_->routes().lastRoute().path, path);
    w_->routeInfo()->toField()->setText(QStringLiteral("Пушкина 1"));
    w_->routeInfo()->findButton()->click();
    EXPECT_EQ(w_->routeInfo()->lines().value(1), QStringLiteral("Адрес не найден: Пушкина 1"));
}

// Candidates found, or chosen, before the register changed are found again
// before they are used: a renamed street is not gone to under its old name.
TEST_F(StreetsTest, AddressCandidatesDoNotOutliveAChangeOfTheRegister) {
    load();
    auto type = [](AddressField* f, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(f, &press);
    };
    AddressField* field = w_->addressField();
    type(field, QStringLiteral("Навои 3"));
    ASSERT_EQ(field->candidates().size(), 1u);
    QTest::keyClick(field->popupCompleter()->popup(), Qt::Key_Escape);
    RouteInfoWindow* info = w_->routeInfo();
    act("RouteAddresses")->trigger();
    type(info->fromField(), QStringLiteral("Навои 3"));
    QTest::keyClick(info->fromField()->popupCompleter()->popup(), Qt::Key_Return);
    ASSERT_TRUE(info->fromField()->current().has_value());
    act("RueKorrMenu")->trigger();
    dialogs_.names.push_back(std::make_pair(QStringLiteral("Фурката, улица"), QString()));
    click({102, 152});
    ASSERT_EQ(cp1251ToUtf8(streets()[0]->NewName), "Фурката, улица");
    const MapView before = ws().view.view();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(field->candidates().empty());
    EXPECT_EQ(panel(4), QStringLiteral("Адрес не найден"));
    EXPECT_EQ(ws().view.view().ViewYMin, before.ViewYMin);
    EXPECT_EQ(ws().view.view().ViewXMax, before.ViewXMax);
    EXPECT_FALSE(info->fromField()->current().has_value());
}

namespace {
// The streets file under another letter case, as copied from Windows.
class StreetsUpperCaseTest : public StreetsTest {
protected:
    const char* fileName() const override { return "DARVENT.RUE"; }
};
}  // namespace

TEST_F(StreetsUpperCaseTest, TheFileIsFoundAndWrittenBackUnderItsOwnName) {
    load();
    act("ShowRueAxe")->trigger();
    click({500, 150});
    act("RueShriftChange")->trigger();
    act("RueSave")->trigger();
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Darvent" / "DARVENT.RUE"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Darvent" / "darvent.rue"));
}
