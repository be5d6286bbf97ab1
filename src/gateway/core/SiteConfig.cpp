#include "SiteConfig.h"

#include <QRegularExpression>

namespace tavo::gateway {

bool isPlainName(const QString& name) {
    // The whole string: "$" alone would also match before a final newline.
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_-]+")));
    return plain.match(name).hasMatch();
}

} // namespace tavo::gateway
