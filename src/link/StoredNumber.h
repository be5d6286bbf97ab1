#pragma once

#include <QString>
#include <QtGlobal>

namespace tavo {

// Reads a stored text as the classic BASIC Val() did: leading blanks, an
// optional sign, digits with an optional fraction and exponent; whatever
// follows is ignored and a text without a number reads as 0.
double leadingNumber(const QString& text);

// The nearest integer with halves going to the even neighbour, or `fallback`
// when the value lies outside [low, high]. Out-of-range values never wrap.
qint64 roundedInRange(double value, qint64 low, qint64 high, qint64 fallback);

} // namespace tavo
