#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::gateway {

// What one start of mx7300-gateway was asked to do, as given on the command line.
struct GatewayOptions {
    QString siteFile;
    QString siteName; // empty: the file's base name
    QString mqttUrl;  // empty: no broker
    QString mqttCaFile;
    QString mqttCertFile; // a client certificate for mqtts://, with mqttKeyFile
    QString mqttKeyFile;
    QString mqttPasswordFile;
    int mqttKeepaliveSeconds = 15;
    QString mqttBase = QStringLiteral("tavo");          // topics under BASE/SITE/
    QString haPrefix = QStringLiteral("homeassistant"); // Home Assistant's discovery prefix
    std::optional<QString> haAreaPrefix;                // none: the site's name
    QString httpAddress = QStringLiteral("127.0.0.1");
    std::optional<quint16> httpPort; // no --http: no HTTP side
    QString httpTokenFile;
    QString httpCertFile; // HTTPS, with httpKeyFile
    QString httpKeyFile;
    QString pjlinkAddress = QStringLiteral("127.0.0.1");
    std::optional<quint16> pjlinkPort; // no --pjlink: no PJLink side
    QString pjlinkPasswordFile;
    QString shareAddress = QStringLiteral("127.0.0.1");
    std::optional<quint16> sharePort; // no --share: no line is shared; the first line's port
    QString shareAllow;               // empty: loopback only
    int pollSeconds = 10;
    bool check = false;
    QString auditFile; // empty: the audit log goes to the service's log only
    QString stateDir;  // where PJLink ports are remembered; empty: $STATE_DIRECTORY, if any
};

struct GatewayParse {
    enum class Kind { Run, Help, Version, Usage };
    Kind kind = Kind::Usage;
    GatewayOptions options;
    QString error; // one line, for Usage
};

// `arguments` includes the program name first.
GatewayParse parseGatewayOptions(const QStringList& arguments);
QString gatewayHelpText();

// "HOST:PORT" or "[V6]:PORT" with PORT 1..65535 (0 allowed where `anyPort`). The listening
// addresses of --http and --pjlink must also be numeric addresses.
bool splitHostPort(const QString& text, QString* host, quint16* port, bool anyPort = false);

// The file options (secrets, certificates) as files to open. A value with a "/" is a path, as
// given; one without names a credential systemd passed the service (LoadCredential=NAME:...),
// read from `credentialsDirectory` ($CREDENTIALS_DIRECTORY). Without that directory such a
// value is refused (false, `error` one line), so a mistyped path never reads a file in the
// working directory by chance.
bool resolveFileOptions(GatewayOptions* options, const QString& credentialsDirectory,
                        QString* error);

} // namespace tavo::gateway
