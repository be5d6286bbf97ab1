#pragma once

#include <QByteArray>

// The projector's command vocabulary as the console offers it: three fixed, ordered lists of
// one-line entries of the form command text, "[CR]", then an optional gap, separator and
// description for the operator.
namespace tavo::catalogue {

enum class List {
    Combo1, // "Basic Command List"
    Combo2, // "Expand Command List"
    Combo3, // "Expand Read Command List"
};

int entryCount(List list);

// The exact bytes of an entry; rows count from 0 in display order.
const QByteArray& entry(List list, int row);

// Everything before the first '[' (the whole text when there is none).
QByteArray commandText(const QByteArray& entry);

// True when '%' appears anywhere in the entry, description included.
bool hasParameter(const QByteArray& entry);

} // namespace tavo::catalogue
