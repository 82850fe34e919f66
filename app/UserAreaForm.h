#pragma once
// "Форма пользователя" (TRovdForm): the operator's own areas on the map, a
// figure, a name and a note each; on top of the main window, not modal.

#include "display/PartialRead.h"
#include "editing/RegisterEdit.h"
#include "editing/Workspace.h"
#include "names/Names.h"
#include "userdata/UserAreas.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class QToolButton;

namespace dm {

class UserAreaForm : public QWidget {
    Q_OBJECT
public:
    // allTools: the hidden "Печатать" is shown too.
    // Storing and deleting an area are steps of `history`.
    UserAreaForm(Workspace& ws, NameState& names, UndoHistory& history, QWidget* parent, bool allTools = false);

    std::vector<AreaRef> UserAreas;
    AreaRef CurrentUserArea;
    bool UserAreasModified = false;
    int32_t AreaPenColor = 0xFF0000;
    int32_t AreaBrushColor = 0x00FFFF;
    int AreaPenWidth = 2;
    bool blinking() const { return blink_; }
    // The areas read from a file ("Загрузить").
    std::function<void(const std::filesystem::path&)> areasLoaded;
    // After an undo or a redo of one of the form's steps, or another
    // operator's change of the areas.
    void restored();

    // Rows 6 and 7 of the mouse dispatch and the rubber band 13.
    void click(QPoint pos);
    bool band(QPoint pos);

    QLineEdit* nameEdit() const { return Edit1; }
    QPlainTextEdit* note() const { return RichEdit1; }
    QListWidget* list() const { return ListBox1; }
    QRadioButton* figureButton(int i) const;  // 1..5
    QSpinBox* penWidth() const { return SpinEdit1; }
    QSpinBox* figureSize() const { return SpinEdit2; }
    QPushButton* pushButton(const char* name) const;
    QToolButton* toolButton(const char* name) const;

    void create();     // "Создать"
    void remember();   // "Запомнить"
    void undo();       // "Отмена"
    void save();       // "Сохранить"
    void load();       // "Загрузить"
    void showOne();    // "Показать на карте"
    void showAll();    // "Показать все"
    void remove();     // "Удалить "
    void chooseFont(); // "Шрифт"
    void printNote();  // "Печатать"
    void tick();       // the 100 ms blink

    // The map's life cycle: a figure being clicked on a picture that went
    // starts again.
    void mapChanged(const MapEvent& e);
    const PartialRead& areasPartial() const { return partial_; }

protected:
    // Only a real opening clears the fields (not a restore from minimised).
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    uint8_t figure() const;
    void blinkOff();
    void draw(const TRovd& a, bool restoreBrush);
    // The figure built or shown last, in the pixels of the current view.
    std::vector<QPoint> figurePixels() const;
    void keepFigure(const std::vector<QPoint>& pixels);
    // Asks "Сохранить изменения?" when the areas changed; false on Cancel.
    bool saveChangesFirst();

    Workspace& ws_;
    NameState& names_;
    UndoHistory& history_;
    // The two lists from UserAreas.
    void fillLists();
    QLineEdit* Edit1;
    QPlainTextEdit* RichEdit1;
    QRadioButton* radios_[5];
    QSpinBox* SpinEdit1;
    QSpinBox* SpinEdit2;
    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QTimer* Timer1;
    bool blink_ = false;
    bool bandOn_ = false;
    QPoint bandFrom_, bandTo_;
    bool open_ = false;           // shown and not closed since
    // The figure of the area in hand, in map coordinates: kept here, not
    // in the shared screen points that other tools overwrite.
    std::vector<TXY> figure_;
    std::filesystem::path areasFile_;  // the file read last
    PartialRead partial_;
};

}  // namespace dm
