#pragma once

#include "LayoutRow.h"

#include <QImage>

namespace tavo {

// The 17 x 9 picture of an arrow button: a solid black triangle on pure
// yellow. Picture::None gives a null image.
QImage arrowPicture(Picture picture);

} // namespace tavo
