#pragma once
// New objects: digitising lines, areas and points (rows 17 and 18 of the
// mouse dispatch), composing an object from the vertices of others (rows 2
// and 3), showing all vertices, and collecting objects to form one.

#include "MapEditor.h"
#include "UndoHistory.h"

#include <functional>
#include <memory>

namespace dm {

class ObjectCreation {
public:
    ObjectCreation(Workspace& ws, MapEditor& editor, UndoHistory& history);

    void LineButtonClick();      // "Линейный"
    void AreaButtonClick();      // "Площадной"
    void PointButtonClick();     // "Точечный"
    void OtmenaCreaClick();      // "Отмена" of the creation menu
    void SostObjMenuClick();     // "Составить объект"
    void PiketButtonClick();     // "Показать пикеты"
    // The collection ("Формировать объект").
    void OtborObjClick();        // "Отбор объектов"
    void Add1Click();            // "Добавить"
    void tip2Click();            // "линейный"
    void tip3Click();            // "площадной"
    void FormirClick();          // "Сформировать общий "
    void SaveNewObj1Click();     // "Сохранить в TList"
    void DeleteOldObjClick();    // "Убрать старые"
    void CancelNewObjClick();    // "Отмена"

    const std::vector<TObj*>& SelectedObjects() const { return selected_; }
    // The collection list itself (the map cutting fills it).
    std::vector<TObj*>& collection() { return selected_; }
    // Ends the collection: "Добавить" hidden, "Отбор объектов" unchecked.
    void endCollection();
    const TObj* FormedObj() const { return formed_ ? formed_.get() : formedStored_; }

    // An elevation mark point was placed at `click` with the mark `text`: the
    // owner of the labels adds the bound label and returns how to take it
    // back and put it again (for the undo history).
    std::function<std::pair<std::function<void()>, std::function<void()>>(TObj& obj, QPoint click,
                                                                          const QString& text)>
        elevationLabel;
    // A right click that ends a new street's axis (its owner stores it).
    std::function<void()> finishStreetAxis;
    // Menu items of the collection follow its state.
    std::function<void(const char* id, bool enabled)> setItemEnabled;
    std::function<void(const char* id, bool visible)> setItemVisible;
    std::function<void(const char* id, bool checked)> setItemChecked;
    std::function<void()> clearChooser;  // the text of the semantic chooser

    static bool isElevationMarkCode(int code) { return code == 12 || code == 3301 || code == 3302; }

private:
    // The map's life cycle: what is kept of objects that are gone is dropped.
    void mapChanged(const MapEvent& e);
    void startDigitising(uint8_t kind);
    Flow finish(const MouseClick& c);
    Flow addPoint(const MouseClick& c);
    Flow composeFinish(const MouseClick& c);
    Flow composePicket(const MouseClick& c);
    bool band(QPoint pos);
    // Asks the contour elevation; nullopt when the answer was cancelled.
    std::optional<double> askElevation();
    TObj* store(std::unique_ptr<TObj> o);
    void item(const char* id, bool enabled) { if (setItemEnabled) setItemEnabled(id, enabled); }
    void buttons() { editor_.buttonsChanged ? editor_.buttonsChanged() : void(); }

    Workspace& ws_;
    MapEditor& editor_;
    UndoHistory& history_;
    std::unique_ptr<TObj> pending_;     // the object being digitised
    std::vector<TObj*> selected_;       // the collection
    std::unique_ptr<TObj> formed_;      // formed, not yet stored
    TObj* formedStored_ = nullptr;
    MapSubscription sub_;
};

}  // namespace dm
