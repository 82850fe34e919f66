#pragma once
// "Классификатор": the editor of a classifier's semantic list and point
// symbols.

#include "classifier/ClassifierEditor.h"

#include <QDialog>
#include <QImage>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace dm {

class DialogPort;

// The 15 x 15 grid of a symbol: left click toggles a cell, right click
// composes the symbol.
class ZnakGridWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZnakGridWidget(ZnakGrid& grid, QWidget* parent = nullptr);
    std::function<void()> composed;  // the right click
    QImage picture() const;          // the grid as drawn
    // The grid drawn anew: the anchor cell (8, 8) is marked blue until a
    // click fills it black or white like any other cell.
    void redraw();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    ZnakGrid& grid_;
    bool anchorMarked_ = true;
};

class ClassifierEditorDialog : public QDialog {
    Q_OBJECT
public:
    ClassifierEditorDialog(DialogPort& dialogs, QWidget* parent = nullptr);

    // The saved classifier is to become the main window's ("Учесть
    // измениения немедленно?" answered Yes): its ".smn".
    std::function<void(const std::filesystem::path&)> apply;

    ClassifierEditorModel& model() { return model_; }
    ZnakGrid& grid() { return grid_; }
    ZnakGridWidget* gridWidget() const { return grid_w; }
    QPlainTextEdit* semanticText() const { return Memo1; }
    QLineEdit* nameField() const { return NameEdit; }
    QLineEdit* codeField() const { return KodEdit; }
    QLineEdit* searchField() const { return SearchEdit; }
    QListWidget* searchResults() const { return SearchList; }
    QPushButton* button(const char* name) const;
    QSpinBox* penWidth() const { return PenWidth; }
    QSpinBox* scaleField() const { return Scale; }
    QLabel* symbolName() const { return ZnakName; }
    QLabel* positionLabel() const { return PosLabel; }
    QLabel* fileCaption() const { return FileLabel; }
    const QImage& preview() const { return preview_; }

    void addLine();           // "Добавить"
    void compose();           // the right click on the grid
    void storeZnak();         // "Добавить "
    void showSymbol();        // "Показать рисунок"
    void search();            // "Поиск"
    void load();              // "Загрузить"
    void save();              // "Сохранить"
    void newClassifier();     // "Новый"
    void step(int by);        // "Следующий рисунок", "Предыдущий рисунок"
    void fromFirst();         // "С первого"

private:
    void syncText();          // the semantic text into the model
    void showText();
    void drawPreview(const TZnak& z, int size, int ox, int oy, int shift);
    void redrawSamples();
    std::optional<int> codeOf(const QString& text);

    DialogPort& dialogs_;
    ClassifierEditorModel model_;
    ZnakGrid grid_;
    QImage preview_;
    int32_t penColor_ = 0;
    int penStyleDigit_ = 1;
    int brushStyleDigit_ = 8;
    int32_t brushColor_ = 16777215;
    QPlainTextEdit* Memo1;
    QLineEdit* NameEdit;
    QLineEdit* KodEdit;
    QLineEdit* SearchEdit;
    QListWidget* SearchList;
    QSpinBox* PenWidth;
    QSpinBox* Scale;
    QLabel* LineSample;
    QLabel* AreaSample;
    QLabel* Preview;
    QLabel* ZnakName;
    QLabel* PosLabel;
    QLabel* FileLabel;
    QLabel* RisLabel;
    ZnakGridWidget* grid_w;
};

}  // namespace dm
