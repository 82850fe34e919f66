// The wheel, the "+" and "-" keys, "Уменьшить" and "Вся карта".
#include "common/SmallMapFixture.h"

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
