#pragma once
// The interaction with the map image: the mouse handlers (the dispatch of
// presses, the rubber bands of moves, the release), selection, zoom to a
// rectangle, panning, measuring and the draw-order commands.  The other
// subsystems attach the actions of their rows to dispatch().

#include "HitTest.h"
#include "MouseDispatch.h"
#include "UndoHistory.h"
#include "Workspace.h"

#include <functional>

namespace dm {

// The menu items that need a selected object (and the style button).
extern const char* const kObjectCommands[];

class MapEditor {
public:
    explicit MapEditor(Workspace& ws);

    // Hooks into the window.
    std::function<void(bool enabled)> objectCommands;  // Enable/DisableObjectCommands
    std::function<void()> buttonsChanged;              // tool buttons follow the flags
    // The rectangle of the raster export (row 48), corners ordered.
    std::function<void(int left, int top, int right, int bottom)> rasterBoxDone;

    // Rubber bands of other subsystems: called on every move with the cursor
    // (RubberPoint still holds the previous position); true when they drew.
    std::vector<std::function<bool(QPoint)>> extraBands;

    // The release of a lasso drawn on the map (LassoDrawing is still on).
    std::function<void()> lassoReleased;
    // Where the draw-order commands record their steps (none: no undo).
    void setHistory(UndoHistory* h) { history_ = h; }

    MouseDispatch& dispatch() { return dispatch_; }
    HitTester& hits() { return hits_; }

    void ImageMouseDown(Qt::MouseButton button, QPoint pos);
    void ImageMouseMove(QPoint pos);
    void ImageMouseUp(Qt::MouseButton button, QPoint pos);

    // Tool buttons and menu items.
    void KfUvClick();             // "Увеличить"
    void GeocordButtonClick();    // "Координаты,  расстояния, площадь"
    void MoveRastrButtonClick();  // "Перемещение изображения"
    void FindButtonClick();       // "Искать объект"
    void BlickButtonClick(bool down);  // "Мигание"
    void SuitButtonClick();       // "Найти следующий объект"
    void OtmenaRedkClick();       // "Отмена" of the editor menu
    void CursCroisClick();        // "Курсор - крест"
    void CursDefaultClick();      // "Курсор - стрелка"
    void PrecisionClick(bool checked);  // "Точные измерения"
    void BringToFirstClick();     // "Объект на передний план"
    void SendToLastClick();       // "Объект на задний план"
    void BringtofrontClick();     // "Площадные вперед"
    void SendToBackClick();       // "Площадные в конец"

    void EnableObjectCommands();
    void DisableObjectCommands();

    // Red circles on every vertex of EditPoints: radius 3 for a point
    // object, 2 otherwise.
    void markVertices(bool pointObject);

    static constexpr int kMaxMeasuredPoints = 99;

private:
    // Another map, a cut, a close: the clicks and points kept for the next
    // click belong to a picture that is gone.
    void mapChanged(const MapEvent& e);
    Flow zoomFirstCorner(const MouseClick& c);
    Flow zoomSecondCorner(const MouseClick& c);
    Flow measure(const MouseClick& c);
    Flow pickObjectToMove(const MouseClick& c);
    Flow select(const MouseClick& c);
    Flow panStart(const MouseClick& c);
    Flow rasterBox(const MouseClick& c);
    void measuredPoint(const MouseClick& c);
    void measuredArea();
    void zoomTo(QPoint a, QPoint b);
    void eraseBox();
    void changed() { ws_.surface->imageChanged(); }
    void buttons() {
        if (buttonsChanged) buttonsChanged();
    }

    Workspace& ws_;
    MouseDispatch dispatch_;
    HitTester hits_;
    UndoHistory* history_ = nullptr;
    Qt::CursorShape cursor_ = Qt::ArrowCursor;
    bool boxDrawn_ = false;
    bool measureBandDrawn_ = false;
    MapSubscription sub_;
};

// Redraws the whole map image with the progress bar and the busy cursor.
void RedrawWithProgress(Workspace& ws);

// The redraw of "Обновить экран", also run after zooms and undo: blinking
// and the selection mode off, EditPoints cleared, the objects drawn, and
// "Названия карты" unchecked (the labels are not drawn).
void RedrawMapView(Workspace& ws);

}  // namespace dm
