#include "QtDialogPort.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QFileDialog>
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

// Message boxes open over the middle of the main window (without a window
// manager Qt would leave them at the screen's corner).
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
}  // namespace

void QtDialogPort::message(const QString& text) {
    const BackToWindow back{afterModal, parent_};
    showMessage(parent_, QMessageBox::Information, QStringLiteral("Сообщение"), text);
}

void QtDialogPort::error(const QString& text) {
    const BackToWindow back{afterModal, parent_};
    showMessage(parent_, QMessageBox::Critical, QStringLiteral("Ошибка"), text);
}

DialogPort::Answer QtDialogPort::question(const QString& text, bool withCancel) {
    const BackToWindow back{afterModal, parent_};
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), text, QMessageBox::NoButton, parent_);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    QPushButton* cancel = withCancel ? box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(yes);
    // Escape is Cancel where there is one, else No.
    box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : no);
    centreOn(&box, parent_);
    box.exec();
    if (box.clickedButton() == yes) return Answer::Yes;
    if (box.clickedButton() == no || !withCancel) return Answer::No;
    return Answer::Cancel;
}

std::optional<QString> QtDialogPort::inputText(const QString& caption, const QString& prompt, const QString& initial) {
    const BackToWindow back{afterModal, parent_};
    bool ok = false;
    const QString s = QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return s;
}

std::optional<QString> QtDialogPort::openFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const BackToWindow back{afterModal, parent_};
    const QString s = QFileDialog::getOpenFileName(parent_, caption, dir, filters.join(QStringLiteral(";;")));
    if (s.isEmpty()) return std::nullopt;
    return s;
}

std::optional<QString> QtDialogPort::saveFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const BackToWindow back{afterModal, parent_};
    const QString s = QFileDialog::getSaveFileName(parent_, caption, dir, filters.join(QStringLiteral(";;")));
    if (s.isEmpty()) return std::nullopt;
    return s;
}

std::optional<QColor> QtDialogPort::chooseColor(const QColor& initial) {
    const BackToWindow back{afterModal, parent_};
    const QColor c = QColorDialog::getColor(initial, parent_);
    if (!c.isValid()) return std::nullopt;
    return c;
}

std::optional<std::pair<QFont, QColor>> QtDialogPort::chooseFont(const QFont& initial, const QColor& color) {
    const BackToWindow back{afterModal, parent_};
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, initial, parent_);
    if (!ok) return std::nullopt;
    const QColor c = QColorDialog::getColor(color, parent_, QStringLiteral("Цвет шрифта"));
    return std::make_pair(f, c.isValid() ? c : color);
}

bool QtDialogPort::setUpPrinter(QPrinter& printer) {
    const BackToWindow back{afterModal, parent_};
    QPrintDialog d(&printer, parent_);
    return d.exec() == QDialog::Accepted;
}

std::optional<int> QtDialogPort::chooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                            int initial) {
    const BackToWindow back{afterModal, parent_};
    bool ok = false;
    const QString s = QInputDialog::getItem(parent_, caption, prompt, items, initial, false, &ok);
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
    QDialog d(parent_);
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
    QDialog d(parent_);
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
