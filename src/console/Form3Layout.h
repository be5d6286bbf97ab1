#pragma once

#include "LayoutRow.h"

#include <vector>

namespace tavo {

// The command console's own properties; its height is set at load.
inline constexpr WindowDesign kForm3Window{"Command List", 10005,          0,
                                           kDefaultColour, kDefaultColour, 9};

// Every control of the command console at its design position (the load step
// moves the three lists up to the hint row's level).
const std::vector<LayoutRow>& form3Layout();

} // namespace tavo
