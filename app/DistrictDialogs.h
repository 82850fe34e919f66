#pragma once
// The region and district dialogs: the list editors "Список вилоятов" and
// "Список туманов", and the districts dialog "Туманы" from which a
// district is chosen, coloured, shown and cut.
#include "admin/DistrictTools.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;
class QToolButton;

namespace dm {

class DialogPort;

// "Список вилоятов" (the region list "Viloyats.txt") and "Список туманов"
// (the district list of a region): names and file stems side by side.
class ListEditorDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind { Regions, Districts };
    // `folder` is the folder of the list file; for districts it is made on
    // saving when it does not exist.
    ListEditorDialog(Kind kind, const std::filesystem::path& listFile, DialogPort& dialogs, QWidget* parent = nullptr);
    QTextEdit* names() const { return RichEdit1; }
    QTextEdit* files() const { return RichEdit2; }
    QPushButton* button(const char* name) const;
    // "Сохранить": line i of the names with line i of the files.
    bool save();
    // The entries as the two editors hold them.
    std::vector<ListEntry> entries() const;

private:
    Kind kind_;
    std::filesystem::path path_;
    DialogPort& dialogs_;
    QTextEdit* RichEdit1;
    QTextEdit* RichEdit2;
};

// "Туманы".
class TRayonDlg : public QDialog {
    Q_OBJECT
public:
    TRayonDlg(DistrictTools& tools, DistrictState& st, DialogPort& dialogs, bool allTools, QWidget* parent = nullptr);
    // The result of "Вывести карту": closed, neither OK nor Cancel.
    static constexpr int kMapShownResult = 2;
    // Fills the lists from StartDir/<folder>/<folder>.ray; false (with a
    // message) when it cannot be read.
    bool RayName(const std::string& folder);
    QListWidget* list() const { return ListBox1; }
    QListWidget* files() const { return ListBox2; }
    QPushButton* button(const char* name) const;
    QLabel* sample() const { return Image1; }
    void chooseDistrict(int index);  // a click in ListBox1
    void ColorButtonClick();
    void SetBrushStyle(int style);
    void CancelBtnClick();
    std::vector<ListEntry> entries() const;

private:
    void paintSample();
    void FormShow();
    DistrictTools& tools_;
    DistrictState& st_;
    DialogPort& dialogs_;
    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QLabel* Image1;
};

}  // namespace dm
