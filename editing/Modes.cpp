#include "Modes.h"

#include "display/Redraw.h"

namespace dm {

void InteractionState::ResetModes(BlinkState& blink) {
    SelectMode = MoveObjectMode = DeleteVertexMode = MoveVertexMode = false;
    DeleteFragmentMode = InsertFragmentMode = RotateMode = CreateMode = DivideMode = false;
    NameCreateMode = NameDeleteMode = NameMoveMode = NameEditMode = NameJoinMode = false;
    MeasureMode = DistrictPickMode = LassoArmed = false;
    StreetAxisShowMode = StreetFindByAxisMode = StreetNameMoveMode = StreetNamePlacing = false;
    StreetNameEditMode = StreetAxisVertexMode = StreetCreateMode = false;
    HousePlaceMode = ComposeMode = RouteMode = WhatIsHereMode = false;
    blink.BlinkOn = false;
}

}  // namespace dm
