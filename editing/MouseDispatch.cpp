#include "MouseDispatch.h"

namespace dm {

MouseDispatch::MouseDispatch(Workspace& ws) {
    const InteractionState& m = ws.modes;
    using C = const MouseClick&;
    // clang-format off
    rows_ = {
        { 1, "RouteMode",                                   [&m](C) { return m.RouteMode; }, {}},
        { 2, "ComposeMode, right button, ClickCount > 0",   [&m](C c) { return m.ComposeMode && c.right() && m.ClickCount > 0; }, {}},
        { 3, "ComposeMode",                                 [&m](C) { return m.ComposeMode; }, {}},
        { 4, "HousePlaceMode",                              [&m](C) { return m.HousePlaceMode; }, {}},
        { 5, "StopPlaceMode",                               [&m](C) { return m.StopPlaceMode; }, {}},
        { 6, "UserAreaDrawMode, ClickCount = 0",            [&m](C) { return m.UserAreaDrawMode && m.ClickCount == 0; }, {}},
        { 7, "UserAreaDrawMode, ClickCount > 0",            [&m](C) { return m.UserAreaDrawMode && m.ClickCount > 0; }, {}},
        { 8, "StreetCreateMode, not CreateMode, step 0",    [&m](C) { return m.StreetCreateMode && !m.CreateMode && m.StreetStep == 0; }, {}},
        { 9, "StreetCreateMode, not CreateMode, step 1",    [&m](C) { return m.StreetCreateMode && !m.CreateMode && m.StreetStep == 1; }, {}},
        {10, "StreetAxisVertexMode, EditStep = 0",          [&m](C) { return m.StreetAxisVertexMode && m.EditStep == 0; }, {}},
        {11, "StreetAxisVertexMode, EditStep = 6",          [&m](C) { return m.StreetAxisVertexMode && m.EditStep == 6; }, {}},
        {12, "StreetNameEditMode",                          [&m](C) { return m.StreetNameEditMode; }, {}},
        {13, "StreetNameMoveMode, not StreetNamePlacing",   [&m](C) { return m.StreetNameMoveMode && !m.StreetNamePlacing; }, {}},
        {14, "StreetNameMoveMode and StreetNamePlacing",    [&m](C) { return m.StreetNameMoveMode && m.StreetNamePlacing; }, {}},
        {15, "StreetFindByAxisMode",                        [&m](C) { return m.StreetFindByAxisMode; }, {}},
        {16, "StreetAxisShowMode",                          [&m](C) { return m.StreetAxisShowMode; }, {}},
        {17, "CreateMode, right button, ClickCount > 0",    [&m](C c) { return m.CreateMode && c.right() && m.ClickCount > 0; }, {}},
        {18, "CreateMode",                                  [&m](C) { return m.CreateMode; }, {}},
        {19, "LassoArmed",                                  [&m](C) { return m.LassoArmed; }, {}},
        {20, "zoom box down, BoxState = 1",                 [&m](C) { return m.ZoomBoxDown && m.BoxState == 1; }, {}},
        {21, "zoom box down, BoxState = 200",               [&m](C) { return m.ZoomBoxDown && m.BoxState == 200; }, {}},
        {22, "zoom box down",                               [&m](C) { return m.ZoomBoxDown; }, {}},
        {23, "MeasureMode",                                 [&m](C) { return m.MeasureMode; }, {}},
        {24, "RotateMode, EditStep = 12",                   [&m](C) { return m.RotateMode && m.EditStep == 12; }, {}},
        {25, "RotateMode, EditStep = 13",                   [&m](C) { return m.RotateMode && m.EditStep == 13; }, {}},
        {26, "RotateMode, EditStep = 14",                   [&m](C) { return m.RotateMode && m.EditStep == 14; }, {}},
        {27, "MoveVertexMode, EditStep = 6",                [&m](C) { return m.MoveVertexMode && m.EditStep == 6; }, {}},
        {28, "MoveVertexMode",                              [&m](C) { return m.MoveVertexMode; }, {}},
        {29, "DivideMode",                                  [&m](C) { return m.DivideMode; }, {}},
        {30, "DeleteFragmentMode, ClickCount = 0",          [&m](C) { return m.DeleteFragmentMode && m.ClickCount == 0; }, {}},
        {31, "DeleteFragmentMode, ClickCount = 2",          [&m](C) { return m.DeleteFragmentMode && m.ClickCount == 2; }, {}},
        {32, "DeleteFragmentMode",                          [&m](C) { return m.DeleteFragmentMode; }, {}},
        {33, "InsertFragmentMode, EditStep = 7",            [&m](C) { return m.InsertFragmentMode && m.EditStep == 7; }, {}},
        {34, "InsertFragmentMode, EditStep = 8, right button, ClickCount > 0",
                                                            [&m](C c) { return m.InsertFragmentMode && m.EditStep == 8 && c.right() && m.ClickCount > 0; }, {}},
        {35, "InsertFragmentMode, EditStep = 8",            [&m](C) { return m.InsertFragmentMode && m.EditStep == 8; }, {}},
        {36, "DeleteVertexMode",                            [&m](C) { return m.DeleteVertexMode; }, {}},
        {37, "MoveObjectMode, ClickCount = 1",              [&m](C) { return m.MoveObjectMode && m.ClickCount == 1; }, {}},
        {38, "MoveObjectMode, ClickCount = 0",              [&m](C) { return m.MoveObjectMode && m.ClickCount == 0; }, {}},
        {39, "SelectMode, left button",                     [&m](C c) { return m.SelectMode && c.left(); }, {}},
        {40, "NameCreateMode",                              [&m](C) { return m.NameCreateMode; }, {}},
        {41, "NameDeleteMode",                              [&m](C) { return m.NameDeleteMode; }, {}},
        {42, "NameMoveMode, ClickCount = 10",               [&m](C) { return m.NameMoveMode && m.ClickCount == 10; }, {}},
        {43, "NameMoveMode",                                [&m](C) { return m.NameMoveMode; }, {}},
        {44, "NameEditMode",                                [&m](C) { return m.NameEditMode; }, {}},
        {45, "NameJoinMode, ClickCount = 0",                [&m](C) { return m.NameJoinMode && m.ClickCount == 0; }, {}},
        {46, "NameJoinMode, ClickCount = 1",                [&m](C) { return m.NameJoinMode && m.ClickCount == 1; }, {}},
        {47, "NameJoinMode, ClickCount = 2",                [&m](C) { return m.NameJoinMode && m.ClickCount == 2; }, {}},
        {48, "RasterBoxMode",                               [&m](C) { return m.RasterBoxMode; }, {}},
        {49, "PanMode",                                     [&m](C) { return m.PanMode; }, {}},
        {50, "DistrictPickMode and the district list is loaded",
                                                            [this, &m](C) { return m.DistrictPickMode && districtListLoaded && districtListLoaded(); }, {}},
    };
    // clang-format on
}

void MouseDispatch::attach(int number, RowAction action) {
    for (Row& r : rows_)
        if (r.number == number) r.action = std::move(action);
}

bool MouseDispatch::attached(int number) const {
    for (const Row& r : rows_)
        if (r.number == number) return bool(r.action);
    return false;
}

std::vector<int> MouseDispatch::dispatch(const MouseClick& click) {
    std::vector<int> acted;
    for (const Row& r : rows_) {
        if (!r.holds(click)) continue;
        acted.push_back(r.number);
        if (!r.action || r.action(click) == Flow::Done) break;
    }
    return acted;
}

}  // namespace dm
