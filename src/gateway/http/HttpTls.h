#pragma once

#include <QSslConfiguration>
#include <QString>

#include <optional>

namespace tavo::gateway {

// The HTTP front's certificate chain (PEM, the server's own first) and its private key (PEM,
// RSA or EC, not encrypted) as a server-side TLS configuration. Both files are read with a
// bound, the key like every secret: a regular file itself, never a symbolic link. Nothing, with
// `error` saying which file and why, when they do not read or do not belong together.
std::optional<QSslConfiguration> readHttpTls(const QString& certFile, const QString& keyFile,
                                             QString* error);

} // namespace tavo::gateway
