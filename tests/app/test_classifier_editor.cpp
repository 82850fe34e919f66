// The classifier editor through the real window.

#include "app/ClassifierEditorDialog.h"
#include "common/SmallMapFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace dm;
using A = DialogPort::Answer;
namespace fs = std::filesystem;

namespace {
class ClassifierEditorTest : public SmallMapFixture {};

QPoint cellCentre(int c, int r) { return QPoint(10 * c + 15, 10 * r + 5); }
}  // namespace

TEST_F(ClassifierEditorTest, DrawStoreSaveApplyAndSeeTheSymbolOnTheMap) {
    ws().classifier.CurrentSemantic.Code = 3060;
    dialogs_.files.push_back(QString::fromStdString((dir_ / "sem100n.smn").string()));  // "Загрузить"
    dialogs_.files.push_back(QString::fromStdString((dir_ / "mine").string()));         // "Сохранить"
    dialogs_.answers = {A::No, A::Yes, A::Yes};  // not replaced, then replaced in the file; apply at once
    dialogs_.onDialog = [](QDialog& dlg) {
        auto& d = dynamic_cast<ClassifierEditorDialog&>(dlg);
        d.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
        EXPECT_EQ(d.findChild<QLabel*>("Heading")->text(), QStringLiteral("СОЗДАНИЕ И КОРРЕКТИРОВКА КЛАССИФИКАТОРА"));
        d.button("Load")->click();
        EXPECT_GT(d.model().Lines.size(), 10u);
        EXPECT_GT(d.model().ZnakList.size(), 3u);
        // Grid clicks: the margins do nothing, a cell toggles.
        ZnakGridWidget* g = d.gridWidget();
        QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(15, 50));
        QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(175, 50));
        QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(50, 163));
        EXPECT_EQ(d.grid().cells, ZnakGrid{}.cells);
        for (QPoint c : {cellCentre(8, 8), cellCentre(7, 8), cellCentre(1, 1), cellCentre(1, 1)})
            QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, c);
        EXPECT_TRUE(d.grid().at(8, 8));
        EXPECT_TRUE(d.grid().at(7, 8));
        EXPECT_FALSE(d.grid().at(1, 1));
        const QImage pic = g->picture();
        EXPECT_EQ(pic.pixel(cellCentre(7, 8)), qRgb(0, 0, 0));      // set: black
        EXPECT_EQ(pic.pixel(cellCentre(8, 8)), qRgb(0, 0, 0));      // the anchor cell clicked: black too
        EXPECT_EQ(pic.pixel(cellCentre(2, 2)), qRgb(255, 255, 255));
        EXPECT_EQ(pic.pixel(20, 50), qRgb(255, 0, 0));              // a red grid line
        // The grid drawn anew ("Показать рисунок" of a code without a
        // symbol) marks the anchor blue again.
        d.codeField()->setText(QStringLiteral("77777"));
        d.button("ShowZnak")->click();
        EXPECT_EQ(d.gridWidget()->picture().pixel(cellCentre(8, 8)), qRgb(0, 0, 255));
        for (QPoint c : {cellCentre(8, 8), cellCentre(7, 8)}) QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, c);
        // Right click: the symbol of code 2402.
        EXPECT_FALSE(d.button("StoreZnak")->isEnabled());
        d.codeField()->setText(QStringLiteral("2402"));
        QTest::mouseClick(g, Qt::RightButton, Qt::NoModifier, cellCentre(3, 3));
        EXPECT_TRUE(d.button("StoreZnak")->isEnabled());
        EXPECT_EQ(d.model().CurrentZnak.Count, 2);
        EXPECT_EQ(d.model().CurrentZnak.Col[0], 2);
        EXPECT_EQ(d.model().CurrentZnak.Col[1], 3);
        EXPECT_EQ(d.preview().pixel(2 + 25, 3 + 25), qRgb(0, 0, 0));
        // No to the replace question: the button stays for another try.
        d.button("StoreZnak")->click();
        EXPECT_TRUE(d.button("StoreZnak")->isEnabled());
        d.button("StoreZnak")->click();
        EXPECT_FALSE(d.button("StoreZnak")->isEnabled());
        EXPECT_EQ(d.model().ZnakList.back().Code, 2402);
        // Browsed to it at scale 4: its pixels at 41 + 4 (Col - 3), 41 + 4 (Row - 3).
        d.scaleField()->setValue(4);
        d.model().ZnakIndexPos = int(d.model().ZnakList.size()) - 2;
        d.button("Next")->click();
        EXPECT_EQ(d.model().ZnakIndexPos, int(d.model().ZnakList.size()) - 1);
        EXPECT_EQ(d.preview().pixel(37, 41), qRgb(0, 0, 0));
        EXPECT_EQ(d.preview().pixel(41, 41), qRgb(0, 0, 0));
        EXPECT_EQ(d.preview().pixel(29, 33), qRgb(255, 255, 255));
        d.button("Save")->click();
        d.button("Exit")->click();
        return int(QDialog::Accepted);
    };
    act("ClassifMenu")->trigger();
    EXPECT_EQ(ws().classifier.CurrentSemantic.Code, -1);
    EXPECT_EQ(dialogs_.texts("message"), (QStringList{QStringLiteral("Заменен в ZnakList"), QStringLiteral("Заменен в ZnakList")}));
    EXPECT_EQ(dialogs_.texts("question"), (QStringList{QStringLiteral("Знак с таким кодом уже есть.Заменить?"),
                                                       QStringLiteral("Знак с таким кодом уже есть.Заменить?"),
                                                       QStringLiteral("Учесть измениения немедленно?")}));
    EXPECT_TRUE(fs::exists(dir_ / "mine.smn"));
    EXPECT_TRUE(fs::exists(dir_ / "mine.ris"));
    // The saved classifier is the window's now: the tree at (900, 900)
    // shows the two new pixels, left of and on its point.
    EXPECT_EQ(ws().classifier.Znaks.path(), dir_ / "mine.ris");
    act("ShowButton")->trigger();
    EXPECT_EQ(ws().view.image.pixel(900, 900), qRgb(0, 0, 0));
    EXPECT_EQ(ws().view.image.pixel(899, 900), qRgb(0, 0, 0));
    EXPECT_EQ(ws().view.image.pixel(898, 900), qRgb(255, 255, 255));
    EXPECT_EQ(ws().view.image.pixel(900, 899), qRgb(255, 255, 255));
    EXPECT_EQ(w_->semanticChooser()->count(), int(ws().classifier.ActiveSemantics.Lines.size()));
}

TEST_F(ClassifierEditorTest, NoToApplyingLeavesTheWindowsClassifier) {
    const fs::path before = ws().classifier.Znaks.path();
    const size_t lines = ws().classifier.ActiveSemantics.Lines.size();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "other").string()));
    dialogs_.answers = {A::No};
    dialogs_.onDialog = [](QDialog& dlg) {
        auto& d = dynamic_cast<ClassifierEditorDialog&>(dlg);
        d.nameField()->setText(QStringLiteral("Новый вид"));
        d.codeField()->setText(QStringLiteral("77"));
        d.button("AddLine")->click();
        EXPECT_EQ(d.semanticText()->toPlainText(), QStringLiteral("Новый вид;77;0;1;1;8;16777215;"));
        d.button("Save")->click();
        // "Поиск" by code; a code that is not a number is refused.
        d.searchField()->setText(QStringLiteral("77"));
        d.button("Search")->click();
        EXPECT_EQ(d.searchResults()->count(), 1);
        d.searchField()->setText(QStringLiteral("x7"));
        d.button("Search")->click();
        // The refused code changes nothing: the results stay.
        EXPECT_EQ(d.searchResults()->count(), 1);
        return int(QDialog::Accepted);
    };
    act("ClassifMenu")->trigger();
    EXPECT_EQ(ReadListFile(dir_ / "other.smn"), std::vector<std::string>{utf8ToCp1251("Новый вид;77;0;1;1;8;16777215;")});
    EXPECT_TRUE(fs::exists(dir_ / "other.ris"));
    EXPECT_EQ(ws().classifier.Znaks.path(), before);
    EXPECT_EQ(ws().classifier.ActiveSemantics.Lines.size(), lines);
    EXPECT_EQ(dialogs_.texts("message").size(), 1);  // the refused search code
}
