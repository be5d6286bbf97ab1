#pragma once

#include <functional>

namespace tavo {

class Form1Window;

// A context menu on the main window: "Port dialog" and "Command Table" do what
// the COM and Command Table buttons do, "Traffic Log" calls `openLog`. Nothing
// on the window itself changes.
void installPanelMenu(Form1Window& form1, std::function<void()> openLog);

// Calls `changed` after every click on an address option.
void watchAddressOptions(Form1Window& form1, std::function<void()> changed);

} // namespace tavo
