#include "common/SmallMapFixture.h"

#include <QComboBox>

using namespace dm;

namespace {

class EditsTest : public SmallMapFixture {
protected:
    // Objects given in pixels of the view (one pixel per metre).
    TObj* addObject(uint8_t kind, int code, const std::vector<QPoint>& px) {
        auto o = std::make_unique<TObj>();
        o->Kind = kind;
        o->Code = code;
        for (QPoint p : px) o->Points.push_back(toMap(p));
        TObj* added = ws().map.ObjList.append(std::move(o));
        RedrawWithProgress(ws());
        return added;
    }
    // A line of n vertices 40 pixels apart on row 1000.
    TObj* row(int n, int y = 1000) {
        std::vector<QPoint> px;
        for (int i = 0; i < n; ++i) px.emplace_back(100 + 40 * i, y);
        return addObject(KindLine, 3070, px);
    }
    static QPoint vertex(int i, int y = 1000) { return QPoint(100 + 40 * i, y); }
    void select(QPoint at) {
        act("FindButton")->trigger();
        click(at);
    }
    std::vector<uint8_t> snapshot() {
        BinWriter w;
        EncodeOrientation(w, ws().map.Orientation);
        for (const auto& o : ws().map.ObjList) EncodeObject(w, *o);
        return w.data();
    }
    void chooseSemantic(int code) {
        const auto& lines = ws().classifier.ActiveSemantics.Lines;
        for (int i = 0; i < int(lines.size()); ++i)
            if (SemanticField(lines[size_t(i)], 1) == std::to_string(code)) {
                w_->KodSem(i);
                return;
            }
        FAIL() << code;
    }
    // Undo gives back `before` exactly, redo the edited map.
    void expectUndoRedo(const std::vector<uint8_t>& before) {
        const auto after = snapshot();
        ASSERT_NE(after, before);
        ASSERT_TRUE(act("UndoAction")->isEnabled());
        act("UndoAction")->trigger();
        EXPECT_EQ(snapshot(), before);
        ASSERT_TRUE(act("RedoAction")->isEnabled());
        act("RedoAction")->trigger();
        EXPECT_EQ(snapshot(), after);
    }
    std::vector<QPoint> pixels(const TObj& o) {
        std::vector<QPoint> out;
        for (const TXY& p : o.Points) out.push_back(toPixel(p.X, p.Y));
        return out;
    }
};

}  // namespace

TEST_F(EditsTest, DeleteFragmentNeedsTwoVerticesBetween) {
    TObj* line = row(10);
    select(vertex(2));
    act("Udline")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите первую точку."));
    click(vertex(2));
    EXPECT_EQ(panel(4), QStringLiteral("Укажите вторую точку."));
    click(vertex(4));
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Этот фрагмент удалить нельзя")});
    EXPECT_EQ(line->PointCount(), 10);
    EXPECT_FALSE(ws().modes.DeleteFragmentMode);
    EXPECT_FALSE(act("Udline")->isEnabled());
    const auto before = snapshot();
    select(vertex(2));
    act("Udline")->trigger();
    click(vertex(5));  // the picks may come in any order
    click(vertex(2));
    ASSERT_EQ(line->PointCount(), 8);
    EXPECT_EQ(pixels(*line)[2], vertex(2));
    EXPECT_EQ(pixels(*line)[3], vertex(5));
    EXPECT_TRUE(ws().map.MapModified);
    expectUndoRedo(before);
}

TEST_F(EditsTest, InsertFragmentWithTheEndPickedBeforeTheStart) {
    TObj* line = row(8);
    const auto before = snapshot();
    select(vertex(5));
    act("IsertFagmBitton")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите начальную точку."));
    click(vertex(5));
    EXPECT_EQ(panel(4), QStringLiteral("Укажите новые точки"));
    click({280, 950});
    click({240, 940});
    click(vertex(2), Qt::RightButton);
    // 0, 1, then the new points from the start vertex's side, then 6, 7.
    const std::vector<QPoint> expected = {vertex(0), vertex(1), {240, 940}, {280, 950}, vertex(5), vertex(6), vertex(7)};
    EXPECT_EQ(pixels(*line), expected);
    EXPECT_FALSE(ws().modes.InsertFragmentMode);
    expectUndoRedo(before);
}

TEST_F(EditsTest, MovingVertexZeroOfAnAreaMovesItsClosingVertex) {
    TObj* house = ws().map.ObjList[2];
    const auto before = snapshot();
    select({650, 600});
    act("MovPoinButton")->trigger();
    click({600, 600});
    EXPECT_EQ(ws().modes.EditStep, 6);
    move({590, 590});
    click({580, 590});
    const auto px = pixels(*house);
    EXPECT_EQ(px.front(), QPoint(580, 590));
    EXPECT_EQ(px.back(), QPoint(580, 590));
    EXPECT_EQ(px[1], QPoint(700, 600));
    EXPECT_FALSE(ws().modes.MoveVertexMode);
    expectUndoRedo(before);
}

TEST_F(EditsTest, DivideHandsOutANodeAndForgetsTheSemantic) {
    TObj* line = row(10);
    line->StartNode = 5;
    line->EndNode = 9;
    ws().map.Orientation.NextNode = 40;
    chooseSemantic(1010);
    const auto before = snapshot();
    select(vertex(3));
    act("DivideButton")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите точку раздела."));
    click(vertex(4));
    ASSERT_EQ(line->PointCount(), 5);
    TObj* second = ws().map.ObjList.last();
    ASSERT_NE(second, line);
    EXPECT_EQ(second->PointCount(), 6);
    EXPECT_EQ(line->StartNode, 5);
    EXPECT_EQ(line->EndNode, 40);
    EXPECT_EQ(second->StartNode, 40);
    EXPECT_EQ(second->EndNode, 9);
    EXPECT_EQ(second->Number, int(ws().map.ObjList.size()) - 1);
    EXPECT_EQ(ws().map.Orientation.NextNode, 41);
    EXPECT_TRUE(ws().map.OrientationModified);
    EXPECT_EQ(ws().classifier.CurrentSemantic.Code, -1);
    EXPECT_EQ(ws().modes.FormedKind, KindLine);
    expectUndoRedo(before);
    act("UndoAction")->trigger();
    EXPECT_EQ(ws().map.Orientation.NextNode, 40);
}

TEST_F(EditsTest, ThinningLinesAndARing) {
    TObj* five = row(5, 1000);
    TObj* six = row(6, 1040);
    select(vertex(1, 1000));
    act("DivPiketsMenu")->trigger();
    EXPECT_EQ(pixels(*five), (std::vector<QPoint>{vertex(0), vertex(2), vertex(4)}));
    select(vertex(1, 1040));
    act("DivPiketsMenu")->trigger();
    EXPECT_EQ(pixels(*six), (std::vector<QPoint>{vertex(0, 1040), vertex(2, 1040), vertex(4, 1040), vertex(5, 1040)}));
    const QPoint A(800, 100), B(900, 100), C(950, 150), D(900, 200), E(800, 200);
    TObj* ring = addObject(KindArea, 1010, {A, B, C, D, E, A});
    const auto before = snapshot();
    select({850, 100});
    act("DivPiketsMenu")->trigger();
    EXPECT_EQ(pixels(*ring), (std::vector<QPoint>{A, C, E, A, A}));
    EXPECT_TRUE(act("DeleteButton")->isEnabled());  // thinning keeps the object commands
    expectUndoRedo(before);
}

TEST_F(EditsTest, DigitisingAnAreaClosesItWithTheFirstPoint) {
    act("AreaButton")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Присвойте семантику!")});
    EXPECT_FALSE(ws().modes.CreateMode);
    chooseSemantic(1010);
    const auto before = snapshot();
    const size_t count = ws().map.ObjList.size();
    act("AreaButton")->trigger();
    const QPoint A(800, 100), B(900, 100), C(900, 200), D(820, 210);
    click(A);
    move({850, 120});
    click(B);
    click(C);
    click(D);
    click({500, 500}, Qt::RightButton);
    ASSERT_EQ(ws().map.ObjList.size(), count + 1);
    TObj* o = ws().map.ObjList.last();
    EXPECT_EQ(pixels(*o), (std::vector<QPoint>{A, B, C, A}));
    EXPECT_EQ(o->Kind, KindArea);
    EXPECT_EQ(o->Code, 1010);
    EXPECT_EQ(o->Number, int(count));
    EXPECT_EQ(o->StartNode, -1);
    EXPECT_EQ(o->BrushColor, ws().classifier.CurrentSemantic.BrushColor);
    EXPECT_FALSE(ws().modes.CreateMode);
    EXPECT_TRUE(ws().map.MapModified);
    expectUndoRedo(before);
}

TEST_F(EditsTest, ARightClickBeforeAnyPointAddsAPoint) {
    chooseSemantic(3060);
    act("LineButton")->trigger();
    click({800, 100}, Qt::RightButton);
    EXPECT_EQ(ws().modes.ClickCount, 1);
    EXPECT_TRUE(ws().modes.CreateMode);
    click({900, 100});
    click({950, 100}, Qt::RightButton);
    EXPECT_EQ(pixels(*ws().map.ObjList.last()), (std::vector<QPoint>{{800, 100}, {900, 100}}));
}

TEST_F(EditsTest, ThreePointClicksMakeThreePointObjects) {
    chooseSemantic(2402);
    const size_t count = ws().map.ObjList.size();
    act("PointButton")->trigger();
    click({800, 100});
    click({850, 100});
    click({900, 100});
    EXPECT_EQ(ws().map.ObjList.size(), count + 3);
    EXPECT_TRUE(ws().modes.CreateMode);
    act("OtmenaCrea")->trigger();
    EXPECT_FALSE(ws().modes.CreateMode);
    click({950, 100});
    EXPECT_EQ(ws().map.ObjList.size(), count + 3);
    EXPECT_EQ(ws().map.ObjList.last()->Kind, KindPoint);
    act("UndoAction")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), count + 2);
}

TEST_F(EditsTest, ContourElevationAskedAtStartAndEnd) {
    chooseSemantic(2131);
    dialogs_.inputs = {QStringLiteral("410"), QStringLiteral("четыреста"), QStringLiteral("412,5")};
    act("LineButton")->trigger();
    click({800, 100});
    click({900, 100});
    click({900, 100}, Qt::RightButton);
    EXPECT_EQ(dialogs_.texts("input").size(), 3);
    EXPECT_EQ(dialogs_.texts("message").size(), 1);  // "четыреста" is not a number
    EXPECT_EQ(ws().map.ObjList.last()->Elevation, 412.5);
}

TEST_F(EditsTest, ElevationMarkGetsABoundLabel) {
    chooseSemantic(12);
    dialogs_.inputs = {QStringLiteral("431.2")};
    const size_t labels = w_->names().MapNames.size();
    act("PointButton")->trigger();
    click({800, 100});
    act("OtmenaCrea")->trigger();
    TObj* mark = ws().map.ObjList.last();
    EXPECT_EQ(mark->Name, std::string("431.2"));
    ASSERT_EQ(w_->names().MapNames.size(), labels + 1);
    const TNaz& n = *w_->names().MapNames.back();
    EXPECT_EQ(n.NewName, "431.2");
    EXPECT_TRUE(n.OldName.empty());
    EXPECT_EQ(n.Anchor, 1);
    EXPECT_EQ(n.BoundObject, mark->Number);
    EXPECT_EQ(n.X1, toMap({800, 100}).X);
    EXPECT_EQ(n.Y2, toMap({820, 100}).Y);
    EXPECT_TRUE(ws().files.NamesModified);
    act("UndoAction")->trigger();
    EXPECT_EQ(w_->names().MapNames.size(), labels);
    act("RedoAction")->trigger();
    EXPECT_EQ(w_->names().MapNames.size(), labels + 1);
}

TEST_F(EditsTest, ComposeFromPickets) {
    chooseSemantic(1010);
    const auto before = snapshot();
    act("SostObjMenu")->trigger();
    EXPECT_EQ(panel(4), QStringLiteral("Укажите пикет."));
    const QPoint P1(200, 300), P2(400, 300), P3(400, 500), P4(700, 700);
    click({5, 5});
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Точка не найдена")});
    for (QPoint p : {P1, P2, P3, P4}) click(p + QPoint(1, 1));
    dialogs_.options.push_back(0);  // "Площадной"
    click({5, 5}, Qt::RightButton);
    TObj* o = ws().map.ObjList.last();
    EXPECT_EQ(pixels(*o), (std::vector<QPoint>{P1, P2, P3, P1}));
    EXPECT_EQ(o->Kind, KindArea);
    EXPECT_FALSE(ws().modes.ComposeMode);
    EXPECT_TRUE(panel(5).startsWith(QStringLiteral("Площадь=")));
    expectUndoRedo(before);
}

TEST_F(EditsTest, CollectAndFormAnAreaFromTwoLines) {
    chooseSemantic(1010);
    const auto before = snapshot();
    act("OtborObj")->trigger();
    EXPECT_TRUE(ws().modes.CollectMode);
    EXPECT_TRUE(ws().modes.SelectMode);
    click({300, 300});  // the street (object 0)
    act("Add1")->trigger();
    click({300, 250});  // the second line (object 1)
    act("Add1")->trigger();
    act("tip3")->trigger();
    act("Formir")->trigger();
    act("SaveNewObj1")->trigger();
    TObj* f = ws().map.ObjList.last();
    EXPECT_EQ(f->Kind, KindArea);
    EXPECT_EQ(pixels(*f), (std::vector<QPoint>{{200, 300}, {400, 300}, {400, 500}, {300, 200}, {300, 400}, {200, 300}}));
    EXPECT_EQ(f->Number, 5);
    EXPECT_TRUE(act("DeleteOldObj")->isEnabled());
    act("DeleteOldObj")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 4u);
    EXPECT_EQ(ws().map.ObjList[0], ws().map.ObjList[0]);
    act("UndoAction")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 6u);
    act("UndoAction")->trigger();
    EXPECT_EQ(snapshot(), before);
    // Forming with nothing collected, or storing before forming.
    act("CancelNewObj")->trigger();
    EXPECT_EQ(ws().classifier.CurrentSemantic.Code, -1);
    chooseSemantic(1010);
    act("OtborObj")->trigger();
    act("Formir")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Объекты не отобраны")));
}

TEST_F(EditsTest, MoveDeleteReverseReclassifyCloseOpenAndRotate) {
    TObj* street = ws().map.ObjList[0];
    // Move object: grab vertex 1, drop it 30 pixels to the left.
    auto before = snapshot();
    act("ChangeButton")->trigger();
    click({400, 300});
    move({380, 300});
    move({370, 300});
    click({370, 300});
    EXPECT_EQ(pixels(*street), (std::vector<QPoint>{{170, 300}, {370, 300}, {370, 500}}));
    expectUndoRedo(before);
    // Delete a vertex.
    before = snapshot();
    select({370, 400});
    act("DelPointButton")->trigger();
    click({371, 301});
    EXPECT_EQ(pixels(*street), (std::vector<QPoint>{{170, 300}, {370, 500}}));
    expectUndoRedo(before);
    // Reverse.
    before = snapshot();
    street->StartNode = 1;
    street->EndNode = 2;
    before = snapshot();
    select({270, 400});
    act("ChangDirection")->trigger();
    EXPECT_EQ(street->StartNode, 2);
    EXPECT_EQ(pixels(*street).front(), QPoint(370, 500));
    expectUndoRedo(before);
    // Change the semantic.
    chooseSemantic(1020);
    before = snapshot();
    select({270, 400});
    act("ChangeSem")->trigger();
    EXPECT_EQ(street->Code, 1020);
    expectUndoRedo(before);
    // Close and open.
    before = snapshot();
    select({270, 400});
    act("zmknut")->trigger();
    EXPECT_EQ(street->Kind, KindArea);
    EXPECT_EQ(street->PointCount(), 3);
    expectUndoRedo(before);
    before = snapshot();
    select({270, 400});
    act("RazmkMenu")->trigger();
    EXPECT_EQ(street->Kind, KindLine);
    EXPECT_EQ(street->PointCount(), 2);
    expectUndoRedo(before);
    // Rotating a point object is refused; a line turns about its pivot.
    select({900, 900});
    act("TurnObj")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Точечные объекты вращать нельзя")));
    TObj* line = ws().map.ObjList[1];  // (300, 200)-(300, 400)
    before = snapshot();
    select({300, 300});
    act("TurnObj")->trigger();
    click({300, 400});  // pivot
    click({300, 200});  // the vertex to drag
    move({300, 400});   // on the pivot: nothing turns
    move({500, 400});   // a quarter turn to the east
    click({500, 400});
    EXPECT_EQ(pixels(*line), (std::vector<QPoint>{{500, 400}, {300, 400}}));
    expectUndoRedo(before);
    // Delete the object.
    before = snapshot();
    select({300, 400});
    act("DeleteButton")->trigger();
    EXPECT_EQ(ws().map.ObjList.indexOf(line), -1);
    expectUndoRedo(before);
}

TEST_F(EditsTest, DrawOrderIsUndoneAndOpeningAnotherMapClearsTheHistory) {
    auto before = snapshot();
    select({650, 600});
    act("BringToFirst")->trigger();
    expectUndoRedo(before);
    before = snapshot();
    w_->editor().SendToBackClick();
    expectUndoRedo(before);
    ws().map.MapModified = false;
    act("FergKartaMenu")->trigger();
    EXPECT_FALSE(act("UndoAction")->isEnabled());
}

TEST_F(EditsTest, SavingAfterEditsAndReopeningGivesTheSameObjects) {
    TObj* line = row(10);
    select(vertex(2));
    act("Udline")->trigger();
    click(vertex(2));
    click(vertex(6));
    chooseSemantic(1010);
    act("AreaButton")->trigger();
    for (QPoint p : {QPoint(800, 100), QPoint(900, 100), QPoint(900, 200), QPoint(800, 200)}) click(p);
    click({1, 1}, Qt::RightButton);
    EXPECT_EQ(line->PointCount(), 7);
    const auto edited = snapshot();
    act("FileSave")->trigger();
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(snapshot(), edited);
}

namespace {
// A line whose vertices 1 and 2 lie 2 pixels apart, so that one click
// at (141, 1000) is within the tolerance of both.
const std::vector<QPoint> kCloseVertices = {{100, 1000}, {140, 1000}, {142, 1000}, {180, 1000},
                                             {220, 1000}, {260, 1000}, {300, 1000}, {340, 1000}};
const QPoint kBetween(141, 1000);
}  // namespace

TEST_F(EditsTest, MovingAVertexTakesTheLastOfTwoUnderTheClick) {
    TObj* line = addObject(KindLine, 3070, kCloseVertices);
    select({200, 1000});
    act("MovPoinButton")->trigger();
    click(kBetween);
    EXPECT_EQ(ws().modes.PickIndex, 2);
    click({141, 900});
    std::vector<QPoint> expected = kCloseVertices;
    expected[2] = {141, 900};
    EXPECT_EQ(pixels(*line), expected);
}

TEST_F(EditsTest, DividingTakesTheFirstOfTwoUnderTheClick) {
    TObj* line = addObject(KindLine, 3070, kCloseVertices);
    select({200, 1000});
    act("DivideButton")->trigger();
    click(kBetween);
    EXPECT_EQ(pixels(*line), (std::vector<QPoint>{{100, 1000}, {140, 1000}}));
    TObj* second = ws().map.ObjList.last();
    EXPECT_EQ(pixels(*second), std::vector<QPoint>(kCloseVertices.begin() + 1, kCloseVertices.end()));
}

TEST_F(EditsTest, FragmentDeletionTakesTheLastThenTheFirstOfTwo) {
    // First pick: the last of the two (vertex 2); second pick at vertex 6:
    // vertices 3 to 5 go.
    TObj* line = addObject(KindLine, 3070, kCloseVertices);
    select({200, 1000});
    act("Udline")->trigger();
    click(kBetween);
    EXPECT_EQ(ws().modes.PickIndex, 2);
    click({300, 1000});
    EXPECT_EQ(pixels(*line), (std::vector<QPoint>{{100, 1000}, {140, 1000}, {142, 1000}, {300, 1000}, {340, 1000}}));
    // Second pick between the two: the first of them (vertex 1); the first
    // pick at vertex 5: vertices 2 to 4 go.
    TObj* other = addObject(KindLine, 3070, kCloseVertices);
    ws().map.ObjList.move(size_t(ws().map.ObjList.indexOf(other)), 0);
    RedrawWithProgress(ws());
    select({200, 1000});
    ASSERT_EQ(ws().map.CurObj, other);
    act("Udline")->trigger();
    click({260, 1000});
    click(kBetween);
    EXPECT_EQ(ws().modes.PickIndex2, 1);
    EXPECT_EQ(pixels(*other), (std::vector<QPoint>{{100, 1000}, {140, 1000}, {260, 1000}, {300, 1000}, {340, 1000}}));
}

TEST_F(EditsTest, RotationTakesTheFirstOfTwoAsPivotAndAsDraggedVertex) {
    TObj* line = addObject(KindLine, 3070, kCloseVertices);
    select({200, 1000});
    act("TurnObj")->trigger();
    click(kBetween);  // pivot: vertex 1 at (140, 1000)
    EXPECT_EQ(panel(4), QStringLiteral("Подцепите любую точку."));
    click({340, 1000});  // vertex 7, 200 pixels east of the pivot
    move({140, 800});    // a quarter turn to the north
    click({140, 800});
    const auto px = pixels(*line);
    EXPECT_EQ(px[1], QPoint(140, 1000));  // the pivot stays
    EXPECT_EQ(px[2], QPoint(140, 998));
    EXPECT_EQ(px[7], QPoint(140, 800));
    EXPECT_EQ(px[0], QPoint(140, 1040));
    // Dragging: of two vertices under the click the first is taken.
    TObj* other = addObject(KindLine, 3070, {{500, 1100}, {600, 1100}, {602, 1100}});
    ws().map.ObjList.move(size_t(ws().map.ObjList.indexOf(other)), 0);
    RedrawWithProgress(ws());
    select({550, 1100});
    ASSERT_EQ(ws().map.CurObj, other);
    act("TurnObj")->trigger();
    click({500, 1100});  // pivot: vertex 0
    click({601, 1100});  // vertex 1 (100 px east) rather than vertex 2
    move({500, 1000});   // vertex 1 goes to 100 px north: a quarter turn
    click({500, 1000});
    EXPECT_EQ(pixels(*other), (std::vector<QPoint>{{500, 1100}, {500, 1000}, {500, 998}}));
}

TEST_F(EditsTest, SeveralAreasMovedToTheFrontAndToTheBack) {
    // Areas and others interleaved: the areas go first (or last), each
    // group keeping its order.
    auto& list = ws().map.ObjList;
    std::vector<TObj*> before;
    for (size_t i = 0; i < list.size(); ++i) before.push_back(list[i]);
    TObj* a1 = addObject(KindArea, 1010, {{10, 10}, {30, 10}, {30, 30}, {10, 10}});
    TObj* l1 = addObject(KindLine, 3070, {{10, 40}, {30, 40}});
    TObj* a2 = addObject(KindArea, 1010, {{40, 10}, {60, 10}, {60, 30}, {40, 10}});
    // Before: street, street, house(area), tree, contour, a1, l1, a2.
    w_->editor().BringtofrontClick();
    std::vector<TObj*> order;
    for (size_t i = 0; i < list.size(); ++i) order.push_back(list[i]);
    EXPECT_EQ(order, (std::vector<TObj*>{before[2], a1, a2, before[0], before[1], before[3], before[4], l1}));
    w_->editor().SendToBackClick();
    order.clear();
    for (size_t i = 0; i < list.size(); ++i) order.push_back(list[i]);
    EXPECT_EQ(order, (std::vector<TObj*>{before[0], before[1], before[3], before[4], l1, before[2], a1, a2}));
    EXPECT_TRUE(ws().map.MapModified);
}

namespace {

long differingPixels(const QImage& a, const QImage& b) {
    long n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

class PictureAfterEdits : public EditsTest {
protected:
    // The picture of a full redraw of the objects as they are now.
    QImage fullRedraw() {
        QImage ref(ws().view.image.size(), QImage::Format_RGB32);
        MapDoc::Keep keep(ws().map);
        RedrawMap(ref, ws().map, ws().view.ctx);
        return ref;
    }
};

}  // namespace

TEST_F(PictureAfterEdits, DeletedMovedAndCreatedObjectsShowAsTheyAre) {
    // A wide house near the street, so that both overlap on the picture.
    addObject(KindArea, 1010, {{380, 280}, {460, 280}, {460, 340}, {380, 340}, {380, 280}});
    TObj* const house = ws().map.ObjList[2];
    ASSERT_EQ(house->Code, 1010);
    // Delete the street: no outline of it stays, the house beneath shows whole.
    select({300, 300});
    ASSERT_EQ(ws().map.CurObj, ws().map.ObjList[0]);
    act("DeleteButton")->trigger();
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
    EXPECT_EQ(ws().view.image.pixel(250, 300), qRgb(255, 255, 255));

    // Move the house (on the picture at (600..700, 600..700)).
    select({650, 600});
    act("ChangeButton")->trigger();
    click({650, 600});
    move({700, 650});
    click({700, 650});
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
    EXPECT_EQ(ws().view.image.pixel(600, 610), qRgb(255, 255, 255));  // its old place is empty

    // A new line digitised over the others.
    chooseSemantic(3060);
    act("LineButton")->trigger();
    click({100, 100});
    click({500, 500});
    click({500, 500}, Qt::RightButton);
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);

    // Undo and redo give the picture of their objects too.
    act("UndoAction")->trigger();
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
    act("RedoAction")->trigger();
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
    // Undoing the move puts the house back, where a click finds it again
    // (the index follows the restored vertices).
    act("UndoAction")->trigger();
    act("UndoAction")->trigger();
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
    select({650, 600});
    EXPECT_EQ(ws().map.CurObj, house);
    EXPECT_EQ(ws().map.Index.builds(), 1u);
}

TEST_F(PictureAfterEdits, VertexEditsAndDrawOrder) {
    TObj* line = row(5, 700);
    select(vertex(2, 700));
    act("DelPointButton")->trigger();
    click(vertex(2, 700));
    ASSERT_EQ(line->PointCount(), 4);
    // The vertex marks stay on top of the redrawn objects: compare away from them.
    QImage now = ws().view.image;
    QImage ref = fullRedraw();
    long off = 0;
    for (int y = 0; y < now.height(); ++y)
        for (int x = 0; x < now.width(); ++x)
            if (now.pixel(x, y) != ref.pixel(x, y)) {
                bool nearVertex = false;
                for (const TXY& p : line->Points) {
                    const QPoint v = toPixel(p.X, p.Y);
                    nearVertex = nearVertex || (std::abs(v.x() - x) <= 3 && std::abs(v.y() - y) <= 3);
                }
                off += !nearVertex;
            }
    EXPECT_EQ(off, 0);
    // The removed vertex's segments are gone.
    EXPECT_EQ(now.pixel(vertex(2, 700).x(), 703), ref.pixel(vertex(2, 700).x(), 703));
    // Areas to the back: a new order, the whole picture again.
    act("SendToBack")->trigger();
    EXPECT_EQ(differingPixels(ws().view.image, fullRedraw()), 0);
}

TEST_F(EditsTest, TheCaptionsStarFollowsWhetherTheMapDiffersFromWhatWasSaved) {
    auto star = [this] {
        QApplication::processEvents();
        return w_->windowTitle().endsWith(QLatin1Char('*'));
    };
    ASSERT_FALSE(star());
    // Two edits taken back one by one: clean only when both are.
    select({650, 600});
    act("BringToFirst")->trigger();
    EXPECT_TRUE(star());
    select({300, 400});
    act("DeleteButton")->trigger();
    act("UndoAction")->trigger();
    EXPECT_TRUE(star());
    act("UndoAction")->trigger();
    EXPECT_FALSE(star());
    EXPECT_FALSE(ws().map.MapModified);
    act("RedoAction")->trigger();
    EXPECT_TRUE(star());
    // Saved after the first edit: that is the state without a star now.
    act("FileSave")->trigger();
    EXPECT_FALSE(star());
    act("UndoAction")->trigger();
    EXPECT_TRUE(star());
    act("RedoAction")->trigger();
    EXPECT_FALSE(star());
    // A change outside the history: back at the saved step, still a star.
    act("UndoAction")->trigger();
    ws().map.ObjList[0]->Code += 1;
    ws().map.MapModified = true;
    act("RedoAction")->trigger();
    EXPECT_TRUE(star());
    EXPECT_TRUE(ws().map.MapModified);
}
