#include "PjlinkDigest.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace tavo::gateway::pjlink {

QByteArray digest(const QByteArray& random, const QString& password) {
    return QCryptographicHash::hash(random + password.toUtf8(), QCryptographicHash::Md5).toHex();
}

QByteArray randomToken() {
    const quint32 value = QRandomGenerator::system()->generate();
    return QByteArray::number(value, 16).rightJustified(8, '0');
}

bool digestMatches(const QByteArray& given, const QByteArray& expected) {
    if (given.size() != expected.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < given.size(); ++i) {
        char c = given[i];
        if (c >= 'A' && c <= 'F')
            c = char(c - 'A' + 'a');
        difference |= static_cast<unsigned char>(c ^ expected[i]);
    }
    return difference == 0;
}

} // namespace tavo::gateway::pjlink
