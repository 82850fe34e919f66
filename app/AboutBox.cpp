#include "AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace dm {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    QPixmap icon(48, 48);
    icon.fill(QColor(30, 60, 160));
    {
        QPainter p(&icon);
        p.setPen(QPen(QColor(240, 200, 120), 3));
        p.drawLine(6, 40, 42, 8);
        p.drawLine(6, 16, 42, 30);
        p.setPen(QPen(QColor(120, 190, 250), 4));
        p.drawLine(4, 28, 44, 22);
    }
    auto* iconLabel = new QLabel(panel);
    iconLabel->setPixmap(icon);
    auto* title = new QLabel(QStringLiteral("Электронная карта          г. Дарвента      "), panel);
    title->setObjectName(QStringLiteral("ProductName"));
    QFont f = title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    title->setFont(f);
    auto* version = new QLabel(QStringLiteral("Версия 4.1"), panel);
    version->setObjectName(QStringLiteral("Version"));
    auto* maker = new QLabel(QStringLiteral("Картографическая служба г. Дарвента\n"
                                            "Разработка: группа электронной карты\n"
                                            "Все права защищены\n"
                                            "Телефон: (0-00) 000-00-00"),
                             panel);
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(maker);
    top->addLayout(texts);
    panel->setLayout(top);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(panel);
    lay->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint());
}

}  // namespace dm
