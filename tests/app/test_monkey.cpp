// A random operator: menu items, tool buttons, clicks and drags on the map,
// the stops window and the user form, maps opened and the window closed,
// undo and redo, keys, every question answered at random, from a fixed
// seed.  Run under the address sanitizer it looks for objects used after
// their map went.  DM_MONKEY_STEPS and DM_MONKEY_SEED set the run
// (scripts/monkey.sh runs a long one).
#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/StopsWindow.h"
#include "app/UserAreaForm.h"
#include "cli/SampleCity.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrinter>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <random>
#include <unordered_set>

namespace fs = std::filesystem;
using namespace dm;

namespace {

// Answers every dialog at random; file dialogs choose among the maps and
// files of the start folder or are cancelled.
class RandomDialogs : public DialogPort {
public:
    RandomDialogs(std::mt19937& rng, std::vector<QString> files, fs::path pdf)
        : rng_(rng), files_(std::move(files)), pdf_(std::move(pdf)) {}
    int asked = 0;
    void message(const QString&) override { ++asked; }
    Answer question(const QString&, bool withCancel) override {
        ++asked;
        return Answer(pick(withCancel ? 3 : 2));
    }
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override {
        ++asked;
        static const char* const texts[] = {"12", "0", "-5", "abc", "", "123456789012", "7.5", "Навои"};
        if (pick(5) == 0) return std::nullopt;
        return QString::fromUtf8(texts[pick(std::size(texts))]);
    }
    std::optional<QString> openFileName(const QString&, const QString&, const QStringList&) override { return file(); }
    std::optional<QString> saveFileName(const QString&, const QString&, const QStringList&) override { return file(); }
    std::optional<QColor> chooseColor(const QColor&) override {
        if (pick(2)) return std::nullopt;
        return QColor::fromRgb(rng_() & 0xFFFFFF);
    }
    std::optional<std::pair<QFont, QColor>> chooseFont(const QFont& f, const QColor& c) override {
        if (pick(2)) return std::nullopt;
        return std::make_pair(f, c);
    }
    bool setUpPrinter(QPrinter& p) override {
        // Now and then a real print to a PDF file.
        if (pick(6) != 0) return false;
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf_.string()));
        return true;
    }
    std::optional<std::pair<QString, QString>> namesDialog(const QString& n, const QString& o) override {
        if (pick(4) == 0) return std::nullopt;
        return std::make_pair(n.isEmpty() ? QStringLiteral("Новая") : n, o);
    }
    std::optional<int> chooseOption(const QString&, const QString&, const QStringList& options, int) override {
        if (pick(4) == 0 || options.isEmpty()) return std::nullopt;
        return int(pick(size_t(options.size())));
    }
    int exec(QDialog& d) override {
        ++asked;
        // Press a few of the dialog's own buttons, then close it (not those
        // of Qt's own dialogs, such as the print preview, whose buttons open
        // further dialogs of Qt's).
        if (!QByteArray(d.metaObject()->className()).startsWith("dm::"))
            return pick(2) ? QDialog::Accepted : QDialog::Rejected;
        const auto buttons = d.findChildren<QAbstractButton*>();
        for (int i = 0, n = int(pick(3)); i < n && !buttons.isEmpty(); ++i) {
            QAbstractButton* b = buttons[int(pick(size_t(buttons.size())))];
            if (b->isEnabled()) b->click();
            if (d.result() != 0) return d.result();
        }
        return pick(2) ? QDialog::Accepted : QDialog::Rejected;
    }
    size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }

private:
    std::optional<QString> file() {
        ++asked;
        if (pick(3) == 0 || files_.empty()) return std::nullopt;
        return files_[pick(files_.size())];
    }
    std::mt19937& rng_;
    std::vector<QString> files_;
    fs::path pdf_;
};

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

}  // namespace

TEST(ProgramMonkey, RandomStepsFromAFixedSeed) {
    const int steps = envInt("DM_MONKEY_STEPS", 400);
    const unsigned seed = unsigned(envInt("DM_MONKEY_SEED", 1));
    const fs::path dir = fs::temp_directory_path() / ("dm_monkey_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    sample::writeStartFolder(dir, {});
    std::vector<QString> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(QString::fromStdString(e.path().string()));
    files.push_back(QString::fromStdString((dir / "new.bin").string()));
    std::mt19937 rng(seed);
    RandomDialogs dialogs(rng, files, dir / "print.pdf");

    AppOptions o;
    o.startDir = dir;
    o.screenWidth = 700;
    o.dialogs = &dialogs;
    o.allTools = true;
    auto w = std::make_unique<MainWindow>(o);
    w->resize(800, 600);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));

    // Everything that can be done, but leaving the program and the menus
    // that only switch the layout.
    std::vector<QAction*> actions;
    for (QAction* a : w->actions().all())
        if (a->objectName() != QLatin1String("N6")) actions.push_back(a);
    std::sort(actions.begin(), actions.end(), [](QAction* a, QAction* b) { return a->objectName() < b->objectName(); });
    const QStringList menus = {"RueMenu", "Nazvania", "FileMenu"};
    auto randomPoint = [&](QWidget* wid) {
        return QPoint(int(dialogs.pick(size_t(std::max(1, wid->width())))),
                      int(dialogs.pick(size_t(std::max(1, wid->height())))));
    };
    auto windowButtons = [&](QWidget* win) {
        std::vector<QAbstractButton*> out;
        for (QAbstractButton* b : win->findChildren<QAbstractButton*>()) out.push_back(b);
        return out;
    };

    // A dialog of Qt's own left open (the print dialog of the preview, say)
    // is closed as an operator would close it.
    QTimer closer;
    closer.setInterval(300);
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    closer.start();

    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE(step);
        QWidget* image = w->imageWidget();
        const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};
        switch (dialogs.pick(12)) {
            case 0:
            case 1:
            case 2: {  // a menu item or a tool button
                QAction* a = actions[dialogs.pick(actions.size())];
                if (a->isEnabled()) a->trigger();
                break;
            }
            case 3:
            case 4: {  // a click on the map
                QTest::mouseClick(image, buttons[dialogs.pick(4)], Qt::NoModifier, randomPoint(image));
                break;
            }
            case 5: {  // a drag (a lasso, a rectangle)
                const Qt::MouseButton b = buttons[dialogs.pick(2)];
                QTest::mousePress(image, b, Qt::NoModifier, randomPoint(image));
                for (int i = 0, n = int(dialogs.pick(6)); i < n; ++i) QTest::mouseMove(image, randomPoint(image));
                QTest::mouseRelease(image, b, Qt::NoModifier, randomPoint(image));
                break;
            }
            case 6:  // a move of the mouse (rubber bands)
                QTest::mouseMove(image, randomPoint(image));
                break;
            case 7: {  // undo, redo, keys
                const int keys[] = {Qt::Key_Z, Qt::Key_Y, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Escape, Qt::Key_Down};
                const int k = keys[dialogs.pick(std::size(keys))];
                QTest::keyClick(w.get(), Qt::Key(k),
                                k == Qt::Key_Z || k == Qt::Key_Y ? Qt::ControlModifier : Qt::NoModifier);
                break;
            }
            case 8: {  // a button of the stops window or the user form
                QWidget* win = dialogs.pick(2) ? static_cast<QWidget*>(w->stopsWindow())
                                               : static_cast<QWidget*>(w->userAreaForm());
                if (!win->isVisible()) {
                    win->show();
                    break;
                }
                const auto bs = windowButtons(win);
                if (!bs.empty()) {
                    QAbstractButton* b = bs[dialogs.pick(bs.size())];
                    if (b->isEnabled()) b->click();
                }
                break;
            }
            case 9: {  // text typed, list rows chosen in those windows
                QWidget* win = dialogs.pick(2) ? static_cast<QWidget*>(w->stopsWindow())
                                               : static_cast<QWidget*>(w->userAreaForm());
                const auto edits = win->findChildren<QLineEdit*>();
                if (!edits.isEmpty()) edits[int(dialogs.pick(size_t(edits.size())))]->setText(QStringLiteral("Чорсу 5"));
                for (QListWidget* l : win->findChildren<QListWidget*>())
                    if (l->count() > 0) l->item(int(dialogs.pick(size_t(l->count()))))->setSelected(dialogs.pick(2));
                break;
            }
            case 10: {  // a menu opened (some load their data then)
                if (QMenu* m = w->actions().menu(menus[int(dialogs.pick(size_t(menus.size())))]))
                    QMetaObject::invokeMethod(m, "aboutToShow");
                break;
            }
            case 11: {  // a map opened, or the window closed and shown again
                switch (dialogs.pick(4)) {
                    case 0: w->lifecycle().OpenCityMap(); break;
                    case 1: w->lifecycle().OpenDistrictMap(dir / "Darvent" / "centr.or"); break;
                    case 2: w->lifecycle().OpenFileClick(); break;
                    default:
                        w->close();
                        if (!w->isVisible()) w->show();
                        break;
                }
                break;
            }
        }
        QCoreApplication::processEvents();
        // What the tools keep is part of the map as it is now.
        std::unordered_set<const TObj*> present;
        for (const auto& obj : w->workspace().map.ObjList) present.insert(obj.get());
        for (const TObj* c : w->creation().SelectedObjects()) ASSERT_TRUE(present.count(c)) << "collected object gone";
        const TObj* cur = w->workspace().map.CurObj;
        ASSERT_TRUE(!cur || present.count(cur) || w->workspace().modes.CreateMode) << "current object gone";
    }
    w->workspace().map.MapModified = false;
    w->workspace().files.NamesModified = false;
    w->workspace().files.StreetsModified = false;
    w->stopsWindow()->StopsModified = false;
    w->userAreaForm()->UserAreasModified = false;
    w.reset();
    fs::remove_all(dir);
    EXPECT_GT(dialogs.asked, 0);
}
