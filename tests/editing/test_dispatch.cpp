#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/StatusPanels.h"
#include "cli/SampleCity.h"
#include "common/SmallMapFixture.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <QAction>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

using DispatchTest = SmallMapFixture;

TEST_F(DispatchTest, SelectionShowsTheObjectAndEnablesTheObjectCommands) {
    EXPECT_FALSE(act("BringToFirst")->isEnabled());
    act("FindButton")->trigger();
    EXPECT_TRUE(act("FindButton")->isChecked());
    click({350, 302});
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList[0]);
    EXPECT_EQ(ws().modes.FoundNumber, 0);
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    EXPECT_TRUE(act("BlickButton")->isChecked());
    EXPECT_FALSE(ws().view.blink.BlinkAsPoints);
    EXPECT_EQ(panel(4), QStringLiteral("Дороги...улицы 3060"));
    EXPECT_EQ(panel(5), QStringLiteral("Длина= 400.0 м."));
    EXPECT_TRUE(act("BringToFirst")->isEnabled());
    EXPECT_TRUE(act("SuitButton")->isEnabled());
    EXPECT_TRUE(act("DeleteButton")->isEnabled());
    EXPECT_TRUE(ws().modes.SelectMode);              // selection stays on
    // A house: area and perimeter; a tree blinks as points; a contour shows its elevation.
    click({650, 600});
    EXPECT_EQ(panel(5), QStringLiteral("Площадь=      1.00 га. Периметр=400.0 м."));
    click({901, 899});
    EXPECT_TRUE(ws().view.blink.BlinkAsPoints);
    click({150, 800});
    EXPECT_EQ(panel(3), QStringLiteral("415.0"));
    // A miss.
    click({1000, 100});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не найден")});
    EXPECT_TRUE(ws().map.EditPoints.empty());
    EXPECT_EQ(panel(3), QStringLiteral("-1"));
    // "Отмена" of the editor menu ends it all.
    act("OtmenaRedk")->trigger();
    EXPECT_FALSE(ws().modes.SelectMode);
    EXPECT_FALSE(act("BringToFirst")->isEnabled());
    EXPECT_FALSE(ws().view.blink.BlinkOn);
}

TEST_F(DispatchTest, FindNextObjectUnderTheSamePoint) {
    act("FindButton")->trigger();
    click({300, 300});
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList[0]);
    act("SuitButton")->trigger();
    EXPECT_TRUE(ws().modes.FindNextPending);
    click({300, 300});
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList[1]);
    EXPECT_FALSE(ws().modes.FindNextPending);
    // Nothing after the last one under the point.
    act("SuitButton")->trigger();
    click({300, 300});
    click({300, 300});  // the first click found object 0, the search after it object 1
    act("SuitButton")->trigger();
    ws().map.CurObj = ws().map.ObjList[1];
    click({300, 302});
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList[1]);
}

TEST_F(DispatchTest, MiddleClickIsNeitherLeftNorRight) {
    act("FindButton")->trigger();
    click({350, 300}, Qt::MiddleButton);
    EXPECT_FALSE(ws().view.blink.BlinkOn);
    EXPECT_TRUE(dialogs_.asked.empty());
    // While measuring, a middle click is a point, not the finishing right click.
    act("GeocordButton")->trigger();
    click({100, 1100});
    click({1100, 1100}, Qt::MiddleButton);
    EXPECT_EQ(ws().modes.ClickCount, 2);
    EXPECT_TRUE(ws().modes.MeasureMode);
}

TEST_F(DispatchTest, MoveObjectAndSelectBothOnRunRowsThirtyEightAndThirtyNine) {
    ws().modes.MoveObjectMode = true;
    ws().modes.SelectMode = true;
    click({700, 650});
    EXPECT_EQ(ws().modes.PickIndex, 1);  // on the segment from vertex 1
    EXPECT_EQ(ws().modes.ClickCount, 1);
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList[2]);
    EXPECT_TRUE(ws().view.blink.BlinkOn);  // selected as well
    EXPECT_EQ(ws().view.image.pixel(602, 600), qRgb(255, 0, 0));  // a red circle on vertex 0
    // The dispatch table says the same.
    ws().modes.ClickCount = 0;
    const auto rows = w_->editor().dispatch().dispatch({Qt::LeftButton, QPoint(700, 650)});
    EXPECT_EQ(rows, (std::vector<int>{38, 39}));
    // A miss in row 38 ends the handler there.
    ws().modes.ClickCount = 0;
    dialogs_.clear();
    EXPECT_EQ(w_->editor().dispatch().dispatch({Qt::LeftButton, QPoint(1000, 50)}), std::vector<int>{38});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Объект не найден")});
}

TEST_F(DispatchTest, RowsInOrderWithTheirConditions) {
    const auto& rows = w_->editor().dispatch().rows();
    ASSERT_EQ(rows.size(), 50u);
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].number, int(i) + 1);
    // The route takes every click before anything else (its action comes later).
    ws().modes.RouteMode = true;
    ws().modes.SelectMode = true;
    EXPECT_EQ(w_->editor().dispatch().dispatch({Qt::LeftButton, QPoint(300, 300)}), std::vector<int>{1});
    ws().modes.RouteMode = false;
    // A right click while creating continues no further than row 17.
    ws().modes.CreateMode = true;
    ws().modes.ClickCount = 2;
    EXPECT_EQ(w_->editor().dispatch().dispatch({Qt::RightButton, QPoint(5, 5)}), std::vector<int>{17});
}

TEST_F(DispatchTest, RightClickOnTheSecondCornerCancelsTheZoom) {
    const QImage before = ws().view.image.copy();
    const MapView view = ws().view.view();
    act("KfUv")->trigger();
    EXPECT_TRUE(act("KfUv")->isChecked());
    click({100, 100});
    EXPECT_EQ(ws().modes.BoxState, 200);
    for (QPoint p : {QPoint(150, 120), QPoint(300, 250), QPoint(420, 330)}) move(p);
    EXPECT_NE(ws().view.image, before);  // the rubber rectangle
    click({420, 330}, Qt::RightButton);
    EXPECT_EQ(ws().view.image, before);
    EXPECT_EQ(ws().view.view().Scale, view.Scale);
    EXPECT_FALSE(act("KfUv")->isChecked());
    EXPECT_EQ(ws().modes.BoxState, 0);
}

TEST_F(DispatchTest, ZoomToARectangle) {
    w_->scrollBox()->verticalScrollBar()->setValue(50);
    act("KfUv")->trigger();
    click({400, 300});
    move({250, 200});
    move({100, 100});
    click({100, 100});  // corners in any order
    const MapView& v = ws().view.view();
    EXPECT_DOUBLE_EQ(v.ViewXMax, 1000);
    EXPECT_DOUBLE_EQ(v.ViewXMin, 800);
    EXPECT_DOUBLE_EQ(v.ViewYMin, 0);
    EXPECT_DOUBLE_EQ(v.ViewYMax, 300);
    EXPECT_DOUBLE_EQ(v.Scale, 1000.0 / 300 * 1.447);
    EXPECT_EQ(ws().view.image.size(), v.imageSize());
    char expected[32];
    std::snprintf(expected, sizeof expected, "1:%6.0f", 200 / (ws().view.image.height() / 3.25) * 1000);
    EXPECT_EQ(panel(0), QString::fromLatin1(expected));
    EXPECT_EQ(ws().modes.BoxState, 0);
    EXPECT_FALSE(act("KfUv")->isChecked());
    EXPECT_EQ(w_->scrollBox()->verticalScrollBar()->value(), 0);
    // The street crossing at map (800, 200) is drawn at its new place.
    const TGn cross = v.toPixel(toMap({300, 300}));
    EXPECT_NE(ws().view.image.pixel(cross.PX, cross.PY), qRgb(255, 255, 255));
}

TEST_F(DispatchTest, MeasuringDistancesAndAreaLeavesThePictureAsItWas) {
    const QImage before = ws().view.image.copy();
    act("GeocordButton")->trigger();
    EXPECT_TRUE(ws().modes.MeasureMode);
    const QPoint a = toPixel(0, 0), b = toPixel(0, 1000), c = toPixel(1000, 1000), d = toPixel(1000, 0);
    click(a);
    EXPECT_EQ(panel(4), QStringLiteral("X=    0.00 Y=     0.00"));
    for (QPoint p : {QPoint(400, 1000), b}) move(p);
    click(b);
    for (QPoint p : {QPoint(1000, 700), c}) move(p);
    click(c);
    EXPECT_EQ(panel(4), QStringLiteral("X= 1000.00 Y=  1000.00  L=    1000.0 м. Сумма=    2000.0 м."));
    move(d);
    click(d);
    move(d);
    click(d, Qt::RightButton);
    EXPECT_EQ(panel(4), QStringLiteral("Площадь=      0.50 кв.км  =     50.00 га"));
    EXPECT_EQ(panel(5), QString());
    EXPECT_FALSE(ws().modes.MeasureMode);
    EXPECT_FALSE(act("GeocordButton")->isChecked());
    EXPECT_EQ(ws().modes.ClickCount, 4);  // kept until the button is pressed again
    EXPECT_EQ(ws().view.image, before);
}

TEST_F(DispatchTest, ExactMeasuringSnapsToVerticesAndTheHundredthPointIsRefused) {
    act("Precision")->trigger();
    act("GeocordButton")->trigger();
    click({203, 300});  // three pixels from the street's first vertex
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Точка не найдена")});
    EXPECT_EQ(ws().modes.ClickCount, 0);
    click({202, 302});
    EXPECT_EQ(ws().modes.ClickCount, 1);
    EXPECT_EQ(ws().modes.ScreenPoints[1], QPoint(200, 300));
    EXPECT_EQ(panel(4), QStringLiteral("X=  800.00 Y=   100.00"));
    act("Precision")->trigger();
    dialogs_.clear();
    for (int i = 2; i <= 99; ++i) click({10 + i, 20});
    EXPECT_EQ(ws().modes.ClickCount, 99);
    EXPECT_TRUE(dialogs_.asked.empty());
    click({150, 20});
    EXPECT_EQ(ws().modes.ClickCount, 99);
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
}

TEST_F(DispatchTest, PanningSlidesThePictureAndTheCursorPositionIsShown) {
    QScrollBar* h = w_->scrollBox()->horizontalScrollBar();
    QScrollBar* v = w_->scrollBox()->verticalScrollBar();
    h->setValue(100);
    v->setValue(100);
    act("MoveRastrButton")->trigger();
    EXPECT_TRUE(ws().modes.PanMode);
    press({300, 300});
    EXPECT_TRUE(ws().modes.PanDragging);
    move({290, 280}, Qt::LeftButton);
    EXPECT_EQ(h->value(), 110);
    EXPECT_EQ(v->value(), 120);
    release({290, 280});
    EXPECT_FALSE(ws().modes.PanDragging);
    move({123, 456});
    EXPECT_EQ(panel(2), QStringLiteral("123,456"));
    EXPECT_EQ(h->value(), 110);
}

TEST_F(DispatchTest, ResetModesClearsSomeFlagsAndKeepsOthers) {
    InteractionState& m = ws().modes;
    bool* cleared[] = {&m.SelectMode, &m.MoveObjectMode, &m.DeleteVertexMode, &m.MoveVertexMode,
                       &m.DeleteFragmentMode, &m.InsertFragmentMode, &m.RotateMode, &m.CreateMode, &m.DivideMode,
                       &m.NameCreateMode, &m.NameDeleteMode, &m.NameMoveMode, &m.NameEditMode, &m.NameJoinMode,
                       &m.MeasureMode, &m.DistrictPickMode, &m.LassoArmed, &m.StreetAxisShowMode,
                       &m.StreetFindByAxisMode, &m.StreetNameMoveMode, &m.StreetNamePlacing, &m.StreetNameEditMode,
                       &m.StreetAxisVertexMode, &m.StreetCreateMode, &m.HousePlaceMode, &m.ComposeMode,
                       &m.RouteMode, &ws().view.blink.BlinkOn};
    bool* kept[] = {&m.CollectMode, &m.RasterBoxMode, &m.FindNextPending, &m.LassoDrawing, &m.StopPlaceMode,
                    &m.UserAreaDrawMode, &m.PanMode, &m.ZoomBoxDown};
    for (bool* f : cleared) *f = true;
    for (bool* f : kept) *f = true;
    m.ClickCount = 5;
    m.EditStep = 6;
    m.BoxState = 200;
    m.ResetModes(ws().view.blink);
    for (bool* f : cleared) EXPECT_FALSE(*f);
    for (bool* f : kept) EXPECT_TRUE(*f);
    EXPECT_EQ(m.ClickCount, 5);
    EXPECT_EQ(m.EditStep, 6);
    EXPECT_EQ(m.BoxState, 200);
}

TEST_F(DispatchTest, DrawOrderCommands) {
    TObjList& list = ws().map.ObjList;
    std::vector<TObj*> original;
    for (const auto& o : list) original.push_back(o.get());
    act("FindButton")->trigger();
    click({650, 600});  // the house, object 2
    act("BringToFirst")->trigger();
    EXPECT_EQ(list[0], original[2]);
    EXPECT_EQ(list[1], original[0]);
    EXPECT_EQ(list[0]->Number, 2);
    EXPECT_TRUE(ws().map.MapModified);
    EXPECT_FALSE(act("BringToFirst")->isEnabled());
    EXPECT_FALSE(ws().view.blink.BlinkOn);
    click({650, 600});
    act("SendToLast")->trigger();
    EXPECT_EQ(list[4], original[2]);
    // Already last: the order stays, the map is still marked changed.
    ws().map.MapModified = false;
    click({650, 600});
    act("SendToLast")->trigger();
    EXPECT_EQ(list[4], original[2]);
    EXPECT_TRUE(ws().map.MapModified);
    // Areas ahead of everything (twice is the same as once), then behind.
    w_->editor().BringtofrontClick();
    std::vector<TObj*> once;
    for (const auto& o : list) once.push_back(o.get());
    EXPECT_EQ(once[0], original[2]);
    w_->editor().BringtofrontClick();
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i], once[i]);
    w_->editor().SendToBackClick();
    EXPECT_EQ(list[4], original[2]);
    EXPECT_EQ(list[0], original[0]);
    EXPECT_EQ(list[1], original[1]);
    // A click where the house overlaps nothing else still finds it.
    click({650, 600});
    EXPECT_EQ(ws().map.CurObj, original[2]);
}
