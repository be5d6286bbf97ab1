#include "Address.h"

namespace tavo {
namespace {
constexpr const char* kPrefixes[kAddressOptionCount] = {"", "AFFF", "A001", "A002", "A003", "A004"};
}

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

} // namespace tavo
