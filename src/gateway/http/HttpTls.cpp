#include "HttpTls.h"

#include "BoundedFileRead.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace tavo::gateway {
namespace {

constexpr qint64 kMaxChainSize = 1024 * 1024;
constexpr qint64 kMaxKeySize = 64 * 1024;

} // namespace

std::optional<QSslConfiguration> readHttpTls(const QString& certFile, const QString& keyFile,
                                             QString* error) {
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("Qt has no TLS backend here (OpenSSL 3 is needed)");
        return std::nullopt;
    }
    const site::BoundedRead chainFile = site::readRegularFile(certFile, kMaxChainSize);
    if (!chainFile.ok) {
        *error = QStringLiteral("--http-cert: %1: %2").arg(certFile, chainFile.error);
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(chainFile.bytes, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        *error = QStringLiteral("--http-cert: %1: no PEM certificate").arg(certFile);
        return std::nullopt;
    }
    const site::BoundedRead keyRead =
        site::readRegularFile(keyFile, kMaxKeySize, site::FinalLink::Refuse);
    if (!keyRead.ok) {
        *error = QStringLiteral("--http-key: %1: %2").arg(keyFile, keyRead.error);
        return std::nullopt;
    }
    QSslKey key;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec}) {
        key = QSslKey(keyRead.bytes, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        *error = QStringLiteral("--http-key: %1: no unencrypted PEM private key (RSA or EC)")
                     .arg(keyFile);
        return std::nullopt;
    }
    // A key of another algorithm or size than the certificate's can never make a handshake.
    const QSslKey certified = chain.first().publicKey();
    if (certified.algorithm() != key.algorithm() || certified.length() != key.length()) {
        *error = QStringLiteral("--http-key: %1 is not the key of %2").arg(keyFile, certFile);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // clients bring a token, not a cert
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}

} // namespace tavo::gateway
