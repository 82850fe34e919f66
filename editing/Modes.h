#pragma once
// The interaction state of the map picture: independent mode flags (the
// first row of the mouse dispatch whose condition holds handles a click)
// and the counters and point buffers the modes share.

#include <QPoint>

#include <cstdint>
#include <vector>

namespace dm {

struct BlinkState;

struct InteractionState {
    // Mode flags.
    bool MeasureMode = false;
    bool CreateMode = false;
    bool NameCreateMode = false;
    bool NameDeleteMode = false;
    bool NameMoveMode = false;
    bool NameEditMode = false;
    bool NameJoinMode = false;
    bool DeleteVertexMode = false;
    bool MoveVertexMode = false;
    bool DeleteFragmentMode = false;
    bool InsertFragmentMode = false;
    bool RasterBoxMode = false;
    bool SelectMode = false;
    bool MoveObjectMode = false;
    bool CollectMode = false;
    bool RotateMode = false;
    bool DivideMode = false;
    bool FindNextPending = false;
    bool LassoArmed = false;
    bool LassoDrawing = false;
    bool ComposeMode = false;
    bool RouteMode = false;
    bool StreetAxisShowMode = false;
    bool StreetFindByAxisMode = false;
    bool StreetNameMoveMode = false;
    bool StreetNamePlacing = false;
    bool StreetNameEditMode = false;
    bool StreetAxisVertexMode = false;
    bool StreetCreateMode = false;
    bool HousePlaceMode = false;
    bool StopPlaceMode = false;
    bool UserAreaDrawMode = false;
    bool DistrictPickMode = false;
    bool WhatIsHereMode = false;  // "Что здесь?": a click tells the address there
    bool ZoomBoxDown = false;  // the tool button "Увеличить" is down
    bool PanMode = false;
    bool Precision = false;    // "Точные измерения": measuring snaps to vertices
    int FormedKind = 0;        // kind of a formed or composed object: 0 none, 2 line, 3 area

    // Shared state.
    int ClickCount = 0;
    uint8_t EditStep = 0;
    int PickIndex = -1;
    int PickIndex2 = -1;
    int FoundNumber = -1;
    QPoint LastClick;
    QPoint AnchorPoint;
    QPoint RubberPoint;
    QPoint BoxCorner;
    uint8_t BoxState = 0;
    bool PanDragging = false;
    double DistanceSum = 0;
    int StreetStep = 0;
    std::vector<QPoint> ScreenPoints;
    std::vector<QPoint> InputPoints;
    std::vector<QPointF> MapPoints;  // (X, Y) map coordinates

    // Clears the flags of the edit, name, street, measure, compose, route
    // and district modes and blinking; keeps CollectMode, RasterBoxMode,
    // FindNextPending, LassoDrawing, StopPlaceMode, UserAreaDrawMode,
    // PanMode, the zoom box, ClickCount, EditStep and BoxState.
    void ResetModes(BlinkState& blink);
    // The modes a tool button or a menu item starts, one bit each ("Что
    // здесь?" among them, the last bit); the counters and the settings
    // ("Точные измерения") are not modes.
    uint64_t modeBits() const;
    static constexpr uint64_t kWhatIsHereBit = uint64_t(1) << 40;
};

}  // namespace dm
