#pragma once
// The active classifier of the main window: the semantic list, the symbol
// file and the chosen semantic.

#include "Semantics.h"
#include "Znak.h"

namespace dm {

struct ClassifierState {
    ActiveSemanticList ActiveSemantics;
    ZnakSet Znaks;
    TCurrentSemantic CurrentSemantic;
};

}  // namespace dm
