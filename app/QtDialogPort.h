#pragma once
#include "display/DialogPort.h"

#include <functional>

class QWidget;

namespace dm {

// The dialogs of the program on the screen.
class QtDialogPort : public DialogPort {
public:
    explicit QtDialogPort(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text) override;
    void error(const QString& text) override;
    Answer question(const QString& text, bool withCancel) override;
    std::optional<QString> inputText(const QString& caption, const QString& prompt, const QString& initial) override;
    std::optional<QString> openFileName(const QString& caption, const QString& dir, const QStringList& filters) override;
    std::optional<QString> saveFileName(const QString& caption, const QString& dir, const QStringList& filters) override;
    std::optional<QColor> chooseColor(const QColor& initial) override;
    std::optional<std::pair<QFont, QColor>> chooseFont(const QFont& initial, const QColor& color) override;
    bool setUpPrinter(QPrinter& printer) override;
    std::optional<std::pair<QString, QString>> namesDialog(const QString& newName, const QString& oldName) override;
    std::optional<int> chooseOption(const QString& caption, const QString& group, const QStringList& options,
                                    int initial) override;
    std::optional<int> chooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                  int initial) override;
    int exec(QDialog& dialog) override;

    // Run when any of these dialogs has closed: the main window takes the
    // keys again (without a window manager nothing would activate it).
    std::function<void()> afterModal;

private:
    // The window a dialog belongs to: the tool window in use, else the main window.
    QWidget* owner() const;
    QWidget* parent_;
};

}  // namespace dm
