#pragma once
// The operations of the menu "Редактор" on the selected object: delete or
// move it, delete or move a vertex, delete or insert a stretch, reverse,
// re-classify, close, open, rotate, divide and thin it; with the clicks of
// rows 24 to 37 of the mouse dispatch.  Every finished operation is one
// step of the undo history.

#include "MapEditor.h"
#include "UndoHistory.h"

namespace dm {

class ObjectEdits {
public:
    ObjectEdits(Workspace& ws, MapEditor& editor, UndoHistory& history);

    void DeleteButtonClick();     // "Удалить объект"
    void ChangeButtonClick();     // "Переместить объект"
    void DelPointButtonClick();   // "Удалить точку"
    void MovPoinButtonClick();    // "Переместить точку"
    void UdlineClick();           // "Удалить фрагмент"
    void IsertFagmBittonClick();  // "Вставить фрагмент"
    void ChangDirectionClick();   // "Изменить направление"
    void ChangeSemClick();        // "Изменить семантику"
    void zmknutClick();           // "Замкнуть"
    void RazmkMenuClick();        // "Разомкнуть"
    void TurnObjClick();          // "Вращать объект"
    void DivideButtonClick();     // "Разделить объект"
    void DivPiketsMenuClick();    // "Разрядить пикеты"

    // Draws the object in not-xor (off the picture) or in copy mode.
    void erase(TObj& o);
    void draw(TObj& o);

private:
    // Undo, redo, a removal of the object being edited, another map: the
    // edit in progress ends (its vertex numbers and screen points are stale).
    void mapChanged(const MapEvent& e);
    Flow rotatePivot(const MouseClick& c);
    Flow rotateGrab(const MouseClick& c);
    Flow rotateFix(const MouseClick& c);
    Flow moveVertex(const MouseClick& c);
    Flow pickVertexToMove(const MouseClick& c);
    Flow divide(const MouseClick& c);
    Flow fragmentFirst(const MouseClick& c);
    Flow fragmentSecond(const MouseClick& c);
    Flow insertStart(const MouseClick& c);
    Flow insertEnd(const MouseClick& c);
    Flow insertPoint(const MouseClick& c);
    Flow deleteVertex(const MouseClick& c);
    Flow moveObject(const MouseClick& c);
    bool bands(QPoint pos);

    void vertexMarks(bool yellow = false);
    void circle(QPoint at, int r, QColor color);
    void copyEditPointsToScreen();
    // The vertex of ScreenPoints under the click, or -1 after "Точка не найдена".
    int pick(QPoint click, bool lastMatch);
    void rotateTo(QPoint cursor);
    void rebuildEditPoints(TObj& o);
    TObj* current() const;
    void done(bool disable = true);
    void buttons() { editor_.buttonsChanged ? editor_.buttonsChanged() : void(); }

    Workspace& ws_;
    MapEditor& editor_;
    UndoHistory& history_;
    QColor markColor_ = QColor(255, 0, 0);
    bool rotateOutline_ = false;
    MapSubscription sub_;
};

}  // namespace dm
