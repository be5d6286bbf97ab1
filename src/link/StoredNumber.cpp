#include "StoredNumber.h"

#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tavo {

double leadingNumber(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    int i = 0;
    const int n = bytes.size();
    while (i < n && (bytes[i] == ' ' || bytes[i] == '\t'))
        ++i;
    std::string number;
    if (i < n && (bytes[i] == '+' || bytes[i] == '-'))
        number += bytes[i++];
    bool digits = false;
    while (i < n && std::isdigit(static_cast<unsigned char>(bytes[i]))) {
        number += bytes[i++];
        digits = true;
    }
    if (i < n && bytes[i] == '.') {
        number += bytes[i++];
        while (i < n && std::isdigit(static_cast<unsigned char>(bytes[i]))) {
            number += bytes[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < n && (bytes[i] == 'e' || bytes[i] == 'E')) {
        std::string exponent = "e";
        int j = i + 1;
        if (j < n && (bytes[j] == '+' || bytes[j] == '-'))
            exponent += bytes[j++];
        bool expDigits = false;
        while (j < n && std::isdigit(static_cast<unsigned char>(bytes[j]))) {
            exponent += bytes[j++];
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

qint64 roundedInRange(double value, qint64 low, qint64 high, qint64 fallback) {
    if (!std::isfinite(value))
        return fallback;
    // nearbyint honours the current rounding mode; round-to-nearest-even is
    // the default, but say so rather than rely on it.
    const int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(oldMode);
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high))
        return fallback;
    return static_cast<qint64>(rounded);
}

} // namespace tavo
