#include "HouseForm.h"

#include "streets/StreetTools.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace dm {

namespace {
struct ButtonDef {
    const char* name;
    const char* hint;
    const char* glyph;
};
const ButtonDef kButtons[] = {
    {"CloseButton", "Закрыть форму", "✕"},
    {"CreaButton", "Создать дом", "+"},
    {"ShowAllButton", "Показать все дома", "☷"},
    {"KorrButton", "Корректировать сведения о доме", "✎"},
    {"DelButton", "Удалить дом", "−"},
};
}  // namespace

HouseForm::HouseForm(StreetTools& tools, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), tools_(tools) {
    setObjectName(QStringLiteral("DomForm"));
    setWindowTitle(QStringLiteral("Дома"));
    auto* lay = new QVBoxLayout(this);
    StaticText1 = new QLabel;
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    QFont bold = StaticText1->font();
    bold.setBold(true);
    StaticText1->setFont(bold);
    lay->addWidget(StaticText1);
    lay->addWidget(new QLabel(QStringLiteral("Номера домов")));
    ListBox1 = new QListWidget;
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    lay->addWidget(ListBox1, 1);
    auto* form = new QFormLayout;
    NomerEdit = new QLineEdit;
    NomerEdit->setObjectName(QStringLiteral("NomerEdit"));
    NomerEdit->setMaxLength(5);
    EtageEdit = new QLineEdit;
    EtageEdit->setObjectName(QStringLiteral("EtageEdit"));
    DopInfEdit = new QLineEdit;
    DopInfEdit->setObjectName(QStringLiteral("DopInfEdit"));
    DopInfEdit->setMaxLength(255);
    form->addRow(QStringLiteral("Номер дома"), NomerEdit);
    form->addRow(QStringLiteral("Кол-во этажей"), EtageEdit);
    form->addRow(QStringLiteral("Доп.информация"), DopInfEdit);
    lay->addLayout(form);
    auto* row = new QHBoxLayout;
    for (const ButtonDef& b : kButtons) {
        auto* t = new QToolButton;
        t->setObjectName(QString::fromLatin1(b.name));
        t->setText(QString::fromUtf8(b.glyph));
        t->setToolTip(QString::fromUtf8(b.hint));
        t->setMinimumSize(32, 28);
        row->addWidget(t);
    }
    row->addStretch();
    lay->addLayout(row);

    auto fields = [this] { return HouseFields{NomerEdit->text(), EtageEdit->text(), DopInfEdit->text()}; };
    connect(ListBox1, &QListWidget::itemClicked, this, [this](QListWidgetItem* i) { numberClicked(i->text()); });
    connect(button("CloseButton"), &QToolButton::clicked, this, [this] {
        tools_.closeHouseForm();
        hide();
    });
    connect(button("CreaButton"), &QToolButton::clicked, this, [this, fields] { tools_.startHousePlacing(fields()); });
    connect(button("ShowAllButton"), &QToolButton::clicked, this, [this] { tools_.showAllHouses(); });
    connect(button("KorrButton"), &QToolButton::clicked, this, [this, fields] { tools_.correctHouse(fields()); });
    connect(button("DelButton"), &QToolButton::clicked, this, [this] {
        if (!tools_.deleteHouse()) return;
        NomerEdit->clear();
        EtageEdit->clear();
        DopInfEdit->clear();
    });
    resize(300, 420);
}

QToolButton* HouseForm::button(const char* name) const {
    return findChild<QToolButton*>(QString::fromLatin1(name));
}

void HouseForm::showForStreet() {
    StaticText1->setText(tools_.houseStreetName());
    NomerEdit->clear();
    EtageEdit->clear();
    DopInfEdit->clear();
    refresh();
    show();
    raise();
}

void HouseForm::refresh() {
    ListBox1->clear();
    ListBox1->addItems(tools_.houseNumbers());
}

void HouseForm::closeEvent(QCloseEvent* e) {
    tools_.closeHouseForm();
    QWidget::closeEvent(e);
}

void HouseForm::numberClicked(const QString& number) {
    const auto f = tools_.selectHouse(number);
    if (!f) return;
    NomerEdit->setText(f->number);
    EtageEdit->setText(f->floors);
    DopInfEdit->setText(f->info);
}

}  // namespace dm
