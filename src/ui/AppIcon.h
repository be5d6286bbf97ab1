#pragma once

#include <QIcon>
#include <QImage>

class QWidget;

namespace tavo {

// The 32 x 32 icon shared by all windows: a small projector casting light.
// Needs a QGuiApplication.
QIcon appIcon();

// The icon drawn at `side` × `side` pixels.
QImage appIconImage(int side);

// The windows show the application's icon. Drawing it (up to 256 px) is kept out of the main
// window's first frame: it is set once `window` has been exposed and painted.
void setAppIconAfterFirstFrame(QWidget* window);
// Sets it at once unless it is set already: for a window shown before the main one.
void setAppIconNow();

} // namespace tavo
