#pragma once
// "Список улиц": the street list with its old and new names, two edits for
// the chosen street, and a search field that filters the rows.

#include "streets/Streets.h"

#include <QAbstractTableModel>
#include <QDialog>

class QLabel;
class QLineEdit;
class QTableView;

namespace dm {

// The rows of the street list, filtered by the search field.
class StreetListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    void setRows(std::vector<StreetRow> rows, StreetOrder order);
    // Keeps the rows whose names hold the query (see StreetFilter).
    void setFilter(const QString& query);
    const StreetRow& row(int visible) const { return rows_[size_t(visible_[size_t(visible)])]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<StreetRow> rows_;
    std::vector<QString> shown_[3];  // the texts of the columns (the third: streets of the same names)
    std::vector<int> visible_;
    StreetFilter filter_;
    StreetOrder order_ = StreetOrder::Old;
};

class StreetListDialog : public QDialog {
    Q_OBJECT
public:
    explicit StreetListDialog(QWidget* parent = nullptr);
    // Fills the grid (and clears the edits and the search field).
    void fill(std::vector<StreetRow> rows, StreetOrder order);
    QString upperText() const;
    QString lowerText() const;
    // The register index of the street whose row was chosen last; -1 when
    // none was since the list was filled.
    int chosenStreet() const { return chosen_; }

    QTableView* grid() const { return StringGrid1; }
    QLineEdit* upperEdit() const { return Edit1; }
    QLineEdit* lowerEdit() const { return Edit2; }
    QLineEdit* searchField() const { return Poisk; }
    QLabel* countLabel() const { return Count; }
    StreetListModel* model() const { return model_; }

    // Header texts of the two columns when sorting by old names.
    static const QString kOldHeader;
    static const QString kNewHeader;

protected:
    // The upper edit has the focus when the list opens (typing scrolls the
    // list); the search field is reached with Tab.
    void showEvent(QShowEvent* e) override;
    // Down from the search field enters the list; Enter in it takes the
    // first row found.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void rowClicked(const QModelIndex& index);
    void upperTyped(const QString& text);
    void showCount();

    StreetListModel* model_;
    QLineEdit* Poisk;
    QTableView* StringGrid1;
    QLabel* UpperLabel;
    QLabel* LowerLabel;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLabel* Count;
    int chosen_ = -1;
};

}  // namespace dm
