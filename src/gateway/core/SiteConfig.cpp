#include "SiteConfig.h"

#include <QRegularExpression>

namespace tavo::gateway {

bool isPlainName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return plain.match(name).hasMatch();
}

} // namespace tavo::gateway
