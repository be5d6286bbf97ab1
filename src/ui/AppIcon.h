#pragma once

#include <QIcon>

namespace tavo {

// The 32 x 32 icon shared by all windows: a small projector casting light.
// Needs a QGuiApplication.
QIcon appIcon();

} // namespace tavo
