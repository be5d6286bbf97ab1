#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// The six address options, Option1 ("SINGLE") to Option6 ("004").
constexpr int kAddressOptionCount = 6;

// The prefix of option 1..6: "", "AFFF", "A001".."A004".
QByteArray addressForOption(int option);

// The option a stored text selects, comparing exactly; anything unknown is 1.
int optionForStoredAddress(const QByteArray& stored);

// The words scripts and site files use for the options: "single", "all", "001".."004" to the
// prefix put in front of each command; nothing for any other word.
std::optional<QByteArray> prefixForAddressWord(const QString& word);
// The word for a stored ADRESS value, with the console's rule: an exact prefix selects that
// address, anything else the single projector.
QString addressWordForStored(const QString& stored);

} // namespace tavo
