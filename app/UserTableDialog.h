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
    bool save();  // false: not saved (no file chosen, or an error shown)
    void addRow();
    void delRow();
    void addColumn();
    void delColumn();
    void print();

    // Closing with edits not saved asks "Сохранить изменения?" first.
    void done(int r) override;

private:
    bool edited() const;
    DialogPort& dialogs_;
    UserTable saved_;  // as last loaded or saved (or the new table)
    QTableWidget* StringGrid1;
};

}  // namespace dm
