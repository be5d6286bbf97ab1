#pragma once

#include "LayoutRow.h"

#include <vector>

namespace tavo {

// The control panel window's own properties.
inline constexpr WindowDesign kForm1Window{
    "TAVO  MX7300  CONTROL  Ver.1.1", 10185, 7620, 0x00C0C0C0u, 0x00000000u, 7.5};

// Every control of the control panel: the sixteen frames first (each group
// is a captionless frame headed by a label inside it), then each frame's
// controls, then the controls lying directly on the window.
const std::vector<LayoutRow>& form1Layout();

} // namespace tavo
