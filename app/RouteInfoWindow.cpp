#include "RouteInfoWindow.h"

#include <QFormLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace dm {

RouteInfoWindow::RouteInfoWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Info"));
    setWindowTitle(QStringLiteral("Как проехать"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    Memo1->setFont(f);
    Addresses = new QWidget(this);
    auto* form = new QFormLayout(Addresses);
    form->setContentsMargins(4, 4, 4, 0);
    From = new AddressField({}, Addresses);
    From->setObjectName(QStringLiteral("FromEdit"));
    To = new AddressField({}, Addresses);
    To->setObjectName(QStringLiteral("ToEdit"));
    FindRoute = new QPushButton(QStringLiteral("Найти"), Addresses);
    FindRoute->setObjectName(QStringLiteral("FindRouteButton"));
    // Room for a whole candidate of a long name.
    for (AddressField* f : {From, To})
        f->setMinimumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("Амира Темура пр-т, 108/2 (быв. Ленинградская)")) + 32);
    form->addRow(QStringLiteral("Откуда"), From);
    form->addRow(QStringLiteral("Куда"), To);
    form->addRow(QString(), FindRoute);
    connect(FindRoute, &QPushButton::clicked, this, [this] { findRoute(); });
    From->chosen = [this](const AddressHit&) { To->setFocus(); };
    To->chosen = [this](const AddressHit&) { findRoute(); };
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(Addresses);
    lay->addWidget(Memo1);
    // At least the original 170 x 67 client area; wider and higher when the
    // lines need it in the installed font.
    resize(170, 67);
}

void RouteInfoWindow::fitToLines() {
    const QFontMetrics fm(Memo1->font());
    int w = 0;
    const QStringList l = lines();
    for (const QString& line : l) w = std::max(w, fm.horizontalAdvance(line));
    // The text frame, the document margin on both sides and a little air.
    const int frame = 2 * Memo1->frameWidth() + 2 * int(Memo1->document()->documentMargin()) + 8;
    const int rows = std::max<int>(4, int(l.size()));
    const QSize fields = Addresses->sizeHint();
    const QSize want(std::max({170, w + frame, fields.width()}),
                     std::max(67, rows * fm.lineSpacing() + frame) + fields.height());
    if (size() != want) resize(want);
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
    setLine(0, QStringLiteral("Информация о пути:"));
    fitToLines();
    if (!isVisible() && anchor_) {
        // Beside the map area: inside its top right corner, clear of the
        // menus and the tool bar.
        const QPoint corner = anchor_->mapToGlobal(QPoint(anchor_->width(), 0));
        move(corner.x() - frameGeometry().width() - 24, corner.y() + 8);
    }
    show();
    raise();
    setLine(0, QStringLiteral("Информация о пути:"));
    fitToLines();
}

void RouteInfoWindow::setFinder(const AddressField::Finder& finder, const std::function<uint64_t()>& stamp,
                                const AddressField::Describer& describe) {
    for (AddressField* f : {From, To}) {
        f->setFinder(finder);
        f->stamp = stamp;
        f->describe = describe;
    }
}

void RouteInfoWindow::askAddresses() {
    if (!isVisible()) showLines({QString(), QString(), QString()});
    activateWindow();
    From->setFocus(Qt::OtherFocusReason);
    From->selectAll();
}

void RouteInfoWindow::clearAddresses() {
    From->clear();
    To->clear();
}

void RouteInfoWindow::findRoute() {
    const std::optional<AddressHit> a = From->current(), b = To->current();
    if (!a || !b) {
        showLines({QStringLiteral("Адрес не найден: ") + (a ? To->text() : From->text()), QString(), QString()});
        return;
    }
    if (routeBetween) routeBetween(*a, *b);
}

}  // namespace dm
