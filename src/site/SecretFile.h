#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::site {

// Every secret the programs read (a token, a password) comes through here: a regular file
// itself, not a symbolic link, a FIFO or a device, of at most kSecretFileLimit bytes, holding one
// line. One trailing line end (LF or CR LF) is dropped. Nothing, with `error` saying
// "PATH: reason", for anything else; the secret itself never appears in the reason.
inline constexpr qint64 kSecretFileLimit = 4096;
std::optional<QByteArray> readSecretFile(const QString& path, QString* error);

} // namespace tavo::site
