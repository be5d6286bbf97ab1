#pragma once

#include "LayoutRow.h"

#include <vector>

namespace tavo {

// The port settings dialog's own properties (two leading spaces in the caption).
inline constexpr WindowDesign kForm2Window{"  COM PORT",   3105,           4005,
                                           kDefaultColour, kDefaultColour, 9};

// Every control of the port settings dialog, frames before their options.
// The "OTHER" box comes first in tab order so typing starts there.
const std::vector<LayoutRow>& form2Layout();

} // namespace tavo
