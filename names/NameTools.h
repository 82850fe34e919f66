#pragma once
// The label operations of the menu "Названия", of the menu "Tools" and of
// the clicks on the map (rows 40 to 47 of the mouse dispatch).

#include "Names.h"

#include "editing/MapEditor.h"
#include "editing/Workspace.h"

#include <functional>

namespace dm {

class NameTools {
public:
    NameTools(Workspace& ws, NameState& names, MapEditor& editor);

    // Menu "Названия".
    void NazvaniaMenuOpened();
    void NazVyvodClick();      // "Вывести"
    void MoveNazvClick();      // "Переместить"
    void DelNazvClick();       // "Удалить"
    void KorrNazvClick();      // "Корректировать"
    void CreaNazvClick();      // "Создать"
    void NazEraseClick();      // "Убрать с экрана"
    void JoinNazObjClick();    // "Привязать к объекту"
    void NazSaveClick();       // "Сохранить названия"
    void NazOtmenaClick();     // "Отмена"
    // Menu "Tools" and the tool bar.
    void MapNamesItemClick(bool checked);  // "Названия карты"
    void AllNamesFontClick();              // "Сменить шрифт у всех названий"
    void FontButtonClick();                // "Установить шрифт"

    // The label of an elevation mark point placed at `click`: bound to the
    // object by its start.  Returns how to take it back and to put it again.
    std::pair<std::function<void()>, std::function<void()>> addMarkLabel(TObj& obj, QPoint click, const QString& text);

    // Map lifecycle: the names of a newly opened map, and the save on closing.
    void loadForMap();
    // With a batch the file takes its name when the batch is committed.
    bool saveNames(FileBatch* batch = nullptr);

    std::function<void()> buttonsChanged;
    // The labels changed by an operation (`what` names it), and read anew for a map.
    std::function<void(const QString& what)> labelsChanged;
    std::function<void()> labelsLoaded;

private:
    void labelsModified(const QString& what);
    // The object chosen to tie a label to is dropped when it may be gone or
    // changed; the label being worked on when the map is replaced.
    void mapChanged(const MapEvent& e);
    Flow create(const MouseClick& c);
    Flow remove(const MouseClick& c);
    Flow pickToMove(const MouseClick& c);
    Flow place(const MouseClick& c);
    Flow edit(const MouseClick& c);
    Flow pickToBind(const MouseClick& c);
    Flow pickObject(const MouseClick& c);
    Flow bind(const MouseClick& c);
    bool band(QPoint pos);

    void startMode(bool InteractionState::*flag, int clickCount, const QString& prompt);
    void draw(const TNaz& n, bool erased);
    NameRef found(const MouseClick& c);  // FindName, or the message
    // Takes the label under the click off the picture for the next clicks.
    Flow takeLabel(const MouseClick& c, int clickCount, const QString& prompt);
    TObj* objectNumbered(int32_t number, bool withName) const;
    void unbindObject(TNaz& n);
    void changed() { ws_.surface->imageChanged(); }

    Workspace& ws_;
    NameState& names_;
    MapEditor& editor_;
    NameRef current_;         // the label of the running operation
    TObj* bindObject_ = nullptr;
    QPoint start_;            // first point clicked for a new place
    MapSubscription sub_;
};

// Text from the user interface into a label field: Windows-1251, at most 255.
std::string LabelText(const QString& s);

}  // namespace dm
