#include "app/DefaultFontDialog.h"
#include "common/SmallMapFixture.h"

#include <QListWidget>
#include <QSpinBox>
#include <QMenu>

using namespace dm;
using A = DialogPort::Answer;

namespace {

// The small map with three labels: a free one at (100, 100)-(250, 100), one
// bound by its start to the tree (object 3) and a free one at (500, 1000).
class NameToolsTest : public SmallMapFixture {
protected:
    void writeCompanions() override {
        auto add = [&](const char* oldU, const char* newU, QPoint a, QPoint b) {
            auto n = std::make_shared<TNaz>();
            n->OldName = utf8ToCp1251(oldU);
            n->NewName = utf8ToCp1251(newU);
            const TXY p = toMap(a), q = toMap(b);
            n->X1 = p.X;
            n->Y1 = p.Y;
            n->X2 = q.X;
            n->Y2 = q.Y;
            n->FontName = "Arial";
            labels_.push_back(n);
            return n;
        };
        add("Ленина, улица", "Навои, улица", {100, 100}, {250, 100});
        auto tree = add("Дуб", "", {900, 900}, {960, 900});
        tree->Anchor = 1;
        tree->BoundObject = 3;
        add("Заречье", "", {500, 1000}, {500, 900});
        SaveNames(dir_ / "Darvent" / "Darvent.nam", labels_);
        // The tree carries its label's text.
        TObjList objs;
        LoadObjects(dir_ / "Darvent" / "Darvent.bin", objs);
        objs[3]->Name = utf8ToCp1251("Дуб");
        SaveObjects(dir_ / "Darvent" / "Darvent.bin", objs);
    }
    NameState& names() { return w_->names(); }
    std::string text(int i) { return cp1251ToUtf8(NameDisplayText(*names().MapNames[size_t(i)])); }
    std::vector<NameRef> labels_;
};

int nonWhiteIn(const QImage& img, QRect r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += img.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

}  // namespace

TEST_F(NameToolsTest, OpeningTheMapLoadsItsLabelsAndShowDrawsThem) {
    ASSERT_EQ(names().MapNames.size(), 3u);
    EXPECT_EQ(names().AllNames.size(), 3u);
    EXPECT_EQ(names().MapNames[0], names().AllNames[0]);
    EXPECT_EQ(text(0), "Навои, ул.");
    const QRect area(100, 100, 120, 14);
    EXPECT_EQ(nonWhiteIn(ws().view.image, area), 0);
    act("NazVyvod")->trigger();
    EXPECT_GT(nonWhiteIn(ws().view.image, area), 20);
    // "Убрать с экрана" draws them in white.
    act("NazErase")->trigger();
    EXPECT_EQ(nonWhiteIn(ws().view.image, area), 0);
    EXPECT_TRUE(names().NamesErased);
    act("NazErase")->trigger();
    // After a redraw "Названия карты" is off and "Вывести" draws nothing.
    act("ShowButton")->trigger();
    EXPECT_FALSE(names().NamesShown);
    act("NazVyvod")->trigger();
    EXPECT_EQ(nonWhiteIn(ws().view.image, area), 0);
    act("MapNamesItem")->trigger();
    act("NazVyvod")->trigger();
    EXPECT_GT(nonWhiteIn(ws().view.image, area), 20);
}

TEST_F(NameToolsTest, CreateALabel) {
    act("CreaNazv")->trigger();
    EXPECT_TRUE(ws().modes.NameCreateMode);
    EXPECT_EQ(panel(4), QStringLiteral("Укажите начало названия."));
    click({300, 700});
    EXPECT_EQ(panel(4), QStringLiteral("Укажите конец названия"));
    move({400, 650});
    move({500, 700});
    dialogs_.names.push_back(std::make_pair(QString(), QStringLiteral("Новая, улица")));
    click({500, 700});
    ASSERT_EQ(names().MapNames.size(), 4u);
    const TNaz& n = *names().MapNames[3];
    EXPECT_EQ(text(3), "Новая, ул.");  // an empty upper field: the old name shows
    EXPECT_TRUE(n.NewName.empty());
    EXPECT_EQ(n.X1, 400);
    EXPECT_EQ(n.Y1, 200);
    EXPECT_EQ(n.Y2, 400);
    EXPECT_EQ(n.FontName, "MS Sans Serif");
    EXPECT_EQ(n.FontSize, 8);
    EXPECT_EQ(n.Anchor, 0);
    EXPECT_EQ(n.BoundObject, -1);
    EXPECT_EQ(names().AllNames.size(), 3u);  // new labels go to the working list only
    EXPECT_TRUE(ws().files.NamesModified);
    EXPECT_FALSE(ws().modes.NameCreateMode);
    EXPECT_EQ(panel(4), QString());
    // Cancel adds nothing.
    act("CreaNazv")->trigger();
    click({300, 800});
    dialogs_.names.push_back(std::nullopt);
    click({400, 800});
    EXPECT_EQ(names().MapNames.size(), 4u);
}

TEST_F(NameToolsTest, MoveABoundLabelFreesItAndItsObject) {
    act("MoveNazv")->trigger();
    EXPECT_EQ(ws().modes.ClickCount, 10);
    click({10, 10});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Название не найдено")});
    click({902, 903});  // the tree's label by its first point
    EXPECT_EQ(panel(4), QStringLiteral("Укажите начало названия"));
    click({100, 400});
    click({200, 400});
    const TNaz& n = *names().MapNames[1];
    EXPECT_EQ(n.X1, 700);
    EXPECT_EQ(n.Y1, 0);
    EXPECT_EQ(n.Anchor, 0);
    EXPECT_EQ(n.BoundObject, -1);
    EXPECT_TRUE(ws().map.ObjList[3]->Name.empty());
    EXPECT_TRUE(ws().map.MapModified);
    EXPECT_TRUE(ws().files.NamesModified);
    EXPECT_FALSE(ws().modes.NameMoveMode);
}

TEST_F(NameToolsTest, DeleteLabelsBoundAndFree) {
    act("DelNazv")->trigger();
    click({902, 900});
    EXPECT_EQ(panel(4), QStringLiteral("Удалено."));
    EXPECT_EQ(names().MapNames.size(), 2u);
    EXPECT_EQ(names().AllNames.size(), 2u);
    EXPECT_TRUE(ws().map.ObjList[3]->Name.empty());
    EXPECT_TRUE(ws().map.MapModified);
    // A bound label whose object has no name any more.
    auto orphan = std::make_shared<TNaz>();
    orphan->X1 = 300;  // pixel (400, 800)
    orphan->Y1 = 300;
    orphan->BoundObject = 4;
    orphan->Anchor = 1;
    names().MapNames.push_back(orphan);
    act("DelNazv")->trigger();
    click({400, 800});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не найден.")});
    EXPECT_EQ(names().MapNames.size(), 2u);
}

TEST_F(NameToolsTest, CorrectALabelTakesTheNameFont) {
    names().NameFont.Face = "Times New Roman";
    names().NameFont.Bold = true;
    names().NameFont.Size = 12;
    act("KorrNazv")->trigger();
    dialogs_.names.push_back(std::make_pair(QStringLiteral("Бобура, проезд"), QStringLiteral("Ленина, улица")));
    click({101, 99});
    EXPECT_EQ(dialogs_.texts("names"), QStringList{QStringLiteral("Навои, улица|Ленина, улица")});
    EXPECT_EQ(text(0), "Бобура, пр.");
    EXPECT_EQ(names().MapNames[0]->FontName, "Times New Roman");
    EXPECT_TRUE(names().MapNames[0]->Bold);
    EXPECT_EQ(names().MapNames[0]->FontSize, 12);
    EXPECT_TRUE(ws().files.NamesModified);
    // Cancel leaves the texts.
    act("KorrNazv")->trigger();
    dialogs_.names.push_back(std::nullopt);
    click({101, 99});
    EXPECT_EQ(text(0), "Бобура, пр.");
}

TEST_F(NameToolsTest, BindByStartThenByEndKeepsLengthAndDirection) {
    // The free label at (100, 100)-(250, 100): 150 pixels to the right.
    act("JoinNazObj")->trigger();
    click({100, 100});
    EXPECT_EQ(panel(4), QStringLiteral("Укажтие объект."));
    click({5, 5});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не найден")});
    click({300, 250});  // the second street
    EXPECT_EQ(panel(4), QStringLiteral("Укажите точку объекта."));
    dialogs_.options.push_back(0);
    click({301, 201});  // its first vertex
    TNaz& n = *names().MapNames[0];
    EXPECT_EQ(n.Anchor, 1);
    EXPECT_EQ(n.BoundObject, 1);
    EXPECT_EQ(n.X1, 900);
    EXPECT_EQ(n.Y1, 200);
    EXPECT_EQ(n.X2, 900);
    EXPECT_EQ(n.Y2, 350);
    EXPECT_EQ(cp1251ToUtf8(ws().map.ObjList[1]->Name.view()), "Навои, улица");  // not abbreviated
    EXPECT_EQ(panel(4), QStringLiteral("Готово!"));
    EXPECT_TRUE(ws().map.MapModified);
    EXPECT_TRUE(ws().files.NamesModified);
    // By the end, at a click that is on no vertex.
    act("JoinNazObj")->trigger();
    click({301, 201});  // the label's first point: drawn 5 right and 6 up, found where it is
    EXPECT_EQ(panel(4), QStringLiteral("Укажтие объект."));
    click({300, 250});
    dialogs_.options.push_back(1);
    click({310, 320});
    EXPECT_EQ(n.Anchor, 3);
    EXPECT_EQ(n.X2, 780);
    EXPECT_EQ(n.Y2, 210);
    EXPECT_EQ(n.X1, 780);
    EXPECT_EQ(n.Y1, 60);
    // Cancel unbinds and clears the object's name.
    act("JoinNazObj")->trigger();
    click({310, 320});  // anchor 3: found by its second point
    click({300, 250});
    dialogs_.options.push_back(std::nullopt);
    click({300, 250});
    EXPECT_EQ(n.Anchor, 0);
    EXPECT_EQ(n.BoundObject, -1);
    EXPECT_TRUE(ws().map.ObjList[1]->Name.empty());
}

TEST_F(NameToolsTest, SavingTheLabels) {
    names().MapNames[0]->OldName = "x";
    ws().files.NamesModified = true;
    act("ShowButton")->trigger();  // switches "Названия карты" off
    act("NazSave")->trigger();
    EXPECT_FALSE(ws().files.NamesModified);
    std::vector<NameRef> back;
    LoadNames(dir_ / "Darvent" / "Darvent.nam", back);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0]->OldName, "x");  // written even with the display switch off
    // No labels: nothing is written.
    names().MapNames.clear();
    act("NazSave")->trigger();
    LoadNames(dir_ / "Darvent" / "Darvent.nam", back);
    EXPECT_EQ(back.size(), 3u);
    // On closing the question is asked and Yes writes the file.
    names().MapNames = names().AllNames;
    names().MapNames.pop_back();
    ws().files.NamesModified = true;
    dialogs_.answers = {A::Yes};
    EXPECT_TRUE(w_->lifecycle().FormCloseQuery());
    LoadNames(dir_ / "Darvent" / "Darvent.nam", back);
    EXPECT_EQ(back.size(), 2u);
}

TEST_F(NameToolsTest, FontsForNewLabels) {
    // The tool button: the font dialog's face, size and colour; bold only
    // when the style is exactly bold.
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPointSize(14);
    f.setBold(true);
    dialogs_.fonts.push_back(std::make_pair(f, QColor(0, 0, 255)));
    act("FontButton")->trigger();
    EXPECT_EQ(names().NameFont.Face, "DejaVu Serif");
    EXPECT_EQ(names().NameFont.Size, 14);
    EXPECT_EQ(names().NameFont.Color, 0xFF0000);
    EXPECT_TRUE(names().NameFont.Bold);
    f.setUnderline(true);
    dialogs_.fonts.push_back(std::make_pair(f, QColor(0, 0, 0)));
    act("FontButton")->trigger();
    EXPECT_FALSE(names().NameFont.Bold);
    // The default font dialog: "Города" then Cancel still sets "System" bold.
    dialogs_.onDialog = [](QDialog& d) {
        auto& dlg = static_cast<DefaultFontDialog&>(d);
        dlg.kinds()->setCurrentRow(0);
        dlg.colors()->setCurrentRow(5);
        dlg.height()->setValue(20);
        dlg.reject();
        return int(QDialog::Rejected);
    };
    act("NazDefFont")->trigger();
    EXPECT_EQ(names().NameFont.Face, "System");
    EXPECT_TRUE(names().NameFont.Bold);
    EXPECT_FALSE(names().NameFont.Italic);
    EXPECT_EQ(names().NameFont.Color, DefaultFontDialog::kDarkGrey);
    EXPECT_EQ(names().NameFont.Size, 20);
    // Every label takes the name font.
    act("AllNamesFont")->trigger();
    for (const auto& n : names().MapNames) EXPECT_EQ(n->FontName, "System");
    EXPECT_TRUE(ws().files.NamesModified);
}

TEST_F(NameToolsTest, OpeningTheMenuEndsSelectionAndOtmenaEndsLabelModes) {
    act("FindButton")->trigger();
    click({350, 300});
    ASSERT_TRUE(ws().view.blink.BlinkOn);
    w_->nameTools().NazvaniaMenuOpened();
    EXPECT_FALSE(ws().view.blink.BlinkOn);
    EXPECT_FALSE(ws().modes.SelectMode);
    EXPECT_FALSE(act("FindButton")->isChecked());
    EXPECT_EQ(panel(5), QString());
    act("MoveNazv")->trigger();
    act("NazOtmena")->trigger();
    EXPECT_FALSE(ws().modes.NameMoveMode);
    EXPECT_EQ(ws().modes.ClickCount, 0);
}

TEST_F(NameToolsTest, LabelItemsKeepTheModesTheMenuLeavesOn) {
    // Measuring, digitising and the route clicks stay on when a label mode
    // starts; only the other label modes end.
    act("GeocordButton")->trigger();
    ws().modes.CreateMode = true;
    ws().modes.ComposeMode = true;
    ws().modes.RouteMode = true;
    w_->nameTools().NazvaniaMenuOpened();
    act("DelNazv")->trigger();
    EXPECT_TRUE(ws().modes.NameDeleteMode);
    act("CreaNazv")->trigger();
    EXPECT_TRUE(ws().modes.NameCreateMode);
    EXPECT_FALSE(ws().modes.NameDeleteMode);
    act("MoveNazv")->trigger();
    EXPECT_TRUE(ws().modes.NameMoveMode);
    EXPECT_FALSE(ws().modes.NameCreateMode);
    EXPECT_EQ(ws().modes.ClickCount, 10);
    EXPECT_EQ(panel(4), QStringLiteral("Укажите название."));
    EXPECT_TRUE(ws().modes.MeasureMode);
    EXPECT_TRUE(act("GeocordButton")->isChecked());
    EXPECT_TRUE(ws().modes.CreateMode);
    EXPECT_TRUE(ws().modes.ComposeMode);
    EXPECT_TRUE(ws().modes.RouteMode);
    ws().modes.CreateMode = ws().modes.ComposeMode = ws().modes.RouteMode = false;
}

TEST_F(NameToolsTest, ZoomsEndBlinkingSelectionAndTheLabelCheckMark) {
    // Zoom out and zoom to a rectangle redraw the map as "Обновить экран"
    // does: no labels afterwards, so "Названия карты" goes off with them.
    for (int way = 0; way < 2; ++way) {
        act("MapNamesItem")->setChecked(true);
        act("FindButton")->trigger();
        // The middle of the first street's first segment, wherever the view is.
        const TGn mid = ws().view.view().toPixel(toMap({300, 300}));
        click({mid.PX, mid.PY});
        ASSERT_TRUE(ws().view.blink.BlinkOn) << way;
        ASSERT_FALSE(ws().map.EditPoints.empty());
        if (way == 0) {
            act("KfUm")->trigger();
        } else {
            act("KfUv")->trigger();
            click({100, 100});
            click({600, 500});
        }
        EXPECT_FALSE(ws().view.blink.BlinkOn) << way;
        EXPECT_FALSE(act("BlickButton")->isChecked()) << way;
        EXPECT_FALSE(ws().modes.SelectMode) << way;
        EXPECT_FALSE(act("FindButton")->isChecked()) << way;
        EXPECT_TRUE(ws().map.EditPoints.empty()) << way;
        EXPECT_FALSE(act("MapNamesItem")->isChecked()) << way;
        EXPECT_FALSE(names().NamesShown) << way;
        // "Вывести" then draws nothing: the check mark is off.
        const QImage before = ws().view.image;
        act("NazVyvod")->trigger();
        EXPECT_EQ(ws().view.image, before) << way;
    }
}

TEST_F(NameToolsTest, TheCanvasFontIsArialItalicEightAtStart) {
    const QFont& f = ws().view.CanvasFont;
    EXPECT_EQ(f.family(), QStringLiteral("Arial"));
    EXPECT_TRUE(f.italic());
    EXPECT_FALSE(f.bold());
    EXPECT_EQ(f.pointSize(), 8);
}
