#pragma once

#include <QString>
#include <QtGlobal>

namespace tavo {

// Reads the number at the start of a stored text: leading blanks, an optional
// sign, digits with an optional fraction and exponent; whatever follows is
// ignored and a text without a number reads as 0. A settings file edited by
// hand ("3 ; USB adapter") still gives its number instead of stopping start-up.
double leadingNumber(const QString& text);

// The nearest integer with halves going to the even neighbour, or `fallback`
// when the value lies outside [low, high]. Out-of-range values never wrap.
qint64 roundedInRange(double value, qint64 low, qint64 high, qint64 fallback);

} // namespace tavo
