// What the tools keep between two steps, when the map changes in between:
// another map opened, an object removed, an edit taken back.  Each case
// runs the first step, changes the map, then the second step, and checks
// that the second step refuses with its message or acts on the right
// object (under the address sanitizer a dangling object is a failure too).
// Also: input held back while printing, registers read only in part.
#include "admin/Boundaries.h"
#include "admin/Settlements.h"
#include "app/DistrictDialogs.h"
#include "app/HouseForm.h"
#include "app/StopsWindow.h"
#include "app/UserAreaForm.h"
#include "common/SmallMapFixture.h"
#include "display/Print.h"
#include "editing/RegisterEdit.h"
#include "streets/Streets.h"
#include "transport/Stops.h"
#include "userdata/UserAreas.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSpontaneKeyEvent>
#include <QTimer>
#include <QToolButton>

using namespace dm;
namespace fs = std::filesystem;
using A = DialogPort::Answer;

namespace {

class Lifecycle : public SmallMapFixture {
protected:
    fs::path city() const { return dir_ / "Darvent"; }
    void writeCompanions() override {
        // One district "a" with its own map of two lines (another extent).
        const std::string ray = "A;a;\r\n";
        writeFileAtomically(city() / "Darvent.ray", std::vector<uint8_t>(ray.begin(), ray.end()));
        WriteOrientation(city() / "a.or", {1000, 600, 400, 0, 0, 1, {0, 0, 0}, 0});
        TObjList objs;
        for (int i = 0; i < 2; ++i) {
            auto o = std::make_unique<TObj>();
            o->Kind = KindLine;
            o->Code = 3060;
            o->Points = {{900.0 - i * 50, 100}, {700.0 - i * 50, 300}};
            objs.append(std::move(o));
        }
        SaveObjects(city() / "a.bin", objs);
    }
    bool openDistrict() { return w_->lifecycle().OpenDistrictMap(city() / "a.or"); }
    // The objects of the open map: code and vertices.
    std::vector<std::pair<int, std::vector<TXY>>> snapshot() {
        std::vector<std::pair<int, std::vector<TXY>>> out;
        for (const auto& o : ws().map.ObjList) out.emplace_back(o->Code, o->Points.vec());
        return out;
    }
    // Composes an area from the first street and stores it ("Сохранить в TList").
    void composeAndStore() {
        act("OtborObj")->trigger();
        click({300, 300});
        act("Add1")->trigger();
        act("tip3")->trigger();
        ws().classifier.CurrentSemantic.Code = 1010;
        act("Formir")->trigger();
        act("SaveNewObj1")->trigger();
        ASSERT_TRUE(act("SaveRay")->isEnabled());
    }
    QToolButton* toolButton(const char* id) {
        for (QToolButton* b : w_->findChildren<QToolButton*>())
            if (b->defaultAction() == act(id)) return b;
        return nullptr;
    }
};

}  // namespace

TEST_F(Lifecycle, TheStoredComposedObjectIsForgottenWithItsMap) {
    composeAndStore();
    ASSERT_FALSE(panel(4).isEmpty());  // the selected street's kind
    move({123, 45});
    ASSERT_EQ(panel(2), QStringLiteral("123,45"));
    // Another map: "Сохранить границы  в File" has nothing left to save.
    dialogs_.answers = {A::No};  // "Сохранить измениения в карте?"
    ASSERT_TRUE(openDistrict());
    // Nothing of the city stays in the status bar (panel 5 holds the
    // district picture's height).
    EXPECT_EQ(panel(2), QString());
    EXPECT_EQ(panel(3), QString());
    EXPECT_EQ(panel(4), QString());
    EXPECT_EQ(panel(5), QStringLiteral("%1").arg(ws().view.image.height(), 4));
    EXPECT_FALSE(act("SaveRay")->isEnabled());
    EXPECT_TRUE(w_->creation().SelectedObjects().empty());
    EXPECT_EQ(w_->creation().FormedObj(), nullptr);
    dialogs_.clear();
    EXPECT_FALSE(w_->districtTools().SaveRayBegin());
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не создан")});
    EXPECT_FALSE(fs::exists(dir_ / "fergaobl"));
    EXPECT_EQ(ws().files.CityFolderName, "Darvent");
}

TEST_F(Lifecycle, AFormedObjectNotYetStoredGoesWithItsMap) {
    act("OtborObj")->trigger();
    click({300, 300});
    act("Add1")->trigger();
    ws().classifier.CurrentSemantic.Code = 1010;
    act("Formir")->trigger();
    ASSERT_NE(w_->creation().FormedObj(), nullptr);
    ASSERT_TRUE(openDistrict());
    EXPECT_EQ(w_->creation().FormedObj(), nullptr);
    EXPECT_FALSE(act("SaveNewObj1")->isEnabled());
    dialogs_.clear();
    w_->creation().SaveNewObj1Click();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не создан")});
    EXPECT_EQ(ws().map.ObjList.size(), 2u);
}

TEST_F(Lifecycle, AnUndoneStoreAndARemovedObjectLeaveTheCollection) {
    composeAndStore();
    // Another object removed: the stored one stays.
    act("FindButton")->trigger();
    click({900, 900});
    act("DeleteButton")->trigger();
    ASSERT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_NE(w_->creation().FormedObj(), nullptr);
    EXPECT_TRUE(act("SaveRay")->isEnabled());
    w_->UndoClick();  // the tree is back
    EXPECT_NE(w_->creation().FormedObj(), nullptr);
    ASSERT_EQ(ws().map.ObjList.size(), 6u);
    const TObj* stored = w_->creation().FormedObj();
    ASSERT_EQ(ws().map.ObjList.indexOf(stored), 5);
    w_->UndoClick();  // the stored object leaves the map
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_EQ(w_->creation().FormedObj(), nullptr);
    EXPECT_FALSE(act("SaveRay")->isEnabled());
    // The collection: two objects, one deleted; a district map empties it.
    act("OtborObj")->trigger();
    click({300, 300});
    act("Add1")->trigger();
    click({900, 900});  // the tree
    act("Add1")->trigger();
    ASSERT_EQ(w_->creation().SelectedObjects().size(), 2u);
    act("DeleteButton")->trigger();
    ASSERT_EQ(ws().map.ObjList.size(), 4u);
    ASSERT_EQ(w_->creation().SelectedObjects().size(), 1u);
    EXPECT_EQ(w_->creation().SelectedObjects()[0], ws().map.ObjList[0]);
    dialogs_.answers = {A::No};
    ASSERT_TRUE(openDistrict());
    EXPECT_TRUE(w_->creation().SelectedObjects().empty());
    dialogs_.clear();
    ws().classifier.CurrentSemantic.Code = 1010;
    act("Formir")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объекты не отобраны")});
}

TEST_F(Lifecycle, AVertexEditEndsWhenAnEditIsTakenBack) {
    // An earlier edit to take back: the contour deleted.
    act("FindButton")->trigger();
    click({150, 800});
    act("DeleteButton")->trigger();
    const auto before = snapshot();
    ASSERT_EQ(before.size(), 4u);
    // "Переместить точку" on the street: its corner picked, then Ctrl+Z.
    act("FindButton")->trigger();
    click({300, 300});
    act("MovPoinButton")->trigger();
    click({400, 300});
    ASSERT_EQ(ws().modes.EditStep, 6);
    w_->UndoClick();
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_FALSE(ws().modes.MoveVertexMode);
    EXPECT_EQ(ws().modes.EditStep, 0);
    EXPECT_EQ(ws().modes.PickIndex, -1);
    EXPECT_FALSE(act("MovPoinButton")->isEnabled());
    // The click meant for the vertex moves nothing, in any object.
    click({450, 250});
    auto after = snapshot();
    after.erase(after.begin() + 4);  // the contour is back at its place
    EXPECT_EQ(after, before);
    EXPECT_EQ(ws().map.ObjList[4]->Points.vec(), (std::vector<TXY>{toMap({100, 800}), toMap({200, 800})}));
}

TEST_F(Lifecycle, AnEditGoesOnWhenAnotherObjectIsRemoved) {
    // The tree collected, formed and stored; the street's corner picked for
    // a move; then "Убрать старые" removes the tree: the move goes on.
    act("OtborObj")->trigger();
    click({900, 900});
    act("Add1")->trigger();
    ws().classifier.CurrentSemantic.Code = 2402;
    act("Formir")->trigger();
    act("SaveNewObj1")->trigger();
    act("FindButton")->trigger();
    click({300, 300});
    act("MovPoinButton")->trigger();
    click({400, 300});
    ASSERT_EQ(ws().modes.EditStep, 6);
    act("DeleteOldObj")->trigger();
    ASSERT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_TRUE(ws().modes.MoveVertexMode);
    click({450, 250});
    EXPECT_EQ(ws().map.ObjList[0]->Points.vec(),
              (std::vector<TXY>{toMap({200, 300}), toMap({450, 250}), toMap({400, 500})}));
}

TEST_F(Lifecycle, AMeasurementGoesOnOverAnUndo) {
    act("FindButton")->trigger();
    click({900, 900});
    act("DeleteButton")->trigger();
    act("GeocordButton")->trigger();
    click({100, 100});
    click({100, 200});  // 100 m at one pixel a metre
    EXPECT_DOUBLE_EQ(ws().modes.DistanceSum, 100);
    act("UndoAction")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_TRUE(ws().modes.MeasureMode);
    EXPECT_EQ(ws().modes.ClickCount, 2);
    click({160, 280});  // 60 and 80: 100 m more
    EXPECT_DOUBLE_EQ(ws().modes.DistanceSum, 200);
}

TEST_F(Lifecycle, ACutEndsTheEditInProgress) {
    act("FindButton")->trigger();
    click({300, 300});
    act("MovPoinButton")->trigger();
    click({400, 300});
    ASSERT_EQ(ws().modes.EditStep, 6);
    // The lasso leaves the street's first vertex outside.
    act("LassoGrn")->trigger();
    press({550, 550});
    for (QPoint p : {QPoint(550, 549), QPoint(550, 250), QPoint(250, 250), QPoint(250, 550)}) move(p, Qt::LeftButton);
    release({250, 550});
    ASSERT_EQ(ws().map.ObjList[0]->PointCount(), 3);  // the crossing, the corner, the end
    const auto cut = ws().map.ObjList[0]->Points.vec();
    EXPECT_FALSE(ws().modes.MoveVertexMode);
    EXPECT_EQ(ws().modes.EditStep, 0);
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    click({450, 250});
    EXPECT_EQ(ws().map.ObjList[0]->Points.vec(), cut);
}

TEST_F(Lifecycle, ARotationEndsWhenAnEditIsTakenBack) {
    act("FindButton")->trigger();
    click({900, 900});
    act("DeleteButton")->trigger();
    act("FindButton")->trigger();
    click({300, 300});
    act("TurnObj")->trigger();
    click({200, 300});  // the pivot
    click({400, 500});  // the vertex to drag
    ASSERT_EQ(ws().modes.EditStep, 14);
    w_->UndoClick();
    EXPECT_FALSE(ws().modes.RotateMode);
    const auto before = snapshot();
    click({450, 450});  // would have fixed the rotation
    EXPECT_EQ(snapshot(), before);
    for (const auto& o : ws().map.ObjList) EXPECT_GT(o->PointCount(), 0);
}

TEST_F(Lifecycle, ALabelIsNotTiedToAnObjectTakenBack) {
    auto label = std::make_shared<TNaz>();
    label->OldName = "Label";
    label->X1 = 1100 - 150;  // from (700, 150) to (800, 150)
    label->Y1 = 700 - 100;
    label->X2 = 1100 - 150;
    label->Y2 = 800 - 100;
    w_->names().MapNames.push_back(label);
    // A point object made last, then "Привязать к объекту": label, object.
    ws().classifier.CurrentSemantic = {};
    ws().classifier.CurrentSemantic.Code = 2402;
    act("PointButton")->trigger();
    click({1000, 1000});
    act("OtmenaCrea")->trigger();
    ASSERT_EQ(ws().map.ObjList.size(), 6u);
    act("JoinNazObj")->trigger();
    click({700, 150});
    click({1000, 1000});
    ASSERT_EQ(ws().modes.ClickCount, 2);
    w_->UndoClick();  // the point object goes
    ASSERT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_TRUE(ws().modes.NameJoinMode);
    EXPECT_EQ(ws().modes.ClickCount, 1);
    EXPECT_EQ(panel(4), QStringLiteral("Укажтие объект."));
    dialogs_.clear();
    click({1000, 1000});  // nothing there now
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не найден")});
    EXPECT_EQ(label->BoundObject, -1);
    EXPECT_EQ(label->Anchor, 0);
    // The tree instead: tied at its vertex.
    click({900, 900});
    dialogs_.options = {0};
    click({900, 900});
    EXPECT_EQ(label->Anchor, 1);
    EXPECT_EQ(label->BoundObject, ws().map.ObjList[3]->Number);
    EXPECT_EQ(ws().map.ObjList[3]->Name, "Label");
}

TEST_F(Lifecycle, TheStreetRegisterGoesWithItsMap) {
    Trues s;
    s.OldName = "Old";
    s.NewName = "New";
    s.Axis = {toMap({200, 300}), toMap({400, 300})};
    SaveStreets(city() / "darvent.rue", {std::make_shared<Trues>(s)});
    const auto rue = readWholeFile(city() / "darvent.rue");
    w_->streetTools().RueMenuOpened();
    ASSERT_EQ(w_->streets().Streets.size(), 1u);
    // A cut of the map keeps the register; it takes the undo history along.
    act("FindButton")->trigger();
    click({900, 900});
    act("DeleteButton")->trigger();
    ASSERT_TRUE(act("UndoAction")->isEnabled());
    act("LassoGrn")->trigger();
    press({150, 150});
    for (QPoint p : {QPoint(750, 150), QPoint(750, 750), QPoint(150, 750)}) move(p, Qt::LeftButton);
    release({150, 750});
    ASSERT_EQ(ws().map.ObjList[3]->PointCount(), 0);  // the contour is cut away
    EXPECT_FALSE(act("UndoAction")->isEnabled());
    EXPECT_EQ(w_->streets().Streets.size(), 1u);
    EXPECT_TRUE(act("RueSave")->isEnabled());
    // The house form of the street, "Создать дом" armed, then another map.
    w_->streets().CurrentStreet = w_->streets().Streets[0];
    w_->streetTools().RueDomaClick();
    HouseForm& hf = *w_->houseForm();
    ASSERT_TRUE(hf.isVisible());
    hf.numberEdit()->setText(QStringLiteral("12"));
    hf.floorsEdit()->setText(QStringLiteral("3"));
    hf.button("CreaButton")->click();
    ASSERT_TRUE(ws().modes.HousePlaceMode);
    dialogs_.answers = {A::No};  // the cut map is not saved
    ASSERT_TRUE(openDistrict());
    EXPECT_TRUE(w_->streets().Streets.empty());
    EXPECT_EQ(w_->streets().CurrentStreet, nullptr);
    EXPECT_FALSE(ws().modes.HousePlaceMode);
    EXPECT_FALSE(hf.isVisible());
    EXPECT_TRUE(act("RueLoad")->isEnabled());
    EXPECT_FALSE(act("RueSave")->isEnabled());
    click({500, 500});  // no house goes anywhere
    // Closing writes no street file anywhere.
    w_->close();
    EXPECT_FALSE(fs::exists(city() / "a.rue"));
    EXPECT_EQ(readWholeFile(city() / "darvent.rue"), rue);
}

TEST_F(Lifecycle, TheHouseFormFollowsTheStreetAndItsCrossEndsPlacing) {
    Trues s;
    s.OldName = "Old";
    s.Axis = {toMap({200, 300}), toMap({400, 300})};
    Trues t = s;
    t.OldName = "Other";
    const TXY name = toMap({600, 400});
    t.X1 = name.X;
    t.Y1 = name.Y;
    w_->streets().Streets = {std::make_shared<Trues>(s), std::make_shared<Trues>(t)};
    w_->streets().CurrentStreet = w_->streets().Streets[0];
    w_->streetTools().RueDomaClick();
    HouseForm& hf = *w_->houseForm();
    EXPECT_EQ(hf.streetLabel()->text(), QStringLiteral("Old"));
    // "Показать ось" of the other street: the form shows its houses, and a
    // house armed for the first street is not placed on the second.
    hf.floorsEdit()->setText(QStringLiteral("2"));
    hf.button("CreaButton")->click();
    ASSERT_TRUE(ws().modes.HousePlaceMode);
    w_->streetTools().ShowRueAxeClick();
    click({600, 400});
    ASSERT_EQ(w_->streets().CurrentStreet, w_->streets().Streets[1]);
    EXPECT_EQ(hf.streetLabel()->text(), QStringLiteral("Other"));
    EXPECT_FALSE(ws().modes.HousePlaceMode);
    click({500, 500});
    EXPECT_TRUE(w_->streets().Streets[1]->Houses.empty());
    w_->streets().CurrentStreet = w_->streets().Streets[0];
    w_->streetTools().RueDomaClick();
    hf.floorsEdit()->setText(QStringLiteral("2"));
    hf.button("CreaButton")->click();
    ASSERT_TRUE(ws().modes.HousePlaceMode);
    hf.close();
    EXPECT_FALSE(ws().modes.HousePlaceMode);
    click({500, 500});
    EXPECT_TRUE(w_->streets().Streets[0]->Houses.empty());
}

TEST_F(Lifecycle, AStreetStartedWhileAnObjectIsDrawnEndsTheObject) {
    Trues s;
    s.OldName = "Old";
    s.Axis = {toMap({200, 300}), toMap({400, 300})};
    SaveStreets(city() / "darvent.rue", {std::make_shared<Trues>(s)});
    w_->streetTools().RueMenuOpened();
    ws().classifier.CurrentSemantic.Code = 2402;
    act("PointButton")->trigger();  // a point object armed
    dialogs_.names = {std::make_pair(QStringLiteral("Новая"), QString())};
    act("RueNewCreaMenu")->trigger();
    click({100, 100});
    click({200, 100});  // the name
    ASSERT_TRUE(ws().modes.CreateMode);
    click({100, 150});
    move({200, 150});
    click({200, 150});
    click({300, 150}, Qt::RightButton);
    EXPECT_EQ(ws().map.ObjList.size(), 5u);  // no point objects
    ASSERT_EQ(w_->streets().Streets.size(), 2u);
    EXPECT_EQ(w_->streets().Streets[1]->Axis, (std::vector<TXY>{toMap({100, 150}), toMap({200, 150})}));
    // The rubber band of the axis was taken off: only the street's own
    // drawing (name) is on the picture near the axis's middle.
    EXPECT_EQ(ws().view.image.pixel(150, 160), qRgb(255, 255, 255));
}

TEST_F(Lifecycle, ALassoWithoutAnAreaCutsNothing) {
    act("LassoGrn")->trigger();
    press({100, 100});
    for (QPoint p : {QPoint(200, 200), QPoint(300, 300), QPoint(500, 500)}) move(p, Qt::LeftButton);
    release({500, 500});
    for (const auto& o : ws().map.ObjList) EXPECT_GT(o->PointCount(), 0);
    EXPECT_FALSE(ws().map.MapModified);
    // Three points within one pixel: the same.
    act("LassoGrn")->trigger();
    press({300, 300});
    for (QPoint p : {QPoint(301, 300), QPoint(301, 301), QPoint(300, 301)}) move(p, Qt::LeftButton);
    release({300, 301});
    for (const auto& o : ws().map.ObjList) EXPECT_GT(o->PointCount(), 0);
    EXPECT_EQ(panel(4), QStringLiteral("Граница не нарисована."));
    // A lasso whose first points lie on one line but that encloses the
    // streets cuts.
    act("LassoGrn")->trigger();
    press({150, 150});
    for (QPoint p : {QPoint(151, 150), QPoint(300, 150), QPoint(450, 150), QPoint(550, 150), QPoint(550, 550),
                     QPoint(150, 550)})
        move(p, Qt::LeftButton);
    release({150, 550});
    EXPECT_EQ(ws().map.ObjList[0]->PointCount(), 3);
    EXPECT_EQ(ws().map.ObjList[3]->PointCount(), 0);  // the tree is outside
    EXPECT_FALSE(ws().map.MapModified);  // a cut is not a change of the map it came from
    // Closing asks nothing about the map: the cut is not written over it.
    const auto bin = readWholeFile(city() / "Darvent.bin");
    w_->close();
    EXPECT_TRUE(dialogs_.texts("question3").isEmpty());
    EXPECT_EQ(readWholeFile(city() / "Darvent.bin"), bin);
}

TEST_F(Lifecycle, ShowingADistrictMapOnlyClosesTheDialog) {
    fs::create_directories(dir_ / "fergaobl");
    const std::string ray = "Dist;dist;\r\nNone;none;\r\n";
    writeFileAtomically(dir_ / "fergaobl" / "fergaobl.ray", std::vector<uint8_t>(ray.begin(), ray.end()));
    WriteOrientation(dir_ / "fergaobl" / "dist.or", {1000, 600, 400, 0, 0, 1, {0, 0, 0}, 0});
    SaveObjects(dir_ / "fergaobl" / "dist.bin", TObjList{});
    composeAndStore();
    w_->districts().Settlements.push_back(std::make_unique<TNasPunkt>());
    int result = -1;
    dialogs_.onDialog = [&](QDialog& d) {
        auto& dlg = static_cast<TRayonDlg&>(d);
        dlg.list()->setCurrentRow(0);
        // Cancel on the question about the changed map: nothing changes.
        dialogs_.answers = {A::Cancel};
        dlg.button("MapButton")->click();
        EXPECT_EQ(dlg.result(), 0);
        EXPECT_EQ(w_->districts().Settlements.size(), 1u);
        EXPECT_EQ(ws().map.ObjList.size(), 6u);
        // A district without a map: told, and the dialog closes all the same.
        dlg.list()->setCurrentRow(1);
        dialogs_.answers = {A::No};
        dialogs_.clear();
        dlg.button("MapButton")->click();
        EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Карта не создана.")));
        result = dlg.result();
        return result;
    };
    act("SaveRay")->trigger();
    EXPECT_EQ(result, TRayonDlg::kMapShownResult);
    EXPECT_EQ(ws().map.ObjList.size(), 6u);  // the open map stays
    EXPECT_TRUE(w_->districts().Settlements.empty());
    EXPECT_FALSE(fs::exists(dir_ / "fergaobl" / "none")) << "no boundary file is written";
}

TEST_F(Lifecycle, WhilePrintingOnlyEscReachesTheProgram) {
    const fs::path pdf = dir_ / "map.pdf";
    dialogs_.onPrinter = [&pdf](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    QToolButton* printButton = toolButton("PrintMapButton");
    ASSERT_NE(printButton, nullptr);
    // During the job: Ctrl+O, a click on "Печать карты", F10 and the window's
    // close; none of them does anything.
    // A middle-button drag under way when the job starts ends with its
    // release during the job.
    auto middle = [&](QEvent::Type t, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(t, QPointF(at), image()->mapToGlobal(QPointF(at)),
                      t == QEvent::MouseMove ? Qt::NoButton : Qt::MiddleButton, held, Qt::NoModifier);
        QApplication::sendEvent(image(), &e);
    };
    middle(QEvent::MouseButtonPress, {400, 400}, Qt::MiddleButton);
    middle(QEvent::MouseMove, {450, 430}, Qt::MiddleButton);
    ASSERT_EQ(image()->cursor().shape(), Qt::ClosedHandCursor);
    bool ran = false;
    QTimer::singleShot(0, w_.get(), [&] {
        ran = true;
        EXPECT_TRUE(w_->isPrinting());
        middle(QEvent::MouseButtonRelease, {450, 430}, Qt::NoButton);
        QTest::keyClick(w_.get(), Qt::Key_O, Qt::ControlModifier);
        QTest::mouseClick(printButton, Qt::LeftButton);
        QTest::keyClick(w_.get(), Qt::Key_F10);
        w_->close();
        click({300, 300});
    });
    printButton->click();
    EXPECT_TRUE(ran);
    EXPECT_EQ(dialogs_.texts("print").size(), 1);
    EXPECT_TRUE(dialogs_.texts("open").isEmpty());
    EXPECT_EQ(dialogs_.texts("message"),
              QStringList{QStringLiteral("Карта напечатана в файл ") + QString::fromStdString(pdf.string())});
    EXPECT_TRUE(w_->isVisible());
    EXPECT_GT(fs::file_size(pdf), 1000u);
    EXPECT_NE(image()->cursor().shape(), Qt::ClosedHandCursor);
    // The page throws (memory ran out), or deflating the map fails: the job
    // is not finished, the old file stays, the window is itself again.
    const auto printed = readWholeFile(pdf);
    for (int fault = 0; fault < 2; ++fault) {
        w_->printJobHook = [fault](PrintJob& job) {
            if (fault == 0) job.aborted = []() -> bool { throw std::bad_alloc(); };
            else job.deflateHook = [](z_stream_s&) { throw std::bad_alloc(); };
        };
        dialogs_.clear();
        printButton->click();
        EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Печать не завершена.")}) << fault;
        EXPECT_EQ(readWholeFile(pdf), printed);
        EXPECT_FALSE(w_->isPrinting());
        EXPECT_FALSE(w_->isBusy());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    w_->printJobHook = nullptr;
    // Esc still stops a job.
    QTimer::singleShot(0, w_.get(), [&] { QTest::keyClick(w_.get(), Qt::Key_Escape); });
    dialogs_.clear();
    printButton->click();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Printing aborted")});
    // After the job the keys work again.
    dialogs_.files = {std::nullopt};
    QTest::keyClick(w_.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs_.texts("open").size(), 1);
}

TEST_F(Lifecycle, AStreetsFileReadInPartIsNotCutDownWithoutAQuestion) {
    Trues s;
    s.OldName = "One";
    s.Axis = {toMap({200, 300}), toMap({400, 300})};
    SaveStreets(city() / "darvent.rue", {std::make_shared<Trues>(s), std::make_shared<Trues>(s)});
    auto bytes = readWholeFile(city() / "darvent.rue");
    bytes.resize(bytes.size() - 3);  // the second street cut short
    writeFileAtomically(city() / "darvent.rue", bytes);
    act("RueLoad")->trigger();
    ASSERT_EQ(w_->streets().Streets.size(), 1u);
    EXPECT_TRUE(ws().files.StreetsModified);
    EXPECT_TRUE(act("RueLoad")->isEnabled());
    const QString question = QStringLiteral("Файл %1 прочитан не полностью (1 записей). Сохранить только прочитанное?")
                                 .arg(QString::fromStdString((city() / "darvent.rue").string()));
    dialogs_.clear();
    dialogs_.answers = {A::No};
    act("RueSave")->trigger();
    EXPECT_EQ(dialogs_.texts("question"), QStringList{question});
    EXPECT_EQ(readWholeFile(city() / "darvent.rue"), bytes);
    EXPECT_TRUE(ws().files.StreetsModified);
    // Closing: Yes to the streets, No to the file read in part: the file
    // stays and the program closes.
    dialogs_.clear();
    dialogs_.answers = {A::Yes, A::No};
    w_->close();
    EXPECT_FALSE(w_->isVisible());
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения в улицах?")});
    EXPECT_EQ(dialogs_.texts("question"), QStringList{question});
    EXPECT_EQ(readWholeFile(city() / "darvent.rue"), bytes);
}

TEST_F(Lifecycle, AStreetsFileReadInPartIsWrittenAfterYes) {
    Trues s;
    s.OldName = "One";
    SaveStreets(city() / "darvent.rue", {std::make_shared<Trues>(s), std::make_shared<Trues>(s)});
    auto bytes = readWholeFile(city() / "darvent.rue");
    const size_t oneStreet = bytes.size() / 2;
    bytes.resize(bytes.size() - 3);
    writeFileAtomically(city() / "darvent.rue", bytes);
    act("RueLoad")->trigger();
    dialogs_.clear();
    dialogs_.answers = {A::Yes};
    act("RueSave")->trigger();
    EXPECT_EQ(dialogs_.texts("question").size(), 1);
    EXPECT_EQ(fs::file_size(city() / "darvent.rue"), oneStreet);
    EXPECT_FALSE(ws().files.StreetsModified);
    dialogs_.clear();
    act("RueSave")->trigger();  // the file is whole now: no question
    EXPECT_TRUE(dialogs_.texts("question").isEmpty());
}

TEST_F(Lifecycle, ANamesFileReadInPartIsNotCutDownWithoutAQuestion) {
    std::vector<NameRef> labels;
    for (const char* t : {"A", "B", "C"}) {
        auto n = std::make_shared<TNaz>();
        n->OldName = t;
        n->X1 = n->X2 = 500;
        n->Y1 = 100;
        n->Y2 = 200;
        labels.push_back(n);
    }
    SaveNames(city() / "Darvent.nam", labels);
    auto bytes = readWholeFile(city() / "Darvent.nam");
    bytes.resize(bytes.size() - 2);
    writeFileAtomically(city() / "Darvent.nam", bytes);
    act("FergKartaMenu")->trigger();
    ASSERT_EQ(w_->names().MapNames.size(), 2u);
    EXPECT_TRUE(ws().files.NamesModified);
    EXPECT_TRUE(w_->windowTitle().endsWith(QLatin1Char('*')));
    dialogs_.clear();
    dialogs_.answers = {A::No};
    act("NazSave")->trigger();
    ASSERT_EQ(dialogs_.texts("question").size(), 1);
    EXPECT_TRUE(dialogs_.texts("question")[0].contains(QStringLiteral("(2 записей)")));
    EXPECT_EQ(readWholeFile(city() / "Darvent.nam"), bytes);
    EXPECT_TRUE(ws().files.NamesModified);
}

TEST_F(Lifecycle, AStopsFileReadInPartAndTheWindowsOwnState) {
    std::vector<StopRef> stops;
    for (const char* n : {"Alpha", "Beta", "Gamma"}) {
        auto s = std::make_shared<TOstnv>();
        s->Name = n;
        s->BusRoutes = n;
        s->X = 500;
        s->Y = 400;
        stops.push_back(s);
    }
    SaveStops(city() / "ostanov.dat", stops);
    TMetro m;
    m.Name = "M";
    SaveMetro(city() / "metro.dat", {m, m});
    auto metro = readWholeFile(city() / "metro.dat");
    metro.pop_back();
    writeFileAtomically(city() / "metro.dat", metro);
    auto bytes = readWholeFile(city() / "ostanov.dat");
    bytes.resize(bytes.size() - 4);
    writeFileAtomically(city() / "ostanov.dat", bytes);
    act("OstnvMenu")->trigger();
    StopsWindow& s = *w_->stopsWindow();
    ASSERT_EQ(s.Stops.size(), 2u);
    ASSERT_EQ(s.MetroStations.size(), 1u);
    EXPECT_EQ(dialogs_.asked.size(), 2u);  // both damages are told
    // "SaveMetro" asks too; No writes nothing.
    dialogs_.clear();
    dialogs_.answers = {A::No};
    s.pushButton("Button3")->click();
    EXPECT_EQ(dialogs_.texts("question").size(), 1);
    EXPECT_EQ(readWholeFile(city() / "metro.dat"), metro);
    EXPECT_TRUE(s.StopsModified);
    // Typed text and a new stop survive a minimise and restore.
    s.edit(6)->setText(QStringLiteral("typed"));
    s.showMinimized();
    s.showNormal();
    QShowEvent restored;
    QSpontaneKeyEvent::setSpontaneous(&restored);
    qApp->notify(&s, &restored);  // sendEvent would make it non-spontaneous
    EXPECT_EQ(s.edit(6)->text(), QStringLiteral("typed"));
    EXPECT_EQ(s.Stops.size(), 2u);
    // The selection moved with the keyboard shows the stop's data, and the
    // correction goes into that stop.
    s.list()->setFocus();
    s.list()->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(s.list(), Qt::Key_Down);
    QTest::keyClick(s.list(), Qt::Key_Space);
    ASSERT_EQ(s.list()->selectedItems().size(), 1);
    ASSERT_EQ(s.list()->selectedItems()[0]->text(), QStringLiteral("Beta; 1"));
    EXPECT_EQ(s.edit(6)->text(), QStringLiteral("Beta"));
    s.edit(6)->setText(QStringLiteral("77"));
    s.toolButton("KorrButton")->click();
    EXPECT_EQ(s.Stops[1]->BusRoutes, "77");
    EXPECT_EQ(s.Stops[0]->BusRoutes, "Alpha");
    // Deleted: the stop in hand goes too; a correction then refuses.
    s.toolButton("DelButton")->click();
    ASSERT_EQ(s.Stops.size(), 1u);
    EXPECT_EQ(s.CurrentStop, nullptr);
    // Saving asks about the file read in part; No writes nothing.
    dialogs_.clear();
    dialogs_.answers = {A::No};
    s.pushButton("SaveButton")->click();
    EXPECT_EQ(dialogs_.texts("question").size(), 1);
    EXPECT_EQ(readWholeFile(city() / "ostanov.dat"), bytes);
    // Closing with Cancel keeps the window but switches blinking off.
    s.toolButton("BlickButton")->click();
    ASSERT_TRUE(s.blinking());
    dialogs_.answers = {A::Cancel};
    s.close();
    EXPECT_TRUE(s.isVisible());
    EXPECT_FALSE(s.blinking());
    EXPECT_FALSE(s.toolButton("BlickButton")->isChecked());
    dialogs_.answers = {A::No};
    s.close();
}

TEST_F(Lifecycle, TheUserFormKeepsItsOwnFigure) {
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = *w_->userAreaForm();
    f.nameEdit()->setText(QStringLiteral("Пост"));
    f.figureButton(5)->setChecked(true);  // square
    f.figureSize()->setValue(40);
    // Something to take back later, and a lasso without an area that
    // leaves its points behind.
    act("FindButton")->trigger();
    click({900, 900});
    act("DeleteButton")->trigger();
    act("LassoGrn")->trigger();
    press({100, 100});
    for (int x = 110; x <= 200; x += 10) move({x, 100}, Qt::LeftButton);
    release({200, 100});
    ASSERT_GT(ws().modes.InputPoints.size(), 3u);
    f.pushButton("CreaRvdButton")->click();
    // "Переместить" of the labels leaves the click count at 10: the next map
    // click starts the figure.
    act("MoveNazv")->trigger();
    ASSERT_EQ(ws().modes.ClickCount, 10);
    ws().modes.NameMoveMode = false;
    click({500, 500});
    EXPECT_EQ(ws().modes.ClickCount, 1);
    EXPECT_EQ(ws().modes.InputPoints.size(), 3u);
    click({600, 500});
    // An undo between the clicks does not disturb the figure.
    act("UndoAction")->trigger();
    ASSERT_EQ(ws().map.ObjList.size(), 5u);
    ASSERT_EQ(ws().modes.ClickCount, 2);
    click({560, 560});
    ASSERT_FALSE(ws().modes.UserAreaDrawMode);
    // A selection elsewhere replaces the shared screen points; another map
    // then opens: "Запомнить" still stores the square as it was built.
    act("FindButton")->trigger();
    click({300, 300});
    dialogs_.answers = {A::No};
    ASSERT_TRUE(openDistrict());
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    const std::vector<TXY> square = {toMap({500, 500}), toMap({540, 500}), toMap({540, 540}), toMap({500, 540}),
                                     toMap({500, 500})};
    EXPECT_EQ(f.UserAreas[0]->Points, square);
    // Typed text survives a minimise and restore.
    f.nameEdit()->setText(QStringLiteral("Склад"));
    QShowEvent restored;
    QSpontaneKeyEvent::setSpontaneous(&restored);
    qApp->notify(&f, &restored);
    EXPECT_EQ(f.nameEdit()->text(), QStringLiteral("Склад"));
    // "Загрузить" asks about the unsaved area first; Cancel keeps it.
    dialogs_.clear();
    dialogs_.answers = {A::Cancel};
    f.pushButton("LoadButton")->click();
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения?")});
    EXPECT_TRUE(dialogs_.texts("open").isEmpty());
    EXPECT_EQ(f.UserAreas.size(), 1u);
    // Closing with Cancel switches blinking off all the same.
    f.list()->item(0)->setSelected(true);
    f.toolButton("ShowRovdButton")->click();
    f.toolButton("BlickRovdButton")->click();
    ASSERT_TRUE(f.blinking());
    dialogs_.answers = {A::Cancel};
    f.close();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.blinking());
    dialogs_.answers = {A::No};
    f.close();
}

TEST_F(Lifecycle, AnAreasFileReadInPartIsNotCutDownWithoutAQuestion) {
    std::vector<AreaRef> areas;
    for (const char* n : {"One", "Two"}) {
        auto a = std::make_shared<TRovd>();
        a->Name = n;
        a->Figure = 3;
        a->Points = {toMap({100, 100}), toMap({120, 100})};
        areas.push_back(a);
    }
    SaveUserAreas(dir_ / "places.dat", areas);
    auto bytes = readWholeFile(dir_ / "places.dat");
    bytes.resize(bytes.size() - 1);
    writeFileAtomically(dir_ / "places.dat", bytes);
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = *w_->userAreaForm();
    dialogs_.files = {QString::fromStdString((dir_ / "places.dat").string())};
    f.pushButton("LoadButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    EXPECT_TRUE(f.UserAreasModified);
    dialogs_.clear();
    dialogs_.files = {QString::fromStdString((dir_ / "places").string())};
    dialogs_.answers = {A::No};
    f.pushButton("SaveRvdButton")->click();
    EXPECT_EQ(dialogs_.texts("question").size(), 1);
    EXPECT_EQ(readWholeFile(dir_ / "places.dat"), bytes);
    // Another file is written without the question.
    dialogs_.clear();
    dialogs_.files = {QString::fromStdString((dir_ / "copy").string())};
    f.pushButton("SaveRvdButton")->click();
    EXPECT_TRUE(dialogs_.texts("question").isEmpty());
    EXPECT_TRUE(fs::exists(dir_ / "copy.dat"));
    dialogs_.answers = {A::No};
    f.close();
}

TEST(UndoHistoryLifecycle, AnObjectRemovedOutsideTheHistoryTakesItsStepsAlong) {
    MapDoc doc;
    for (int i = 0; i < 3; ++i) {
        auto o = std::make_unique<TObj>();
        o->Points = {{double(i), 0}};
        doc.ObjList.append(std::move(o));
    }
    UndoHistory h(doc);
    TObj* a = doc.ObjList[0];
    TObj* b = doc.ObjList[1];
    h.begin("a");
    h.willChange(a);
    a->Points[0].X = 10;
    h.commit();
    h.begin("b");
    h.willChange(b);
    b->Points[0].X = 11;
    h.commit();
    std::vector<MapEvent::Kind> told;
    MapSubscription sub(doc.events, [&](const MapEvent& e) { told.push_back(e.kind); });
    // "a" goes: its step and everything older cannot be taken back; "b" can.
    ASSERT_TRUE(doc.removeObject(a));
    EXPECT_EQ(told, std::vector<MapEvent::Kind>{MapEvent::Removed});
    ASSERT_TRUE(h.canUndo());
    EXPECT_EQ(h.undoText(), QStringLiteral("b"));
    ASSERT_TRUE(h.undo());
    EXPECT_EQ(b->Points[0].X, 1);
    EXPECT_FALSE(h.canUndo());
    EXPECT_TRUE(h.canRedo());
    EXPECT_EQ(told.back(), MapEvent::Restored);
    ASSERT_TRUE(h.redo());
    EXPECT_EQ(b->Points[0].X, 11);
    ASSERT_TRUE(h.undo());
    // A removal through the history keeps the history.
    h.begin("remove b");
    h.remove(b);
    h.commit();
    EXPECT_TRUE(h.canUndo());
    h.undo();
    EXPECT_EQ(doc.ObjList.indexOf(b), 0);
    // Opening another map empties it.
    doc.events.notify(MapEvent::Opened);
    EXPECT_FALSE(h.canUndo());
    EXPECT_FALSE(h.canRedo());
}

TEST(UndoHistoryLifecycle, RegisterStepsLeaveTheMapAloneAndGoWhenTheirRegisterIsReadAgain) {
    MapDoc doc;
    auto o = std::make_unique<TObj>();
    o->Points = {{1, 0}};
    TObj* obj = o.get();
    doc.ObjList.append(std::move(o));
    UndoHistory h(doc);
    int steps = 0;
    h.stepsChanged = [&] { ++steps; };
    std::vector<std::shared_ptr<int>> stops{std::make_shared<int>(1), std::make_shared<int>(2)};
    std::vector<std::shared_ptr<int>> areas{std::make_shared<int>(7)};
    char stopsTag = 0, areasTag = 0;
    // A stop deleted, a map object changed, an area's value changed.
    {
        RegisterEdit<int> e(stops);
        stops.erase(stops.begin());
        e.commit(h, &stopsTag, QStringLiteral("stop"), nullptr);
    }
    EXPECT_EQ(steps, 1);
    h.begin("map");
    h.willChange(obj);
    obj->Points[0].X = 5;
    h.commit();
    int restoredAreas = 0;
    {
        RegisterEdit<int> e(areas, areas[0]);
        *areas[0] = 8;
        e.commit(h, &areasTag, QStringLiteral("area"), [&] { ++restoredAreas; });
    }
    doc.MapModified = false;
    doc.CurObj = obj;
    ASSERT_TRUE(h.undo());  // the area: the map's flag and current object stay
    EXPECT_EQ(*areas[0], 7);
    EXPECT_EQ(restoredAreas, 1);
    EXPECT_FALSE(doc.MapModified);
    EXPECT_EQ(doc.CurObj, obj);
    ASSERT_TRUE(h.redo());
    EXPECT_EQ(*areas[0], 8);
    EXPECT_EQ(restoredAreas, 2);
    ASSERT_TRUE(h.undo());
    ASSERT_TRUE(h.undo());  // the map's step marks the map
    EXPECT_EQ(obj->Points[0].X, 1);
    EXPECT_TRUE(doc.MapModified);
    // The stops read again: their step goes, the others stay where they were.
    const int before = steps;
    h.forget(&stopsTag);
    EXPECT_GT(steps, before);
    EXPECT_FALSE(h.canUndo());
    ASSERT_TRUE(h.redo());
    EXPECT_EQ(obj->Points[0].X, 5);
    ASSERT_TRUE(h.redo());
    EXPECT_EQ(*areas[0], 8);
    EXPECT_FALSE(h.canRedo());
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(*stops[0], 2);
    h.forget(&areasTag);
    EXPECT_EQ(h.undoText(), QStringLiteral("map"));
}

// "Запомнить" of the stops window and of the user form makes a new record;
// the one chosen in the list in between stays as it was, and undo takes
// back only the new one.
TEST_F(Lifecycle, RememberMakesANewRecordAndLeavesTheOneChosenInTheList) {
    act("OstnvMenu")->trigger();
    StopsWindow& s = *w_->stopsWindow();
    auto stop = [&](const char* name, QPoint at) {
        s.edit(1)->setText(QString::fromUtf8(name));
        s.edit(2)->setText(QString::fromUtf8(name));
        s.pushButton("CreaOstButton")->click();
        click(at);
        s.pushButton("Button2")->click();
    };
    stop("Чорсу", {500, 500});
    stop("Анхор", {300, 700});
    s.edit(1)->setText(QStringLiteral("Бешагач"));
    s.pushButton("CreaOstButton")->click();
    s.list()->item(1)->setSelected(true);  // "Чорсу; 0" becomes current
    s.listClicked();
    click({800, 200});
    s.pushButton("Button2")->click();
    ASSERT_EQ(s.Stops.size(), 3u);
    EXPECT_EQ(cp1251ToUtf8(s.Stops[0]->Name), "Чорсу");
    EXPECT_EQ(toPixel(s.Stops[0]->X, s.Stops[0]->Y), QPoint(500, 500));
    EXPECT_EQ(s.Stops[0]->Number, 0);
    EXPECT_EQ(cp1251ToUtf8(s.Stops[2]->Name), "Бешагач");
    EXPECT_EQ(toPixel(s.Stops[2]->X, s.Stops[2]->Y), QPoint(800, 200));
    EXPECT_EQ(s.Stops[2]->Number, 2);
    act("UndoAction")->trigger();
    ASSERT_EQ(s.Stops.size(), 2u);
    EXPECT_EQ(toPixel(s.Stops[0]->X, s.Stops[0]->Y), QPoint(500, 500));

    // The user form: an area shown with "Пк", renamed, "Запомнить".
    act("RayOtdelMenu")->trigger();
    UserAreaForm& f = *w_->userAreaForm();
    f.nameEdit()->setText(QStringLiteral("Склад"));
    f.note()->setPlainText(QStringLiteral("старая"));
    f.pushButton("CreaRvdButton")->click();
    click({500, 500});
    click({540, 500});
    click({520, 520});
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 1u);
    const AreaRef first = f.UserAreas[0];
    const TRovd before = *first;
    f.list()->item(0)->setSelected(true);
    f.toolButton("ShowRovdButton")->click();
    f.nameEdit()->setText(QStringLiteral("Пост"));
    f.note()->setPlainText(QStringLiteral("новая"));
    f.pushButton("ListRvdButton")->click();
    ASSERT_EQ(f.UserAreas.size(), 2u);
    EXPECT_EQ(f.UserAreas[0], first);
    EXPECT_EQ(first->Name, before.Name);
    EXPECT_EQ(first->Lines, before.Lines);
    EXPECT_EQ(cp1251ToUtf8(f.UserAreas[1]->Name), "Пост");
    EXPECT_EQ(f.UserAreas[1]->Points, before.Points);
    EXPECT_EQ(f.UserAreas[1]->Number, 1);
    dialogs_.answers = {A::No, A::No};
    f.close();
    s.close();
}

// A stops step undone while the window is closed is not read over when it
// opens again: the question first (Cancel keeps the list in memory).
TEST_F(Lifecycle, AStopsStepUndoneWhileTheWindowIsClosedIsAskedAbout) {
    std::vector<StopRef> stops;
    for (const char* n : {"Alpha", "Beta"}) {
        auto st = std::make_shared<TOstnv>();
        st->Name = n;
        stops.push_back(st);
    }
    SaveStops(city() / "ostanov.dat", stops);
    act("OstnvMenu")->trigger();
    StopsWindow& s = *w_->stopsWindow();
    // Deleted and saved, the window closed, the deletion undone.
    auto deleteSaveCloseUndo = [&] {
        s.list()->clearSelection();
        s.list()->item(0)->setSelected(true);
        s.toolButton("DelButton")->click();
        s.pushButton("SaveButton")->click();
        s.close();
        act("UndoAction")->trigger();
        ASSERT_EQ(s.Stops.size(), 2u);
        dialogs_.clear();
    };
    auto onDisk = [&] {
        std::vector<StopRef> v;
        LoadStops(city() / "ostanov.dat", v);
        return v.size();
    };
    deleteSaveCloseUndo();
    dialogs_.answers = {A::Yes};  // saved, then read
    act("OstnvMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить изменения?")});
    EXPECT_EQ(onDisk(), 2u);
    EXPECT_FALSE(s.StopsModified);
    deleteSaveCloseUndo();
    dialogs_.answers = {A::Cancel};  // the list stays as it is in memory
    act("OstnvMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3").size(), 1);
    EXPECT_EQ(onDisk(), 1u);
    EXPECT_EQ(s.list()->count(), 2);
    EXPECT_TRUE(s.StopsModified);
    // Closed with No: the next opening reads the file without a question.
    dialogs_.answers = {A::No};
    s.close();
    act("OstnvMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3").size(), 2);
    EXPECT_EQ(s.Stops.size(), 1u);
    // An undo after such a closing asks again on opening.
    s.list()->item(0)->setSelected(true);
    s.toolButton("DelButton")->click();
    dialogs_.answers = {A::No, A::Cancel};
    s.close();
    act("UndoAction")->trigger();
    act("OstnvMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3").size(), 4);
    EXPECT_EQ(s.list()->count(), 1);
}
