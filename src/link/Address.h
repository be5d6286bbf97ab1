#pragma once

#include <QByteArray>

namespace tavo {

// The six address options, Option1 ("SINGLE") to Option6 ("004").
constexpr int kAddressOptionCount = 6;

// The prefix of option 1..6: "", "AFFF", "A001".."A004".
QByteArray addressForOption(int option);

// The option a stored text selects, comparing exactly; anything unknown is 1.
int optionForStoredAddress(const QByteArray& stored);

} // namespace tavo
