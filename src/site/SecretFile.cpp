#include "SecretFile.h"

#include "BoundedFileRead.h"

namespace tavo::site {

std::optional<QByteArray> readSecretFile(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    const BoundedRead read = readRegularFile(path, kSecretFileLimit, FinalLink::Refuse);
    if (!read.ok)
        return fail(read.error);
    QByteArray secret = read.bytes;
    if (secret.endsWith("\r\n"))
        secret.chop(2);
    else if (secret.endsWith('\n'))
        secret.chop(1);
    if (secret.contains('\n') || secret.contains('\r'))
        return fail(QStringLiteral("holds more than one line"));
    if (secret.isEmpty())
        return fail(QStringLiteral("is empty"));
    return secret;
}

} // namespace tavo::site
