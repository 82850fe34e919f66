#include "Translation.h"
#include "StreetListDialog.h"

#include "mapdata/Cp1251.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace dm {

const QString StreetListDialog::kOldHeader = QStringLiteral("                  СТАРОЕ  НАЗВАНИЕ");
const QString StreetListDialog::kNewHeader = QStringLiteral("                   НОВОЕ  НАЗВАНИЕ");

void StreetListModel::setRows(std::vector<StreetRow> rows, StreetOrder order) {
    beginResetModel();
    rows_ = std::move(rows);
    order_ = order;
    for (auto& col : shown_) col.clear();
    shown_[0].reserve(rows_.size());
    shown_[1].reserve(rows_.size());
    shown_[2].clear();
    for (const StreetRow& r : rows_) {
        shown_[0].push_back(fromCp1251(r.first));
        shown_[1].push_back(fromCp1251(r.second));
        shown_[2].push_back(QString::fromStdString(r.note));
    }
    filter_.setRows(rows_);
    visible_ = filter_.filter({});
    endResetModel();
}

void StreetListModel::setFilter(const QString& query) {
    beginResetModel();
    visible_ = filter_.filter(toCp1251(query));
    endResetModel();
}

int StreetListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(visible_.size()); }

int StreetListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant StreetListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= int(visible_.size())) return {};
    return shown_[size_t(index.column())][size_t(visible_[size_t(index.row())])];
}

QVariant StreetListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 2) return QString();
    const bool oldFirst = order_ == StreetOrder::Old;
    return (section == 0) == oldFirst ? StreetListDialog::kOldHeader : StreetListDialog::kNewHeader;
}

StreetListDialog::StreetListDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RueList"));
    setWindowTitle(QStringLiteral("Список улиц"));
    auto* lay = new QVBoxLayout(this);
    auto* searchLabel = new QLabel(QStringLiteral("Поиск по части названия:"));
    Poisk = new QLineEdit;
    Poisk->setObjectName(QStringLiteral("Poisk"));
    Poisk->setClearButtonEnabled(true);
    Poisk->setPlaceholderText(QStringLiteral("часть старого или нового названия"));
    lay->addWidget(searchLabel);
    lay->addWidget(Poisk);
    Count = new QLabel;
    Count->setObjectName(QStringLiteral("Count"));
    lay->addWidget(Count);
    Poisk->installEventFilter(this);

    model_ = new StreetListModel;
    model_->setParent(this);
    StringGrid1 = new QTableView;
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(model_);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(StringGrid1->fontMetrics().height() + 4);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    StringGrid1->setColumnWidth(1, 240);
    StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    StringGrid1->setColumnWidth(0, 300);
    StringGrid1->setWordWrap(false);
    lay->addWidget(StringGrid1, 1);

    UpperLabel = new QLabel;
    UpperLabel->setObjectName(QStringLiteral("UpperLabel"));
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    LowerLabel = new QLabel;
    LowerLabel->setObjectName(QStringLiteral("LowerLabel"));
    Edit2 = new QLineEdit;
    Edit2->setObjectName(QStringLiteral("Edit2"));
    lay->addWidget(UpperLabel);
    lay->addWidget(Edit1);
    lay->addWidget(LowerLabel);
    lay->addWidget(Edit2);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OKBtn"));
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelBtn"));
    RussianButtons(*buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    lay->addWidget(buttons);

    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(Edit2, Poisk);
    QWidget::setTabOrder(Poisk, StringGrid1);
    connect(StringGrid1, &QTableView::clicked, this, [this](const QModelIndex& i) { rowClicked(i); });
    // Moving in the list with the keys chooses as a click does.
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& i) { rowClicked(i); });
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& t) { upperTyped(t); });
    connect(Poisk, &QLineEdit::textChanged, this, [this](const QString& t) {
        model_->setFilter(t);
        showCount();
    });
    resize(640, 520);
}

void StreetListDialog::fill(std::vector<StreetRow> rows, StreetOrder order) {
    Poisk->clear();
    model_->setRows(std::move(rows), order);
    chosen_ = -1;
    showCount();
    const bool oldFirst = order == StreetOrder::Old;
    UpperLabel->setText(oldFirst ? QStringLiteral("Старое") : QStringLiteral("Новое"));
    LowerLabel->setText(oldFirst ? QStringLiteral("Новое") : QStringLiteral("Старое"));
    StringGrid1->scrollToTop();
}

void StreetListDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Edit1->setFocus(Qt::OtherFocusReason);
}

QString StreetListDialog::upperText() const { return Edit1->text(); }
QString StreetListDialog::lowerText() const { return Edit2->text(); }

void StreetListDialog::showCount() {
    Count->setText(QStringLiteral("Найдено улиц: %1").arg(model_->rowCount()));
}

bool StreetListDialog::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Poisk && e->type() == QEvent::KeyPress && model_->rowCount() > 0) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Down) {
            StringGrid1->setFocus(Qt::TabFocusReason);
            StringGrid1->selectRow(0);
            rowClicked(model_->index(0, 0));
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // The first row found is taken, and the dialog closes with it.
            StringGrid1->selectRow(0);
            rowClicked(model_->index(0, 0));
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void StreetListDialog::rowClicked(const QModelIndex& index) {
    if (!index.isValid()) return;
    chosen_ = model_->row(index.row()).street;
    Edit1->setText(model_->data(model_->index(index.row(), 0), Qt::DisplayRole).toString());
    Edit2->setText(model_->data(model_->index(index.row(), 1), Qt::DisplayRole).toString());
}

void StreetListDialog::upperTyped(const QString& text) {
    // The first row whose first column begins with the text (letter case
    // as typed) comes to the top; no such row: the grid stays.
    for (int r = 0; r < model_->rowCount(); ++r) {
        const QString first = model_->data(model_->index(r, 0), Qt::DisplayRole).toString();
        if (first.startsWith(text, Qt::CaseSensitive)) {
            StringGrid1->scrollTo(model_->index(r, 0), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

}  // namespace dm
