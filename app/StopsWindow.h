#pragma once
// "OstnvFrm": the stops and metro stations of the city, on top of the main
// window, not modal.

#include "display/PartialRead.h"
#include "editing/RegisterEdit.h"
#include "editing/Workspace.h"
#include "transport/Stops.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;

namespace dm {

struct MouseClick;

class StopsWindow : public QWidget {
    Q_OBJECT
public:
    // allTools: the buttons the delivered window hides are shown too.
    // Storing, correcting and deleting a stop are steps of `history`.
    StopsWindow(Workspace& ws, UndoHistory& history, QWidget* parent, bool allTools = false);

    // "Остановки": the metro stations, then the window.
    void OstnvMenuClick();
    // Row 5 of the mouse dispatch: the new stop's place.
    void placeStop(QPoint click);

    std::vector<StopRef> Stops;
    std::vector<TMetro> MetroStations;
    StopRef CurrentStop;
    bool StopsModified = false;
    bool blinking() const { return blink_; }
    // The stops read from their file.
    std::function<void(const std::filesystem::path&)> stopsLoaded;
    // After an undo or a redo of one of the window's steps, or another
    // operator's change of the stops.
    void restored();

    QLineEdit* edit(int i) const;  // Edit1..Edit9
    QListWidget* list() const { return ListBox1; }
    QPushButton* pushButton(const char* name) const;
    QToolButton* toolButton(const char* name) const;

    void create();        // "Создать"
    void remember();      // "Запомнить"
    void save();          // "Сохранить"
    void listClicked();   // a click on the list
    void showStops();     // "Показать остановки"
    void correct();       // "Корректировать остановки"
    void remove();        // "Удалить остановку"
    void showMetro();     // "Показать станции метро"
    void addMetro();      // "ЗапМетро"
    void saveMetro();     // "SaveMetro"
    void tick();          // the 100 ms blink

    // The files read only up to a damage (a save over them asks first).
    const PartialRead& stopsPartial() const { return stopsPartial_; }

protected:
    // Only a real opening reads the stops (not a restore from minimised).
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    std::filesystem::path file(const char* name) const;
    void loadStops();
    void fillList();
    StopRef stopOfLine(const QString& line) const;
    QStringList selectedLines() const;
    QPoint screenPoint(double x, double y) const;
    void blinkOff();

    Workspace& ws_;
    UndoHistory& history_;
    QLineEdit* edits_[9];
    QListWidget* ListBox1;
    QTimer* Timer1;
    bool blink_ = false;
    StopRef newStop_;      // the stop "Создать" began, until "Запомнить"
    bool placed_ = false;  // the new stop's place was clicked
    // Closing answered No to saving: the next opening reads the file
    // without asking again (a later undo or redo asks once more).
    bool dropOnShow_ = false;
    bool open_ = false;    // shown and not closed since
    // Where the stops were read from: they are written back there.
    std::filesystem::path stopsFile_;
    PartialRead stopsPartial_, metroPartial_;
};

}  // namespace dm
