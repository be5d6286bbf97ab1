#pragma once

#include <QIcon>
#include <QImage>

namespace tavo {

// The 32 x 32 icon shared by all windows: a small projector casting light.
// Needs a QGuiApplication.
QIcon appIcon();

// The icon drawn at `side` × `side` pixels.
QImage appIconImage(int side);

} // namespace tavo
