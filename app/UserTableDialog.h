#pragma once
// "Форма пользователя" of the tool button "Таблица пользователя": the
// operator's own table, loaded from and saved to a text file, printed.

#include "userdata/UserTable.h"

#include <QDialog>

class QTableWidget;
class QPushButton;

namespace dm {

class DialogPort;

class UserTableDialog : public QDialog {
    Q_OBJECT
public:
    UserTableDialog(DialogPort& dialogs, QWidget* parent = nullptr);
    QTableWidget* grid() const { return StringGrid1; }
    QPushButton* button(const char* name) const;
    // The table as shown (titles from the header, widths from the columns).
    UserTable table() const;
    void setTable(const UserTable& t);

    void load();
    void save();
    void addRow();
    void delRow();
    void addColumn();
    void delColumn();
    void print();

private:
    DialogPort& dialogs_;
    QTableWidget* StringGrid1;
};

}  // namespace dm
