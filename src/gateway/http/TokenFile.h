#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::gateway {

// The token that HTTP writes must carry, from the file --http-token-file names, read as every
// secret file is (site::readSecretFile: a regular file, not a FIFO or a symbolic link, of at most
// kTokenFileLimit bytes, one line): printable ASCII without spaces, at least kTokenMinimum long.
// Nothing, with `error` saying why, for anything else.
inline constexpr int kTokenFileLimit = 4096;
inline constexpr int kTokenMinimum = 16;
std::optional<QByteArray> readTokenFile(const QString& path, QString* error);

} // namespace tavo::gateway
