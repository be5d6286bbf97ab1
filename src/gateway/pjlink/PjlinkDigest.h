#pragma once

#include <QByteArray>
#include <QString>

namespace tavo::gateway::pjlink {

// The PJLink password check: the client puts md5(random + password) in front of its first
// command, as 32 lower-case hex digits.
QByteArray digest(const QByteArray& random, const QString& password);

// Eight hex digits for one connection's greeting, from the system's random source.
QByteArray randomToken();

// Compared in full whatever the first difference, so the time taken tells nothing; hex digits
// in either case are taken.
bool digestMatches(const QByteArray& given, const QByteArray& expected);

} // namespace tavo::gateway::pjlink
