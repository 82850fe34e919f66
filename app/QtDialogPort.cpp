#include "QtDialogPort.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace dm {

void QtDialogPort::message(const QString& text) {
    QMessageBox::information(parent_, QString(), text);
}

DialogPort::Answer QtDialogPort::question(const QString& text, bool withCancel) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton, parent_);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    QPushButton* cancel = withCancel ? box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole) : nullptr;
    box.setDefaultButton(yes);
    box.exec();
    if (box.clickedButton() == yes) return Answer::Yes;
    if (box.clickedButton() == no) return Answer::No;
    (void)cancel;
    return withCancel ? Answer::Cancel : Answer::No;
}

std::optional<QString> QtDialogPort::inputText(const QString& caption, const QString& prompt, const QString& initial) {
    bool ok = false;
    const QString s = QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return s;
}

std::optional<QString> QtDialogPort::openFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const QString s = QFileDialog::getOpenFileName(parent_, caption, dir, filters.join(QStringLiteral(";;")));
    if (s.isEmpty()) return std::nullopt;
    return s;
}

std::optional<QString> QtDialogPort::saveFileName(const QString& caption, const QString& dir,
                                                  const QStringList& filters) {
    const QString s = QFileDialog::getSaveFileName(parent_, caption, dir, filters.join(QStringLiteral(";;")));
    if (s.isEmpty()) return std::nullopt;
    return s;
}

std::optional<QColor> QtDialogPort::chooseColor(const QColor& initial) {
    const QColor c = QColorDialog::getColor(initial, parent_);
    if (!c.isValid()) return std::nullopt;
    return c;
}

std::optional<std::pair<QFont, QColor>> QtDialogPort::chooseFont(const QFont& initial, const QColor& color) {
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, initial, parent_);
    if (!ok) return std::nullopt;
    const QColor c = QColorDialog::getColor(color, parent_, QStringLiteral("Цвет шрифта"));
    return std::make_pair(f, c.isValid() ? c : color);
}

bool QtDialogPort::setUpPrinter(QPrinter& printer) {
    QPrintDialog d(&printer, parent_);
    return d.exec() == QDialog::Accepted;
}

int QtDialogPort::exec(QDialog& dialog) { return dialog.exec(); }

}  // namespace dm
