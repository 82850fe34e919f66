#pragma once
// The map image (`Image`) inside the scroll box: shows the off-screen
// picture as it is and hands mouse events to the interaction code.

#include <QImage>
#include <QScrollArea>
#include <QWidget>

#include <functional>

namespace dm {

// The scroll box of the map picture: it also tells how large the picture
// can be without scroll bars.
class MapScrollArea : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize roomWithoutScrollBars() const { return maximumViewportSize(); }
};

class MapImageWidget : public QWidget {
    Q_OBJECT
public:
    explicit MapImageWidget(const QImage* image, QWidget* parent = nullptr);
    // Takes the size of the picture and repaints.
    void imageChanged();

    std::function<void(QMouseEvent*)> onMouseDown, onMouseMove, onMouseUp;
    // A wheel turn over the picture: true when it was used (the scroll box
    // then does not scroll).
    std::function<bool(QWheelEvent*)> onWheel;
    // Told after each paint of a map picture.
    std::function<void()> afterPaint;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    const QImage* image_;
};

}  // namespace dm
