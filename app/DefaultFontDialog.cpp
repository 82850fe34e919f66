#include "DefaultFontDialog.h"

#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>

namespace dm {

namespace {
struct Kind {
    const char* entry;
    const char* face;
    bool bold, italic;
};
const Kind kKinds[] = {
    {"Города", "System", true, false},
    {"Поселки городского типа", "Arial", true, true},
    {"Поселки сельского типа", "System", true, false},
    {"Пояснительные надписи", "Arial", false, true},
    {"Отметки высот", "MS Serif", false, false},
    {"Горизонтали", "Arial", false, true},
};
struct Colour {
    const char* entry;
    int32_t value;
};
const Colour kColours[] = {
    {"Черный", 0x000000},  {"Синий", 0xFF0000},  {"Красный", 0x0000FF},
    {"Зеленый", 0x008000}, {"Желтый", 0x00FFFF}, {"Темно-серый", DefaultFontDialog::kDarkGrey},
    {"Коричневый", DefaultFontDialog::kBrown},
};
}  // namespace

DefaultFontDialog::DefaultFontDialog(TNameFont& font, QWidget* parent) : QDialog(parent), font_(font) {
    setWindowTitle(QStringLiteral("Установка шрифтов по умолчанию"));
    kinds_ = new QListWidget;
    for (const Kind& k : kKinds) kinds_->addItem(QString::fromUtf8(k.entry));
    colors_ = new QListWidget;
    for (const Colour& c : kColours) colors_->addItem(QString::fromUtf8(c.entry));
    height_ = new QSpinBox;
    height_->setRange(2, 30);
    height_->setValue(8);
    connect(kinds_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        font_.Face = kKinds[row].face;
        font_.Bold = kKinds[row].bold;
        font_.Italic = kKinds[row].italic;
    });
    connect(colors_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) font_.Color = kColours[row].value;
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* lay = new QGridLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("Тип объекта")), 0, 0);
    lay->addWidget(new QLabel(QStringLiteral("Цвет шрифта")), 0, 1);
    lay->addWidget(kinds_, 1, 0);
    lay->addWidget(colors_, 1, 1);
    lay->addWidget(new QLabel(QStringLiteral("Высота букв")), 2, 0);
    lay->addWidget(height_, 2, 1);
    lay->addWidget(buttons, 3, 0, 1, 2);
}

void DefaultFontDialog::done(int r) {
    font_.Size = height_->value();
    QDialog::done(r);
}

}  // namespace dm
