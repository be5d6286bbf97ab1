#include "Invocation.h"

#include "CommandText.h"

#include "Address.h"
#include "ProjectorCommand.h"

#include <QCommandLineParser>

namespace tavo::ctl {
namespace {

struct CommandRow {
    const char* word;
    Command command;
    const char* text; // fixed command text, or nullptr when it comes from ARG
};

constexpr CommandRow kCommands[] = {
    {"status", Command::Status, commands::kReadPower},
    {"input", Command::Input, commands::kReadInput},
    {"lamp", Command::Lamp, commands::kReadLampHours},
    {"reversal", Command::Reversal, commands::kReadReversal},
    {"temp", Command::Temp, commands::kReadTemperatures},
    {"send", Command::Send, nullptr},
    {"power", Command::Power, nullptr},
    {"wait-ready", Command::WaitReady, commands::kReadPower},
};

const CommandRow* findCommand(const QString& word) {
    for (const CommandRow& row : kCommands) {
        if (word == QLatin1String(row.word))
            return &row;
    }
    return nullptr;
}

std::optional<int> positiveNumber(const QString& text, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > high)
        return std::nullopt;
    return value;
}

ParseOutcome usage(const QString& message) {
    ParseOutcome outcome;
    outcome.kind = ParseOutcome::Kind::Usage;
    outcome.error = message;
    return outcome;
}

} // namespace

ParseOutcome parseInvocation(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("TARGET"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption address(QStringLiteral("address"), QString(),
                                     QStringLiteral("ADDRESS"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("MS"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption site(QStringLiteral("site"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption noGateway(QStringLiteral("no-gateway"));
    parser.addOptions({port, baud, address, timeout, json, site, all, help, version, noGateway});

    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        ParseOutcome outcome;
        outcome.kind = ParseOutcome::Kind::Help;
        return outcome;
    }
    if (parser.isSet(version)) {
        ParseOutcome outcome;
        outcome.kind = ParseOutcome::Kind::Version;
        return outcome;
    }

    Invocation inv;
    if (parser.isSet(port)) {
        inv.port = parser.value(port);
        if (inv.port->isEmpty())
            return usage(QStringLiteral("--port needs a TARGET (COMn, a device, tcp:// or "
                                        "rfc2217://)"));
    }
    if (parser.isSet(baud)) {
        const QString value = parser.value(baud);
        if (value != QLatin1String("9600") && value != QLatin1String("19200"))
            return usage(QStringLiteral("--baud must be 9600 or 19200, not \"%1\"").arg(value));
        inv.baud = value.toInt();
    }
    if (parser.isSet(address)) {
        const QString value = parser.value(address);
        if (!prefixForAddressWord(value))
            return usage(
                QStringLiteral("--address must be single, all, 001, 002, 003 or 004, not \"%1\"")
                    .arg(value));
        inv.address = value;
    }
    if (parser.isSet(timeout)) {
        const auto ms = positiveNumber(parser.value(timeout), 600000);
        if (!ms)
            return usage(QStringLiteral("--timeout must be 1 to 600000 milliseconds, not \"%1\"")
                             .arg(parser.value(timeout)));
        inv.timeoutMs = *ms;
    }
    inv.json = parser.isSet(json);
    inv.noGateway = parser.isSet(noGateway);
    inv.all = parser.isSet(all);
    if (parser.isSet(site)) {
        inv.siteFile = parser.value(site);
        if (inv.siteFile.isEmpty())
            return usage(QStringLiteral("--site needs a FILE"));
    }

    // [NAME...] COMMAND [ARG]: the first known command word ends the names.
    const QStringList positional = parser.positionalArguments();
    int at = 0;
    const CommandRow* row = nullptr;
    for (; at < positional.size(); ++at) {
        if ((row = findCommand(positional[at])))
            break;
        inv.names << positional[at];
    }
    if (!row) {
        if (positional.isEmpty())
            return usage(QStringLiteral("no command given (status, input, lamp, reversal, temp, "
                                        "send, power, wait-ready)"));
        return usage(QStringLiteral("unknown command \"%1\"").arg(positional.last()));
    }
    const QStringList args = positional.mid(at + 1);
    inv.command = row->command;
    inv.commandWord = positional[at];
    if (row->text)
        inv.commandText = row->text;

    if (!inv.names.isEmpty() && inv.siteFile.isEmpty())
        return usage(QStringLiteral("\"%1\" is not a command; projector names need --site FILE")
                         .arg(inv.names.first()));
    if (!inv.names.isEmpty() && inv.all)
        return usage(QStringLiteral("give either --all or projector names, not both"));
    if (inv.all && inv.siteFile.isEmpty())
        return usage(QStringLiteral("--all needs --site FILE"));
    if (!inv.siteFile.isEmpty() && !inv.all && inv.names.isEmpty())
        return usage(QStringLiteral("with --site, name the projectors before the command or "
                                    "give --all"));

    switch (inv.command) {
    case Command::Send: {
        if (args.size() != 1 || args[0].isEmpty())
            return usage(QStringLiteral("send needs exactly one TEXT (quote it if it has spaces)"));
        // A CR inside would start a second command without the address, which every
        // projector on the line would obey; the link refuses every control byte.
        QString why;
        const auto bytes = commandTextBytes(args[0], &why);
        if (!bytes)
            return usage(QStringLiteral("send: %1; a command is one line of printable "
                                        "characters")
                             .arg(why));
        inv.commandText = *bytes;
        break;
    }
    case Command::Power:
        if (args.size() != 1 || (args[0] != QLatin1String("on") && args[0] != QLatin1String("off")))
            return usage(QStringLiteral("power needs on or off"));
        inv.commandText = ProjectorCommand::power(args[0] == QLatin1String("on")).text;
        break;
    case Command::WaitReady:
        if (args.size() > 1)
            return usage(QStringLiteral("wait-ready takes at most one argument, SECONDS"));
        if (args.size() == 1) {
            const auto seconds = positiveNumber(args[0], 86400);
            if (!seconds)
                return usage(QStringLiteral("wait-ready: SECONDS must be 1 to 86400, not \"%1\"")
                                 .arg(args[0]));
            inv.waitSeconds = *seconds;
        }
        break;
    default:
        if (!args.isEmpty())
            return usage(QStringLiteral("%1 takes no argument, but \"%2\" follows it (names go "
                                        "before the command)")
                             .arg(inv.commandWord, args[0]));
        break;
    }

    ParseOutcome outcome;
    outcome.kind = ParseOutcome::Kind::Run;
    outcome.invocation = inv;
    return outcome;
}

} // namespace tavo::ctl
