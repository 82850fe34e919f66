#include "QtDialogPort.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>

#include <QApplication>
#include <QPointer>

namespace dm {

namespace {
// When a dialog of the port has closed, the window that was active before
// it (a tool window or the main window) is active again; for the main window
// the port's afterModal gives the map its keys back.
struct BackToWindow {
    const std::function<void()>& after;
    QWidget* main;
    QPointer<QWidget> before = QApplication::activeWindow();
    ~BackToWindow() {
        if (QApplication::activeModalWidget()) return;  // still inside another dialog
        if (before && before != main && before->isVisible()) {
            before->activateWindow();
            return;
        }
        if (after) after();
    }
};

// Message boxes open over the middle of the window they belong to (without
// a window manager Qt would leave them at the screen's corner).
void centreOn(QWidget* dialog, QWidget* parent) {
    dialog->adjustSize();
    QRect over;
    if (parent && parent->isVisible()) over = parent->window()->frameGeometry();
    else if (const QScreen* s = QGuiApplication::primaryScreen()) over = s->availableGeometry();
    if (over.isValid()) dialog->move(over.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    centreOn(&box, parent);
    box.exec();
}
// The columns of Qt's file dialog in the program's language: Qt's own
// Russian lacks the file kinds ("Folder"), and the sizes and dates follow
// the system's locale ("KiB", "bytes", English months under LANG=C).
class RussianFileColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
            return QIdentityProxyModel::data(index, role);
        const QFileInfo info = files->fileInfo(mapToSource(index));
        const QLocale ru(QLocale::Russian, QLocale::Russia);
        switch (index.column()) {
            case 1: return info.isDir() ? QString() : ru.formattedDataSize(info.size(), 1, QLocale::DataSizeTraditionalFormat);
            case 2:
                if (info.isDir()) return QStringLiteral("Папка");
                return info.suffix().isEmpty() ? QStringLiteral("Файл") : QStringLiteral("Файл ") + info.suffix();
            default: return ru.toString(info.lastModified(), QStringLiteral("dd.MM.yyyy HH:mm"));
        }
    }
};

std::optional<QString> fileName(QWidget* over, const QString& caption, const QString& dir, const QStringList& filters,
                                bool save) {
    QFileDialog d(over, caption, dir, filters.join(QStringLiteral(";;")));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setProxyModel(new RussianFileColumns(&d));
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty() || d.selectedFiles().first().isEmpty())
        return std::nullopt;
    return d.selectedFiles().first();
}
}  // namespace

QWidget* QtDialogPort::owner() const {
    // A tool window of the main window that is in use: the dialog opens in
    // front of it, over its middle, not partly under it.
    QWidget* active = QApplication::activeWindow();
    if (active && parent_ && active != parent_ && active->isVisible() && !active->isModal() &&
        active->parentWidget() == parent_)
        return active;
    return parent_;
}

void QtDialogPort::message(const QString& text) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    showMessage(over, QMessageBox::Information, QStringLiteral("Сообщение"), text);
}

void QtDialogPort::error(const QString& text) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    showMessage(over, QMessageBox::Critical, QStringLiteral("Ошибка"), text);
}

DialogPort::Answer QtDialogPort::question(const QString& text, bool withCancel) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), text, QMessageBox::NoButton, over);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    QPushButton* cancel = withCancel ? box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(yes);
    // Escape is Cancel where there is one, else No.
    box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : no);
    centreOn(&box, over);
    box.exec();
    if (box.clickedButton() == yes) return Answer::Yes;
    if (box.clickedButton() == no || !withCancel) return Answer::No;
    return Answer::Cancel;
}

std::optional<QString> QtDialogPort::inputText(const QString& caption, const QString& prompt, const QString& initial) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    bool ok = false;
    const QString s = QInputDialog::getText(over, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return s;
}

std::optional<QString> QtDialogPort::openFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const BackToWindow back{afterModal, parent_};
    return fileName(owner(), caption, dir, filters, false);
}

std::optional<QString> QtDialogPort::saveFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const BackToWindow back{afterModal, parent_};
    return fileName(owner(), caption, dir, filters, true);
}

std::optional<QColor> QtDialogPort::chooseColor(const QColor& initial) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    const QColor c = QColorDialog::getColor(initial, over);
    if (!c.isValid()) return std::nullopt;
    return c;
}

std::optional<std::pair<QFont, QColor>> QtDialogPort::chooseFont(const QFont& initial, const QColor& color) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, initial, over);
    if (!ok) return std::nullopt;
    const QColor c = QColorDialog::getColor(color, over, QStringLiteral("Цвет шрифта"));
    return std::make_pair(f, c.isValid() ? c : color);
}

bool QtDialogPort::setUpPrinter(QPrinter& printer) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    QPrintDialog d(&printer, over);
    return d.exec() == QDialog::Accepted;
}

std::optional<int> QtDialogPort::chooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                            int initial) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    bool ok = false;
    const QString s = QInputDialog::getItem(over, caption, prompt, items, initial, false, &ok);
    if (!ok) return std::nullopt;
    const int i = int(items.indexOf(s));
    if (i < 0) return std::nullopt;
    return i;
}

int QtDialogPort::exec(QDialog& dialog) {
    const BackToWindow back{afterModal, parent_};
    return dialog.exec();
}

std::optional<std::pair<QString, QString>> QtDialogPort::namesDialog(const QString& newName, const QString& oldName) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    QDialog d(over);
    d.setWindowTitle(QStringLiteral("Названия"));
    auto* lay = new QVBoxLayout(&d);
    auto* newEdit = new QLineEdit(newName);
    auto* oldEdit = new QLineEdit(oldName);
    newEdit->setMaxLength(255);
    oldEdit->setMaxLength(255);
    lay->addWidget(new QLabel(QStringLiteral("Новое название")));
    lay->addWidget(newEdit);
    lay->addWidget(new QLabel(QStringLiteral("Старое название")));
    lay->addWidget(oldEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    lay->addWidget(buttons);
    d.resize(420, d.sizeHint().height());
    newEdit->setFocus();
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return std::make_pair(newEdit->text(), oldEdit->text());
}

std::optional<int> QtDialogPort::chooseOption(const QString& caption, const QString& group, const QStringList& options,
                                              int initial) {
    const BackToWindow back{afterModal, parent_};
    QWidget* const over = owner();
    QDialog d(over);
    d.setWindowTitle(caption);
    auto* lay = new QVBoxLayout(&d);
    auto* box = new QGroupBox(group);
    auto* boxLay = new QVBoxLayout(box);
    std::vector<QRadioButton*> radios;
    for (int i = 0; i < options.size(); ++i) {
        auto* r = new QRadioButton(options[i]);
        r->setChecked(i == initial);
        boxLay->addWidget(r);
        radios.push_back(r);
    }
    lay->addWidget(box);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    lay->addWidget(buttons);
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    for (size_t i = 0; i < radios.size(); ++i)
        if (radios[i]->isChecked()) return int(i);
    return initial;
}

}  // namespace dm
