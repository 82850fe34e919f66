#pragma once
// The street operations of the menu "Улицы", the house form's operations
// and the street rows of the mouse dispatch (4 and 8 to 17).

#include "AddressIndex.h"
#include "Streets.h"

#include "editing/MapEditor.h"
#include "editing/RegisterEdit.h"
#include "editing/Workspace.h"
#include "names/Names.h"

#include <functional>
#include <optional>

namespace dm {

// The fields of the house form.
struct HouseFields {
    QString number;  // "Номер дома"
    QString floors;  // "Кол-во этажей"
    QString info;    // "Доп.информация"
};

class StreetTools {
public:
    // Each operation that changes the register is a step of `history`.
    StreetTools(Workspace& ws, StreetState& streets, NameState& names, MapEditor& editor, UndoHistory& history);

    // Hooks into the window.
    std::function<void(const char* id, bool enabled)> setItemEnabled;
    std::function<void()> buttonsChanged;
    std::function<void()> mapNamesOff;  // clears the check mark of "Названия карты"
    // The street list dialog: the rows and the order; the upper and the
    // lower edit (Windows-1251) on OK.
    std::function<std::optional<std::pair<std::string, std::string>>(const std::vector<StreetRow>&, StreetOrder)>
        chooseStreet;
    // The street of the row last chosen in that list (its index in the
    // register), -1 when the edits were typed; it tells apart streets of
    // the same names.
    std::function<int()> chosenStreetRow;
    // The house form: show it for the current street, refresh its list.
    std::function<void()> showHouseForm;
    std::function<void()> housesChanged;
    // The house form's three fields as they are now (read at the map click
    // that places a house).
    std::function<HouseFields()> houseFields;
    // Ends the digitising of a map object ("Отмена" of the creation menu).
    std::function<void()> endObjectDrawing;
    // Another street became current, or none is (the house form follows).
    std::function<void()> streetChanged;
    // The register read from its file ("Загрузить").
    std::function<void()> streetsLoaded;
    // After an undo or a redo of a step of the register, or another
    // operator's change of it: the addresses and the street in hand follow.
    void restored();

    // Menu "Улицы".
    void RueMenuOpened();
    void RueLoadClick();          // "Загрузить"
    void RueShowAllClick();       // "Показать все"
    void RueNazFindClick();       // "Искать название"
    void RueKartaClick();         // "Показать на карте"
    void RueChangeMenuClick();    // "Переместить название"
    void RueKorrMenuClick();      // "Корректировать название"
    void ShowRueAxeClick();       // "Показать ось"
    void RueAxeMovePointClick();  // "Переместить точку"
    void RueAxeInsertClick();     // "Вставить точки": no action
    void RueShriftChangeClick();  // "Изменить шрифт"
    void RueDomaClick();          // "Дома"
    void RueSortNewClick();       // "Сортировка по новым"
    void RueSortOldClick();       // "Сортировка по старым"
    void RueDeleteClick();        // "Удалить"
    void RueNewCreaMenuClick();   // "Создать новую"
    void RueSaveClick();          // "Сохранить"
    void RueOtmenaClick();        // "Отмена"

    // The house form.
    QString houseStreetName() const;           // its static text
    QStringList houseNumbers() const;          // sorted
    std::optional<HouseFields> selectHouse(const QString& number);
    bool correctHouse(const HouseFields& f);   // "Корректировать сведения о доме"
    bool deleteHouse();                        // "Удалить дом"
    bool startHousePlacing(const HouseFields& f);  // "Создать дом": the next click places it
    void showAllHouses();                      // "Показать все дома"
    void closeHouseForm();                     // "Закрыть форму"
    const TDom* selectedHouse() const;

    // Row 17 for a new street: the axis is stored.
    void finishAxis();

    // Map lifecycle.
    void afterOpen();
    // An undo or a redo is about to be made: a two-step operation under way
    // (a name or an axis point being moved, a street being made) ends.
    void historyTravels();
    // The closing question's Yes; Skipped when the operator would not write
    // a register read only in part over its file.
    enum class Saved { Written, Skipped, Failed };
    Saved saveStreets(FileBatch* batch = nullptr);

    StreetState& state() { return st_; }

    // The address search.  The index follows every change of the register;
    // asked for before the register is loaded, it loads it as opening the
    // menu "Улицы" does.
    const AddressIndex& addresses();
    // The index's revision, without loading the register.
    uint64_t addressRevision() const { return addresses_.revision(); }
    // Shows a found address as "Показать на карте" shows a street: the
    // street becomes current and its axis blinks, or the house does when
    // one was found.  False when the street is no longer in the register.
    bool showAddress(const AddressHit& hit);

private:
    // Another map: the register read for the map that went is dropped (it
    // is read again for this one), with the street and house in hand.
    void mapChanged(const MapEvent& e);
    Flow placeHouse(const MouseClick& c);      // row 4
    Flow nameStart(const MouseClick& c);       // row 8
    Flow nameEnd(const MouseClick& c);         // row 9
    Flow pickAxisPoint(const MouseClick& c);   // row 10
    Flow moveAxisPoint(const MouseClick& c);   // row 11
    Flow editName(const MouseClick& c);        // row 12
    Flow pickNameToMove(const MouseClick& c);  // row 13
    Flow placeName(const MouseClick& c);       // row 14
    Flow findByAxis(const MouseClick& c);      // row 15
    Flow showAxis(const MouseClick& c);        // row 16
    bool bands(QPoint pos);
    void eraseBands();

    void enable(const char* id, bool on) {
        if (setItemEnabled) setItemEnabled(id, on);
    }
    void enableLoaded(bool on);
    void enableFound(bool on);
    void buttons() {
        if (buttonsChanged) buttonsChanged();
    }
    void changed() { ws_.surface->imageChanged(); }
    void startMode(bool InteractionState::*flag, const QString& prompt);
    void select(int index);  // CurrentStreet and its axis in EditPoints
    void drawName(const Trues& s, bool erase);
    void drawAxis(const Trues& s, QColor color);
    bool parseFloors(const QString& text, uint8_t& floors);
    void ensureFileName();

    Workspace& ws_;
    StreetState& st_;
    NameState& names_;
    std::shared_ptr<Trues> pending_;  // the street being made
    int house_ = -1;                  // the selected house of CurrentStreet
    UndoHistory& history_;
    AddressIndex addresses_;
    // The name's new start, clicked first ("Переместить название").
    TXY nameStartAt_;
    // An operation on the register becomes an undo step.
    void record(RegisterEdit<Trues>& edit, const QString& what);
    // A house shown: its number drawn in blue, its place the edit point.
    void markHouse(const TDom& h);
    HouseFields placing_;             // the fields of the house to place
    // Rubber bands on the picture (taken off before anything else is drawn).
    bool axisBand_ = false, lineBand_ = false;
    QPoint axisPrev_, axisNext_, axisAt_, lineFrom_, lineTo_;
    MapSubscription sub_;
};

}  // namespace dm
