#include "Translation.h"
#include "UserTableDialog.h"

#include "display/DialogPort.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fs = std::filesystem;

namespace dm {

UserTableDialog::UserTableDialog(DialogPort& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("ClientsFrm"));
    setWindowTitle(QStringLiteral("Форма пользователя"));
    auto* lay = new QVBoxLayout(this);
    StringGrid1 = new QTableWidget;
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lay->addWidget(StringGrid1, 1);
    auto* row = new QHBoxLayout;
    auto add = [&](const char* name, const QString& text) {
        auto* b = new QPushButton(text);
        b->setObjectName(QString::fromLatin1(name));
        row->addWidget(b);
        return b;
    };
    connect(add("OpenButton", QStringLiteral("Загрузить")), &QPushButton::clicked, this, [this] { load(); });
    connect(add("SaveButton", QStringLiteral("Сохранить")), &QPushButton::clicked, this, [this] { save(); });
    connect(add("AddRowButton", QStringLiteral("Добавить строку")), &QPushButton::clicked, this, [this] { addRow(); });
    connect(add("DelRowButton", QStringLiteral("Удалить строку")), &QPushButton::clicked, this, [this] { delRow(); });
    connect(add("AddColumnButton", QStringLiteral("Добавить столбец")), &QPushButton::clicked, this,
            [this] { addColumn(); });
    connect(add("DelColumnButton", QStringLiteral("Удалить столбец")), &QPushButton::clicked, this,
            [this] { delColumn(); });
    connect(add("PrintButton", QStringLiteral("Печатать")), &QPushButton::clicked, this, [this] { print(); });
    row->addStretch();
    connect(add("CloseBitBtn", StandardButtonText(QDialogButtonBox::Close)), &QPushButton::clicked, this, &QDialog::accept);
    lay->addLayout(row);
    setTable(UserTable::New());
    saved_ = table();
    resize(720, 480);
}

bool UserTableDialog::edited() const {
    const UserTable now = table();
    return now.cells != saved_.cells || now.widths != saved_.widths;
}

void UserTableDialog::done(int r) {
    if (edited()) {
        switch (dialogs_.question(QStringLiteral("Сохранить изменения?"), true)) {
            case DialogPort::Answer::Yes:
                if (!save()) return;
                break;
            case DialogPort::Answer::No: break;
            case DialogPort::Answer::Cancel: return;
        }
    }
    QDialog::done(r);
}

QPushButton* UserTableDialog::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

UserTable UserTableDialog::table() const {
    // Row 0 of the table is the header; the grid's rows are rows 1...
    UserTable t;
    const int n = StringGrid1->columnCount(), r = StringGrid1->rowCount() + 1;
    t.cells.assign(size_t(n), std::vector<std::string>(size_t(r)));
    t.widths.resize(size_t(n));
    for (int c = 0; c < n; ++c) {
        const QTableWidgetItem* h = StringGrid1->horizontalHeaderItem(c);
        t.cells[size_t(c)][0] = h ? toCp1251(h->text()) : std::string();
        for (int row = 1; row < r; ++row) {
            const QTableWidgetItem* it = StringGrid1->item(row - 1, c);
            t.cells[size_t(c)][size_t(row)] = it ? toCp1251(it->text()) : std::string();
        }
        t.widths[size_t(c)] = StringGrid1->columnWidth(c);
    }
    return t;
}

void UserTableDialog::setTable(const UserTable& t) {
    StringGrid1->clear();
    StringGrid1->setColumnCount(t.columns());
    StringGrid1->setRowCount(std::max(0, t.rows() - 1));
    for (int c = 0; c < t.columns(); ++c) {
        const auto& col = t.cells[size_t(c)];
        StringGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem(col.empty() ? QString() : fromCp1251(col[0])));
        for (int r = 1; r < t.rows(); ++r) StringGrid1->setItem(r - 1, c, new QTableWidgetItem(fromCp1251(col[size_t(r)])));
        StringGrid1->setColumnWidth(c, t.widths[size_t(c)]);
    }
}

void UserTableDialog::load() {
    // Edits not saved are not replaced without a question.
    if (edited()) {
        switch (dialogs_.question(QStringLiteral("Сохранить изменения?"), true)) {
            case DialogPort::Answer::Yes:
                if (!save()) return;
                break;
            case DialogPort::Answer::No: break;
            case DialogPort::Answer::Cancel: return;
        }
    }
    const auto chosen = dialogs_.openFileName(QStringLiteral("Загрузить"), QString(), {QStringLiteral("Все файлы (*)")});
    if (!chosen) return;
    // A table that fails to load leaves the grid as it was: half a table
    // saved again would lose the rest of the file.
    UserTable t = table();
    try {
        LoadUserTable(fs::path(chosen->toStdString()), t);
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return;
    }
    setTable(t);
    saved_ = table();
}

bool UserTableDialog::save() {
    const auto chosen = dialogs_.saveFileName(QStringLiteral("Сохранить"), QString(), {QStringLiteral("Все файлы (*)")});
    if (!chosen) return false;
    const UserTable t = table();
    try {
        SaveUserTable(fs::path(chosen->toStdString()), t);
    } catch (const std::exception& e) {
        dialogs_.error(QString::fromUtf8(e.what()));
        return false;
    }
    saved_ = t;
    return true;
}

void UserTableDialog::addRow() { StringGrid1->setRowCount(StringGrid1->rowCount() + 1); }

void UserTableDialog::delRow() {
    if (StringGrid1->rowCount() > 0) StringGrid1->setRowCount(StringGrid1->rowCount() - 1);
}

void UserTableDialog::addColumn() {
    const auto title = dialogs_.inputText(QStringLiteral("Название столбца"), QString(), QString());
    if (!title) return;
    const int c = StringGrid1->columnCount();
    StringGrid1->setColumnCount(c + 1);
    StringGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem(*title));
    const auto width = dialogs_.inputText(QStringLiteral("Ширина столбца"), QString(), QString());
    if (!width) return;
    bool ok = false;
    const int w = width->trimmed().toInt(&ok);
    if (!ok) {
        dialogs_.error(QStringLiteral("«%1» — не целое число.").arg(*width));
        return;
    }
    StringGrid1->setColumnWidth(c, w);
}

void UserTableDialog::delColumn() {
    if (StringGrid1->columnCount() > 0) StringGrid1->setColumnCount(StringGrid1->columnCount() - 1);
}

void UserTableDialog::print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (!dialogs_.setUpPrinter(printer)) return;
    const auto title = dialogs_.inputText(QStringLiteral("Название таблицы"), QString(), QString());
    QPainter p;
    if (!p.begin(&printer)) {
        dialogs_.error(QStringLiteral("Не удалось начать печать."));
        return;
    }
    PrintUserTable(p, printer.width(), toCp1251(title.value_or(QString())), table(), [&printer] { printer.newPage(); });
    if (!p.end()) printer.abort();
}

}  // namespace dm
