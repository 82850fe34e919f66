#include "Modes.h"

#include "display/Redraw.h"

#include <iterator>

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

uint64_t InteractionState::modeBits() const {
    const bool modes[] = {MeasureMode,        CreateMode,           NameCreateMode,      NameDeleteMode,
                          NameMoveMode,       NameEditMode,         NameJoinMode,        DeleteVertexMode,
                          MoveVertexMode,     DeleteFragmentMode,   InsertFragmentMode,  RasterBoxMode,
                          SelectMode,         MoveObjectMode,       CollectMode,         RotateMode,
                          DivideMode,         LassoArmed,           ComposeMode,         RouteMode,
                          StreetAxisShowMode, StreetFindByAxisMode, StreetNameMoveMode,  StreetNameEditMode,
                          StreetAxisVertexMode, StreetCreateMode,   HousePlaceMode,      StopPlaceMode,
                          UserAreaDrawMode,   DistrictPickMode,     ZoomBoxDown,         PanMode};
    uint64_t bits = WhatIsHereMode ? kWhatIsHereBit : 0;
    for (size_t i = 0; i < std::size(modes); ++i)
        if (modes[i]) bits |= uint64_t(1) << i;
    return bits;
}

}  // namespace dm
