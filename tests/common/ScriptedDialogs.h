#pragma once
// The dialog port of the tests: answers come from a script, and every
// question, message and dialog is recorded in order.

#include "display/DialogPort.h"

#include <QDialog>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace dm {

class ScriptedDialogs : public DialogPort {
public:
    struct Asked {
        QString kind;  // "message", "question", "input", "open", "save", "color", "font", "print", "dialog"
        QString text;
    };
    std::vector<Asked> asked;
    std::vector<QString> dirs;  // the folders the file dialogs started in
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<QColor>> colors;
    std::function<int(QDialog&)> onDialog;
    std::deque<std::optional<std::pair<QString, QString>>> names;  // (new, old)
    std::deque<std::optional<int>> options;
    std::deque<std::optional<int>> picks;  // chooseItem's answers
    std::vector<int> initials;             // the item chooseItem offered first
    std::vector<QColor> colorInitials;     // the colour chooseColor offered first
    std::deque<std::optional<std::pair<QFont, QColor>>> fonts;
    // The print dialog: sets up the printer (a PDF file, say); none: cancelled.
    std::function<bool(QPrinter&)> onPrinter;
    // Runs while a question is open (before it is answered).
    std::function<void(const QString&)> onQuestion;

    QStringList texts(const QString& kind) const {
        QStringList out;
        for (const auto& a : asked)
            if (a.kind == kind) out << a.text;
        return out;
    }
    void clear() { asked.clear(); }

    void message(const QString& text) override { asked.push_back({"message", text}); }
    Answer question(const QString& text, bool withCancel) override {
        asked.push_back({withCancel ? "question3" : "question", text});
        if (onQuestion) onQuestion(text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return Answer::No;
        }
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> inputText(const QString& caption, const QString& prompt, const QString&) override {
        asked.push_back({"input", caption + "|" + prompt});
        return pop(inputs, caption);
    }
    std::optional<QString> openFileName(const QString& caption, const QString& dir, const QStringList&) override {
        asked.push_back({"open", caption});
        dirs.push_back(dir);
        return pop(files, caption);
    }
    std::optional<QString> saveFileName(const QString& caption, const QString& dir, const QStringList&) override {
        asked.push_back({"save", caption});
        dirs.push_back(dir);
        return pop(files, caption);
    }
    std::optional<QColor> chooseColor(const QColor& initial) override {
        asked.push_back({"color", {}});
        colorInitials.push_back(initial);
        if (colors.empty()) return std::nullopt;
        auto c = colors.front();
        colors.pop_front();
        return c;
    }
    std::optional<std::pair<QFont, QColor>> chooseFont(const QFont&, const QColor&) override {
        asked.push_back({"font", {}});
        return pop(fonts, "font");
    }
    std::optional<std::pair<QString, QString>> namesDialog(const QString& newName, const QString& oldName) override {
        asked.push_back({"names", newName + "|" + oldName});
        return pop(names, "names");
    }
    std::optional<int> chooseOption(const QString& caption, const QString&, const QStringList&, int) override {
        asked.push_back({"option", caption});
        return pop(options, caption);
    }
    // Recorded as "item" with the prompt and the items offered:
    // "prompt|first|second|...".
    std::optional<int> chooseItem(const QString&, const QString& prompt, const QStringList& items, int initial) override {
        asked.push_back({"item", (QStringList{prompt} + items).join(QLatin1Char('|'))});
        initials.push_back(initial);
        return pop(picks, prompt);
    }
    bool setUpPrinter(QPrinter& p) override {
        asked.push_back({"print", {}});
        return onPrinter ? onPrinter(p) : false;
    }
    int exec(QDialog& d) override {
        asked.push_back({"dialog", d.windowTitle()});
        return onDialog ? onDialog(d) : QDialog::Rejected;
    }

private:
    template <typename T> std::optional<T> pop(std::deque<std::optional<T>>& q, const QString& what) {
        if (q.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << what.toStdString();
            return std::nullopt;
        }
        std::optional<T> v;
        if (q.front()) v.emplace(std::move(*q.front()));
        q.pop_front();
        return v;
    }
};

}  // namespace dm
