// The wheel, the "+" and "-" keys, "Уменьшить" and "Вся карта".
#include "app/AddressField.h"
#include "common/SmallMapFixture.h"

#include <QLineEdit>
#include <QWheelEvent>

using namespace dm;

namespace {

class Navigation : public SmallMapFixture {
protected:
    void wheel(QPoint at, int steps, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent e(QPointF(at), image()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                      mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(image(), &e);
    }
    QPoint scroll() const {
        return QPoint(w_->scrollBox()->horizontalScrollBar()->value(), w_->scrollBox()->verticalScrollBar()->value());
    }
};

}  // namespace

TEST_F(Navigation, WheelZoomKeepsThePointUnderTheCursor) {
    w_->scrollBox()->horizontalScrollBar()->setValue(150);
    w_->scrollBox()->verticalScrollBar()->setValue(90);
    const QPoint s0 = scroll();
    // The picture pixel (400, 300): map X = 800, Y = 300.
    const QPoint cursor(400, 300);
    ws().modes.SelectMode = true;
    wheel(cursor, 1);
    MapView& v = ws().view.view();
    EXPECT_DOUBLE_EQ(v.Scale, 2.0);
    EXPECT_EQ(ws().view.image.size(), QSize(1200, 1200));  // the picture keeps its size
    EXPECT_EQ(scroll(), s0);
    const TGn at = v.toPixel({800, 300});
    EXPECT_LE(std::abs(at.PX - 400), 1);
    EXPECT_LE(std::abs(at.PY - 300), 1);
    EXPECT_DOUBLE_EQ(v.ViewYMax - v.ViewYMin, 600);
    EXPECT_DOUBLE_EQ(v.ViewXMax - v.ViewXMin, 600);
    // As after the zoom rectangle: redrawn, selection off, read-out in six places.
    EXPECT_FALSE(ws().modes.SelectMode);
    EXPECT_TRUE(panel(0).startsWith(QStringLiteral("1:")));
    // The street drawn from (200, 300) to (400, 300) before is now twice as long.
    EXPECT_NE(ws().view.image.pixel(at.PX - 150, at.PY), qRgb(255, 255, 255));

    // Ctrl and the wheel: 1.25; two steps out at once: a quarter.
    wheel(cursor, 1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v.Scale, 2.5);
    wheel(cursor, -2);
    EXPECT_DOUBLE_EQ(v.Scale, 0.625);
    const TGn again = v.toPixel({800, 300});
    EXPECT_LE(std::abs(again.PX - 400), 1);
    EXPECT_LE(std::abs(again.PY - 300), 1);
    // Half a step waits for the other half.
    QWheelEvent half(QPointF(cursor), image()->mapToGlobal(QPointF(cursor)), QPoint(), QPoint(0, 60), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(image(), &half);
    EXPECT_DOUBLE_EQ(v.Scale, 0.625);
    QApplication::sendEvent(image(), &half);
    EXPECT_DOUBLE_EQ(v.Scale, 1.25);
}

TEST_F(Navigation, PlusAndMinusZoomAboutTheMiddleOfTheWindow) {
    const QSize room = w_->scrollBox()->viewport()->size();
    const QPoint middle(room.width() / 2, room.height() / 2);
    const TXY centre = w_->mapPointAtViewport(middle);
    QTest::keyClick(image(), Qt::Key_Plus);
    MapView& v = ws().view.view();
    EXPECT_DOUBLE_EQ(v.Scale, 2.0);
    const TXY after = w_->mapPointAtViewport(middle);
    EXPECT_NEAR(after.X, centre.X, 1.0 / v.Scale);
    EXPECT_NEAR(after.Y, centre.Y, 1.0 / v.Scale);
    QTest::keyClick(image(), Qt::Key_Minus);
    QTest::keyClick(image(), Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(v.Scale, 0.5);
}

TEST_F(Navigation, WholeMapFitsTheExtentInTheWindow) {
    wheel(QPoint(100, 100), 3);
    act("WholeMap")->trigger();
    EXPECT_EQ(act("WholeMap")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    QApplication::processEvents();
    const QSize room = w_->scrollBox()->viewport()->size();
    const MapView& v = ws().view.view();
    // The extent is 1200 x 1200 metres.
    EXPECT_DOUBLE_EQ(v.Scale, std::min(room.width() - 2, room.height() - 2) / 1200.0);
    EXPECT_DOUBLE_EQ(v.ViewXMax, 1100);
    EXPECT_DOUBLE_EQ(v.ViewYMin, -100);
    EXPECT_LE(ws().view.image.width(), room.width());
    EXPECT_LE(ws().view.image.height(), room.height());
    EXPECT_EQ(scroll(), QPoint(0, 0));
    // The tree at (900, 900) shows.
    const TGn tree = v.toPixel(toMap({900, 900}));
    bool drawn = false;
    for (int dx = -3; dx <= 3; ++dx)
        for (int dy = -3; dy <= 3; ++dy) drawn = drawn || ws().view.image.pixel(tree.PX + dx, tree.PY + dy) != qRgb(255, 255, 255);
    EXPECT_TRUE(drawn);
}

namespace {
void middle(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::MiddleButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
}  // namespace

TEST_F(Navigation, MiddleDragPansBeyondThePictureAndKeepsTheDigitisedPoints) {
    // Two points of a new line, then a drag to the right and down beyond
    // the top-left corner of the picture.
    ASSERT_EQ(scroll(), QPoint(0, 0));
    const auto& lines = ws().classifier.ActiveSemantics.Lines;
    for (int i = 0; i < int(lines.size()); ++i)
        if (SemanticField(lines[size_t(i)], 1) == "3060") w_->KodSem(i);
    act("LineButton")->trigger();
    click({100, 100});
    click({200, 150});
    const int clicks = ws().modes.ClickCount;
    const MapView before = ws().view.view();
    middle(image(), QEvent::MouseButtonPress, {300, 300}, Qt::MiddleButton);
    middle(image(), QEvent::MouseMove, {302, 301}, Qt::MiddleButton);  // not yet a drag
    EXPECT_DOUBLE_EQ(ws().view.view().ViewYMin, before.ViewYMin);
    middle(image(), QEvent::MouseMove, {340, 320}, Qt::MiddleButton);
    middle(image(), QEvent::MouseButtonRelease, {340, 320}, Qt::NoButton);
    // The map moved 40 pixels right and 20 down: the extent 40 m west and 20 m north.
    const MapView& v = ws().view.view();
    EXPECT_NEAR(v.ViewYMin, before.ViewYMin - 40, 1e-9);
    EXPECT_NEAR(v.ViewXMax, before.ViewXMax + 20, 1e-9);
    EXPECT_EQ(ws().modes.ClickCount, clicks);
    EXPECT_TRUE(ws().modes.CreateMode);
    // The street from (200, 300) now shows 40 right and 20 down.
    EXPECT_NE(ws().view.image.pixel(300, 320), qRgb(255, 255, 255));
    // The third point and the end: the first two points are where they were put.
    click({400, 420});
    click({400, 420}, Qt::RightButton);
    const TObj* made = ws().map.ObjList.last();
    ASSERT_EQ(made->PointCount(), 3);
    EXPECT_NEAR(made->Points[0].X, toMap({100, 100}).X, 1e-6);
    EXPECT_NEAR(made->Points[0].Y, toMap({100, 100}).Y, 1e-6);
    EXPECT_NEAR(made->Points[1].X, toMap({200, 150}).X, 1e-6);
    EXPECT_NEAR(made->Points[1].Y, toMap({200, 150}).Y, 1e-6);
    EXPECT_NEAR(made->Points[2].Y, 400 - 40 - 100, 1e-6);

    // A middle click without a drag reaches the dispatch (measuring takes it
    // as neither button: a point).
    act("GeocordButton")->trigger();
    middle(image(), QEvent::MouseButtonPress, {500, 500}, Qt::MiddleButton);
    EXPECT_EQ(ws().modes.ClickCount, 0);
    middle(image(), QEvent::MouseButtonRelease, {500, 500}, Qt::NoButton);
    EXPECT_EQ(ws().modes.ClickCount, 1);
}

TEST_F(Navigation, MiddleDragWithinThePictureOnlyScrolls) {
    w_->scrollBox()->horizontalScrollBar()->setValue(200);
    w_->scrollBox()->verticalScrollBar()->setValue(200);
    const MapView before = ws().view.view();
    middle(image(), QEvent::MouseButtonPress, {400, 400}, Qt::MiddleButton);
    middle(image(), QEvent::MouseMove, {450, 430}, Qt::MiddleButton);
    middle(image(), QEvent::MouseButtonRelease, {450, 430}, Qt::NoButton);
    EXPECT_EQ(scroll(), QPoint(150, 170));
    EXPECT_DOUBLE_EQ(ws().view.view().ViewYMin, before.ViewYMin);
}

// The map picture has the keys from the start; a text field keeps what is
// typed into it ("+" and "-" do not zoom there); "Что здесь?" ends when
// another mode begins; after "Вся карта" every view change fills the window.
TEST_F(Navigation, KeysModesAndTheWindowFilledAfterTheWholeMap) {
    EXPECT_EQ(w_->focusWidget(), image());
    MapView& v = ws().view.view();
    QTest::keyClick(w_->focusWidget(), Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(v.Scale, 2.0);
    QLineEdit* field = w_->addressField();
    field->setFocus();
    for (QChar c : QStringLiteral("пр-т Ленина+7")) {
        if (c.unicode() < 128) {
            QTest::keyClick(field, char(c.unicode()));
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(field->text(), QStringLiteral("пр-т Ленина+7"));
    QTest::keyClick(field, Qt::Key_Left);
    EXPECT_EQ(field->cursorPosition(), field->text().size() - 1);
    EXPECT_DOUBLE_EQ(v.Scale, 2.0);
    EXPECT_EQ(scroll(), QPoint(0, 0));

    for (const char* other : {"FindButton", "ItenererButton"}) {
        if (!ws().modes.WhatIsHereMode) act("WhatIsHere")->trigger();
        ASSERT_TRUE(ws().modes.WhatIsHereMode);
        act(other)->trigger();
        EXPECT_FALSE(ws().modes.WhatIsHereMode) << other;
        EXPECT_FALSE(act("WhatIsHere")->isChecked()) << other;
    }

    // "Вся карта" fills the window; so does every view change after the
    // window grew larger than the picture: a zoom, a step out, a centring.
    w_->resize(700, 400);
    QApplication::processEvents();
    auto fills = [&] {
        QApplication::processEvents();
        const QSize r = w_->scrollBox()->viewport()->size();
        return ws().view.image.width() >= r.width() && ws().view.image.height() >= r.height() &&
               ws().view.image.size() == v.imageSize();
    };
    auto wholeMapThenLarger = [&] {
        act("WholeMap")->trigger();
        EXPECT_TRUE(fills());
        w_->resize(1000, 650);
        QApplication::processEvents();
        ASSERT_LT(ws().view.image.width(), w_->scrollBox()->viewport()->width());
    };
    wholeMapThenLarger();
    wheel(QPoint(100, 100), 1);
    EXPECT_TRUE(fills());
    w_->resize(700, 400);
    wholeMapThenLarger();
    act("KfUm")->trigger();
    EXPECT_TRUE(fills());
    w_->resize(700, 400);
    wholeMapThenLarger();
    ASSERT_TRUE(w_->centreOn(toMap({600, 600})));
    EXPECT_TRUE(fills());
}
