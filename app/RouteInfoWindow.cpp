#include "RouteInfoWindow.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace dm {

RouteInfoWindow::RouteInfoWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Info"));
    setWindowTitle(QStringLiteral("Как проехать"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    Memo1->setFont(f);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(Memo1);
    // A little wider than the original 170 x 67 client area: the lines must fit.
    resize(240, 80);
}

QStringList RouteInfoWindow::lines() const { return Memo1->toPlainText().split(QLatin1Char('\n')); }

void RouteInfoWindow::setLine(int i, const QString& text) {
    QStringList l = lines();
    while (l.size() < 4) l << QString();
    l[i] = text;
    Memo1->setPlainText(l.join(QLatin1Char('\n')));
}

void RouteInfoWindow::showEvent(QShowEvent* e) {
    setLine(0, QStringLiteral("Информация о пути:"));
    QWidget::showEvent(e);
}

void RouteInfoWindow::showLines(const QStringList& lines) {
    for (int i = 0; i < 3 && i < lines.size(); ++i) setLine(i + 1, lines[i]);
    show();
    raise();
    setLine(0, QStringLiteral("Информация о пути:"));
}

}  // namespace dm
