#pragma once

#include "Address.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::ctl {

enum class Command { Status, Input, Lamp, Reversal, Temp, Send, Power, WaitReady };

// What one run of mx7300-ctl was asked to do, as given on the command line.
struct Invocation {
    std::optional<QString> port;    // TARGET: COMn, a device path, tcp://, rfc2217://
    std::optional<int> baud;        // 9600 or 19200
    std::optional<QString> address; // single, all, 001..004
    int timeoutMs = 1000;           // the reply time-out
    bool json = false;
    bool noGateway = false; // never through a running gateway's share
    QString siteFile;
    bool all = false;
    QStringList names;
    Command command = Command::Status;
    QString commandWord;    // as typed: "status", "power", ...
    QByteArray commandText; // what goes on the wire before the address and CR
    int waitSeconds = 60;   // wait-ready only
};

struct ParseOutcome {
    enum class Kind { Run, Help, Version, Usage };
    Kind kind = Kind::Usage;
    Invocation invocation;
    QString error; // one line, for Usage
};

// `arguments` includes the program name first, as QCoreApplication gives it.
ParseOutcome parseInvocation(const QStringList& arguments);

QString helpText();

} // namespace tavo::ctl
