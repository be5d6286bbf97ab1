#include "TokenFile.h"

#include "SecretFile.h"

namespace tavo::gateway {

std::optional<QByteArray> readTokenFile(const QString& path, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    // The one reader of secret files: a regular file itself, bounded, one line.
    QString why;
    const std::optional<QByteArray> token = site::readSecretFile(path, &why);
    if (!token) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    for (const char c : *token) {
        if (c <= 0x20 || c >= 0x7F)
            return fail(QStringLiteral("the token must be one line of printable ASCII "
                                       "without spaces"));
    }
    if (token->size() < kTokenMinimum)
        return fail(QStringLiteral("the token must be at least %1 characters").arg(kTokenMinimum));
    return token;
}

} // namespace tavo::gateway
