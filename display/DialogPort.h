#pragma once
// Every modal question, message box, input box and file, colour, font,
// print or other modal dialog of the program goes through this interface,
// so that the whole program can be driven without a screen: the program
// uses Qt dialogs, tests a script of answers.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QPrinter;

namespace dm {

class DialogPort {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~DialogPort() = default;
    // A message box with an OK button.
    virtual void message(const QString& text) = 0;
    // The same for a failure (a file that cannot be read or written); the
    // screen shows it as an error.
    virtual void error(const QString& text) { message(text); }
    // A confirmation box: Yes and No, and Cancel when asked for.
    virtual Answer question(const QString& text, bool withCancel = false) = 0;
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                             const QString& initial = {}) = 0;
    // File dialogs; filters in Qt form ("Name (*.ext)"); nullopt when cancelled.
    virtual std::optional<QString> openFileName(const QString& caption, const QString& dir,
                                                const QStringList& filters) = 0;
    virtual std::optional<QString> saveFileName(const QString& caption, const QString& dir,
                                                const QStringList& filters) = 0;
    virtual std::optional<QColor> chooseColor(const QColor& initial) = 0;
    // The font and its colour.
    virtual std::optional<std::pair<QFont, QColor>> chooseFont(const QFont& initial, const QColor& color) = 0;
    virtual bool setUpPrinter(QPrinter& printer) = 0;
    // The names dialog "Названия": the new name (upper field, focused first)
    // and the old name (lower field); nullopt when cancelled.
    virtual std::optional<std::pair<QString, QString>> namesDialog(const QString& newName, const QString& oldName) = 0;
    // A choice among radio buttons under a group title; nullopt when cancelled.
    virtual std::optional<int> chooseOption(const QString& caption, const QString& group, const QStringList& options,
                                            int initial) = 0;
    // A choice from a drop-down list under a prompt; nullopt when cancelled.
    virtual std::optional<int> chooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                          int initial) {
        return chooseOption(caption, prompt, items, initial);
    }
    // Any other modal dialog of the program; returns its result code.
    virtual int exec(QDialog& dialog) = 0;
};

}  // namespace dm
