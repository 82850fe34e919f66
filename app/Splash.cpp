#include "Splash.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace dm {

namespace {
QImage makePicture() {
    QImage img(398, 228, QImage::Format_RGB32);
    img.fill(QColor(238, 232, 214));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A few blocks, a river and streets.
    p.setPen(QPen(QColor(200, 170, 90), 3));
    for (int x = 20; x < 398; x += 60) p.drawLine(x, 0, x, 228);
    for (int y = 20; y < 228; y += 50) p.drawLine(0, y, 398, y);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(238, 200, 150));
    for (int x = 26; x < 398; x += 60)
        for (int y = 26; y < 228; y += 50) p.drawRect(x, y, 22, 16);
    QPainterPath river;
    river.moveTo(0, 150);
    river.cubicTo(120, 110, 260, 200, 398, 140);
    p.setPen(QPen(QColor(120, 180, 240), 14));
    p.setBrush(Qt::NoBrush);
    p.drawPath(river);
    p.setPen(QPen(QColor(220, 110, 0), 6));
    p.drawLine(0, 220, 398, 10);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"), 16, QFont::Bold);
    p.setFont(f);
    p.fillRect(QRect(40, 70, 318, 60), QColor(20, 40, 120, 200));
    p.drawText(QRect(40, 70, 318, 60), Qt::AlignCenter, QStringLiteral("Электронная карта\nг. Дарвента"));
    return img;
}
}  // namespace

SplashWindow::SplashWindow()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::SplashScreen),
      picture_(makePicture()),
      timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("FirstLoad"));
    setFixedSize(413, 242);
    if (const QScreen* s = QGuiApplication::primaryScreen()) move(s->geometry().center() - rect().center());
    connect(timer_, &QTimer::timeout, this, [this] {
        ++frame_;
        update();
    });
    timer_->start(80);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 160));
    p.drawImage(QPoint(7, 7), picture_);
    // A small globe turning in the corner.
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(380, 24);
    p.setBrush(QColor(30, 90, 200));
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(c, 12, 12);
    const double phase = frame_ * 0.25;
    for (int k = 0; k < 3; ++k) {
        const double w = 12 * std::cos(phase + k * 1.05);
        p.drawEllipse(c, std::fabs(w), 12.0);
    }
}

}  // namespace dm
