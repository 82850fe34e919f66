#pragma once
// Every menu item and tool-bar button of the main window, with its control
// name, caption and hint.  Items that the delivered layout hides stay
// hidden unless all tools are asked for; items whose operation is not
// available are disabled.

#include <QAction>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

class QMainWindow;
class QMenu;
class QToolBar;

namespace dm {

class ActionTable {
public:
    void build(QMainWindow* window, QToolBar* toolbar, bool allTools);
    // The action of a control name ("KfUv", "FileSave", ...); null if unknown.
    QAction* action(const QString& id) const { return actions_.value(id); }
    QAction* operator[](const char* id) const;
    QMenu* menu(const QString& id) const { return menus_.value(id); }
    const QHash<QString, QAction*>& all() const { return actions_; }
    // Enables an item (and remembers that its operation exists).
    void wire(const char* id, const std::function<void()>& handler);
    bool isWired(const QString& id) const { return wired_.contains(id); }
    // Called before and after the handler of every wired item.
    std::function<void()> beforeEach, afterEach;
    // Enables or disables an item, but enables only items that are wired.
    void setAvailable(const char* id, bool enabled);

private:
    QHash<QString, QAction*> actions_;
    QHash<QString, QMenu*> menus_;
    QSet<QString> wired_;
};

}  // namespace dm
