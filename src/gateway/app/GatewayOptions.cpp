#include "GatewayOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>

namespace tavo::gateway {
namespace {

GatewayParse usage(const QString& error) {
    GatewayParse parse;
    parse.kind = GatewayParse::Kind::Usage;
    parse.error = error;
    return parse;
}

// Topic levels of letters, digits, '_' and '-', joined by '/': no wildcard, no empty level.
bool isTopicBase(const QString& text) {
    static const QRegularExpression form(QStringLiteral("\\A[A-Za-z0-9_-]+(/[A-Za-z0-9_-]+)*\\z"));
    return text.size() <= 64 && form.match(text).hasMatch();
}

} // namespace

bool splitHostPort(const QString& text, QString* host, quint16* port, bool anyPort) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString h = text.left(colon);
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    else if (h.contains(QLatin1Char(':')))
        return false;
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok);
    if (!ok || p < (anyPort ? 0 : 1) || p > 65535 || h.isEmpty())
        return false;
    *host = h;
    *port = quint16(p);
    return true;
}

bool resolveFileOptions(GatewayOptions* options, const QString& credentialsDirectory,
                        QString* error) {
    const std::pair<const char*, QString*> files[] = {
        {"--mqtt-cafile", &options->mqttCaFile},
        {"--mqtt-password-file", &options->mqttPasswordFile},
        {"--http-token-file", &options->httpTokenFile},
        {"--pjlink-password-file", &options->pjlinkPasswordFile},
        {"--mqtt-cert", &options->mqttCertFile},
        {"--mqtt-key", &options->mqttKeyFile},
        {"--http-cert", &options->httpCertFile},
        {"--http-key", &options->httpKeyFile},
    };
    for (const auto& [option, value] : files) {
        if (value->isEmpty() || value->contains(QLatin1Char('/')))
            continue;
        if (*value == QLatin1String(".") || *value == QLatin1String("..")) {
            *error = QStringLiteral("%1 \"%2\" is no file").arg(QLatin1String(option), *value);
            return false;
        }
        if (credentialsDirectory.isEmpty()) {
            *error = QStringLiteral("%1 %2 names a systemd credential, but CREDENTIALS_DIRECTORY "
                                    "is not set; give a path (./%2 for a file here)")
                         .arg(QLatin1String(option), *value);
            return false;
        }
        *value = QDir(credentialsDirectory).filePath(*value);
    }
    return true;
}

GatewayParse parseGatewayOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption site(QStringLiteral("site"), {}, QStringLiteral("FILE"));
    const QCommandLineOption name(QStringLiteral("name"), {}, QStringLiteral("SITE"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"), {}, QStringLiteral("URL"));
    const QCommandLineOption caFile(QStringLiteral("mqtt-cafile"), {}, QStringLiteral("FILE"));
    const QCommandLineOption password(QStringLiteral("mqtt-password-file"), {},
                                      QStringLiteral("FILE"));
    const QCommandLineOption keepalive(QStringLiteral("mqtt-keepalive"), {},
                                       QStringLiteral("SECONDS"));
    const QCommandLineOption mqttBase(QStringLiteral("mqtt-base"), {}, QStringLiteral("BASE"));
    const QCommandLineOption haPrefix(QStringLiteral("ha-prefix"), {}, QStringLiteral("PREFIX"));
    const QCommandLineOption haArea(QStringLiteral("ha-area-prefix"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption http(QStringLiteral("http"), {}, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption token(QStringLiteral("http-token-file"), {}, QStringLiteral("FILE"));
    const QCommandLineOption pjlink(QStringLiteral("pjlink"), {}, QStringLiteral("ADDR:PORT"));
    const QCommandLineOption pjlinkPassword(QStringLiteral("pjlink-password-file"), {},
                                            QStringLiteral("FILE"));
    const QCommandLineOption poll(QStringLiteral("poll"), {}, QStringLiteral("SECONDS"));
    parser.addOptions({help, version, check, site, name, mqtt, caFile, password, keepalive,
                       mqttBase, haPrefix, haArea, http, token, pjlink, pjlinkPassword, poll});
    // Certificates and keys: each pair given whole or not at all.
    const QCommandLineOption mqttCert(QStringLiteral("mqtt-cert"), {}, QStringLiteral("FILE"));
    const QCommandLineOption mqttKey(QStringLiteral("mqtt-key"), {}, QStringLiteral("FILE"));
    const QCommandLineOption httpCert(QStringLiteral("http-cert"), {}, QStringLiteral("FILE"));
    const QCommandLineOption httpKey(QStringLiteral("http-key"), {}, QStringLiteral("FILE"));
    parser.addOptions({mqttCert, mqttKey, httpCert, httpKey});
    const QCommandLineOption auditFile(QStringLiteral("audit-file"), {}, QStringLiteral("PATH"));
    parser.addOption(auditFile);
    const QCommandLineOption stateDir(QStringLiteral("state-dir"), {}, QStringLiteral("DIR"));
    parser.addOption(stateDir);
    const QCommandLineOption share(QStringLiteral("share"), {}, QStringLiteral("ADDR[:PORT]"));
    const QCommandLineOption shareAllow(QStringLiteral("share-allow"), {},
                                        QStringLiteral("CIDR[,CIDR]"));
    parser.addOptions({share, shareAllow});
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        GatewayParse parse;
        parse.kind = GatewayParse::Kind::Help;
        return parse;
    }
    if (parser.isSet(version)) {
        GatewayParse parse;
        parse.kind = GatewayParse::Kind::Version;
        return parse;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    GatewayOptions o;
    o.siteFile = parser.value(site);
    if (o.siteFile.isEmpty())
        return usage(QStringLiteral("--site FILE is required"));
    o.siteName = parser.value(name);
    o.check = parser.isSet(check);
    o.mqttUrl = parser.value(mqtt);
    o.mqttCaFile = parser.value(caFile);
    o.mqttPasswordFile = parser.value(password);
    if (parser.isSet(keepalive)) {
        bool ok = false;
        o.mqttKeepaliveSeconds = parser.value(keepalive).toInt(&ok);
        if (!ok || o.mqttKeepaliveSeconds < 5 || o.mqttKeepaliveSeconds > 3600)
            return usage(QStringLiteral("--mqtt-keepalive must be 5 to 3600 seconds"));
    }
    for (const auto& [option, value] :
         {std::pair{&mqttBase, &o.mqttBase}, std::pair{&haPrefix, &o.haPrefix}}) {
        if (!parser.isSet(*option))
            continue;
        *value = parser.value(*option);
        if (!isTopicBase(*value))
            return usage(QStringLiteral("--%1 must be topic levels of letters, digits, _ and - "
                                        "joined by /")
                             .arg(option->names().first()));
    }
    if (parser.isSet(haArea)) {
        const QString area = parser.value(haArea);
        if (area.size() > 64 ||
            std::any_of(area.begin(), area.end(), [](QChar c) { return !c.isPrint(); }))
            return usage(QStringLiteral("--ha-area-prefix must be up to 64 printable characters"));
        o.haAreaPrefix = area;
    }
    if (parser.isSet(http)) {
        quint16 port = 0;
        if (!splitHostPort(parser.value(http), &o.httpAddress, &port, true) ||
            QHostAddress(o.httpAddress).isNull())
            return usage(
                QStringLiteral("--http must be ADDR:PORT, not \"%1\"").arg(parser.value(http)));
        o.httpPort = port;
    }
    o.httpTokenFile = parser.value(token);
    if (parser.isSet(pjlink)) {
        // An address alone takes PJLink's own port, 4352, for the first projector.
        const QString value = parser.value(pjlink);
        quint16 port = 0;
        if (QHostAddress(value).isNull() || value.isEmpty()) {
            if (!splitHostPort(value, &o.pjlinkAddress, &port, true) ||
                QHostAddress(o.pjlinkAddress).isNull())
                return usage(QStringLiteral("--pjlink must be ADDR[:PORT], not \"%1\"").arg(value));
        } else {
            o.pjlinkAddress = value;
            port = 4352;
        }
        o.pjlinkPort = port;
    }
    o.pjlinkPasswordFile = parser.value(pjlinkPassword);
    if (parser.isSet(share)) {
        // An address alone shares the first line on 4001, the next on 4002, ...
        const QString value = parser.value(share);
        quint16 port = 4001;
        if (QHostAddress(value).isNull() && (!splitHostPort(value, &o.shareAddress, &port, true) ||
                                             QHostAddress(o.shareAddress).isNull()))
            return usage(QStringLiteral("--share must be ADDR[:PORT], not \"%1\"").arg(value));
        if (!QHostAddress(value).isNull())
            o.shareAddress = value;
        o.sharePort = port;
    }
    o.shareAllow = parser.value(shareAllow);
    if (parser.isSet(shareAllow) && !o.sharePort)
        return usage(QStringLiteral("--share-allow needs --share"));
    o.mqttCertFile = parser.value(mqttCert);
    o.mqttKeyFile = parser.value(mqttKey);
    o.httpCertFile = parser.value(httpCert);
    o.httpKeyFile = parser.value(httpKey);
    if (o.mqttCertFile.isEmpty() != o.mqttKeyFile.isEmpty())
        return usage(QStringLiteral("--mqtt-cert and --mqtt-key go together"));
    if (o.httpCertFile.isEmpty() != o.httpKeyFile.isEmpty())
        return usage(QStringLiteral("--http-cert and --http-key go together"));
    if (!o.httpCertFile.isEmpty() && !o.httpPort)
        return usage(QStringLiteral("--http-cert needs --http"));
    o.auditFile = parser.value(auditFile);
    o.stateDir = parser.value(stateDir);
    if (parser.isSet(poll)) {
        bool ok = false;
        o.pollSeconds = parser.value(poll).toInt(&ok);
        if (!ok || o.pollSeconds < 1 || o.pollSeconds > 3600)
            return usage(QStringLiteral("--poll must be 1 to 3600 seconds"));
    }
    // A gateway that serves nothing would only hold the site's ports.
    if (!o.check && o.mqttUrl.isEmpty() && !o.httpPort && !o.pjlinkPort && !o.sharePort)
        return usage(
            QStringLiteral("no front: give --mqtt, --http, --pjlink or --share (or --check)"));
    GatewayParse parse;
    parse.kind = GatewayParse::Kind::Run;
    parse.options = o;
    return parse;
}

QString gatewayHelpText() {
    return QStringLiteral(
        "Usage: mx7300-gateway --site FILE [options]\n"
        "Holds a site's projectors, polls them and puts them on MQTT (with Home Assistant\n"
        "discovery), HTTP (Prometheus metrics, a JSON API, a status page) and PJLink.\n"
        "\n"
        "  --site FILE               the site file (the one mx7300-ctl --site reads)\n"
        "  --name SITE               the site's name in topics and labels (default: the\n"
        "                            file's base name); letters, digits, _ and -\n"
        "  --check                   check the site file and exit\n"
        "  --poll SECONDS            read every projector this often (default 10)\n"
        "  --mqtt URL                mqtt://[USER@]HOST[:PORT] or mqtts://[USER@]HOST[:PORT]\n"
        "  --mqtt-cafile FILE        certificate authorities for mqtts://\n"
        "  --mqtt-cert FILE, --mqtt-key FILE\n"
        "                            a client certificate and its key (PEM) for mqtts://\n"
        "  --mqtt-password-file FILE the broker password, one line\n"
        "  --mqtt-keepalive SECONDS  (default 15)\n"
        "  --mqtt-base BASE          topics under BASE/SITE/ (default tavo)\n"
        "  --ha-prefix PREFIX        Home Assistant's discovery prefix (default homeassistant)\n"
        "  --ha-area-prefix TEXT     put before every room in Home Assistant's areas\n"
        "                            (default: the site's name; empty: the room alone)\n"
        "  --http ADDR:PORT          metrics, API and status page (e.g. 127.0.0.1:9731)\n"
        "  --http-token-file FILE    the token HTTP writes need; without it HTTP is read-only\n"
        "  --http-cert FILE, --http-key FILE\n"
        "                            serve HTTPS with this certificate chain and key (PEM)\n"
        "  --pjlink ADDR[:PORT]      PJLink, one port per projector from PORT (4352) on\n"
        "  --pjlink-password-file FILE  PJLink password for projectors without their own\n"
        "  --share ADDR[:PORT]       lend each line as raw bytes on a TCP port from PORT (4001)\n"
        "                            on; the gateway takes turns on the line for its clients\n"
        "  --share-allow CIDR[,CIDR] the networks --share admits (default: loopback only)\n"
        "  --audit-file PATH         also write the audit log there, as JSON lines\n"
        "                            (opened again on SIGUSR1, after logrotate)\n"
        "  --state-dir DIR           remember each projector's PJLink port and each\n"
        "                            line's share port there\n"
        "                            (default $STATE_DIRECTORY, as systemd sets it)\n"
        "  --help, --version\n"
        "At least one of --mqtt, --http, --pjlink and --share is needed, except with --check.\n"
        "A FILE without \"/\" names a systemd credential in $CREDENTIALS_DIRECTORY.\n"
        "SIGHUP reads the site file again: projectors added start, removed ones stop,\n"
        "the others go on untouched; a file --check would refuse leaves the site as it was.\n"
        "\n"
        "Exit status: 0 after a clean stop (SIGTERM, SIGINT) or a good --check,\n"
        "2 for a usage error, a bad site file or an unreadable secret, 3 when a listening\n"
        "port cannot be had, 4 when another live gateway holds the site on the broker.\n"
        "See man mx7300-gateway.\n");
}

} // namespace tavo::gateway
