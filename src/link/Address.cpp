#include "Address.h"

namespace tavo {
namespace {
constexpr const char* kPrefixes[kAddressOptionCount] = {"", "AFFF", "A001", "A002", "A003", "A004"};
constexpr const char* kAddressWords[kAddressOptionCount] = {"single", "all", "001",
                                                            "002",    "003", "004"};
} // namespace

QByteArray addressForOption(int option) {
    if (option < 1 || option > kAddressOptionCount)
        return {};
    return QByteArray(kPrefixes[option - 1]);
}

int optionForStoredAddress(const QByteArray& stored) {
    for (int option = 2; option <= kAddressOptionCount; ++option) {
        if (stored == kPrefixes[option - 1])
            return option;
    }
    return 1;
}

std::optional<QByteArray> prefixForAddressWord(const QString& word) {
    for (int option = 1; option <= kAddressOptionCount; ++option) {
        if (word == QLatin1String(kAddressWords[option - 1]))
            return addressForOption(option);
    }
    return std::nullopt;
}

QString addressWordForStored(const QString& stored) {
    return QLatin1String(kAddressWords[optionForStoredAddress(stored.toLatin1()) - 1]);
}

} // namespace tavo
