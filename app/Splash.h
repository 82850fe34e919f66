#pragma once
#include <QWidget>

class QTimer;

namespace dm {

// The start-up window: a picture and a small animation on blue.
class SplashWindow : public QWidget {
public:
    SplashWindow();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
    QTimer* timer_;
    int frame_ = 0;
};

}  // namespace dm
