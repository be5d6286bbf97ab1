#include "ArrowPicture.h"

#include <array>

namespace tavo {

namespace {

constexpr int kWidth = 17;
constexpr int kHeight = 9;

// Black pixels of each row of the right arrow, counted from the left edge.
constexpr std::array<int, kHeight> kRightArrowRows = {5, 9, 12, 15, 17, 15, 12, 9, 5};

void blacken(QImage& image, int row, int fromColumn, int count) {
    for (int column = fromColumn; column < fromColumn + count; ++column)
        image.setPixel(column, row, qRgb(0, 0, 0));
}

QImage upArrow(QImage image) {
    const int centre = kWidth / 2;
    for (int row = 0; row < kHeight; ++row)
        blacken(image, row, centre - row, 2 * row + 1);
    return image;
}

QImage rightArrow(QImage image) {
    for (int row = 0; row < kHeight; ++row)
        blacken(image, row, 0, kRightArrowRows[row]);
    return image;
}

} // namespace

QImage arrowPicture(Picture picture) {
    QImage yellow(kWidth, kHeight, QImage::Format_RGB32);
    yellow.fill(qRgb(255, 255, 0));
    switch (picture) {
    case Picture::ArrowUp:
        return upArrow(yellow);
    case Picture::ArrowDown:
        return upArrow(yellow).mirrored(false, true);
    case Picture::ArrowRight:
        return rightArrow(yellow);
    case Picture::ArrowLeft:
        return rightArrow(yellow).mirrored(true, false);
    case Picture::None:
        break;
    }
    return {};
}

} // namespace tavo
