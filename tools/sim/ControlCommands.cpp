#include "sim/ControlCommands.h"

#include <QStringList>

#include <optional>

namespace tavo::sim {

namespace {

// An optional on|off argument; a missing one means on.
std::optional<bool> switchArgument(const QStringList& words, int index) {
    if (words.size() <= index)
        return true;
    if (words.size() > index + 1)
        return std::nullopt;
    if (words.at(index) == QLatin1String("on"))
        return true;
    if (words.at(index) == QLatin1String("off"))
        return false;
    return std::nullopt;
}

std::optional<int> nonNegativeInt(const QStringList& words, int index) {
    if (words.size() != index + 1)
        return std::nullopt;
    bool ok = false;
    const int value = words.at(index).toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

QString usage(const QString& form) {
    return QStringLiteral("usage: %1").arg(form);
}

QString stateText(const QString& name, bool on) {
    return QStringLiteral("%1 %2").arg(name, on ? QStringLiteral("on") : QStringLiteral("off"));
}

ControlReply runFault(Simulator& sim, const QStringList& words) {
    LineFaults& faults = sim.faults();
    const QString kind = words.value(1);
    if (kind == QLatin1String("silent") || kind == QLatin1String("split")) {
        const auto on = switchArgument(words, 2);
        if (!on)
            return {usage(QStringLiteral("fault %1 on|off").arg(kind))};
        (kind == QLatin1String("silent") ? faults.silent : faults.split) = *on;
        return {stateText(QStringLiteral("fault ") + kind, *on)};
    }
    if (kind == QLatin1String("slow")) {
        const auto ms = nonNegativeInt(words, 2);
        if (!ms)
            return {usage(QStringLiteral("fault slow MS"))};
        faults.slowMs = *ms;
        return {QStringLiteral("fault slow %1 ms").arg(*ms)};
    }
    if (kind == QLatin1String("garbage") && words.size() == 2) {
        faults.garbageNext = true;
        return {QStringLiteral("fault garbage armed for the next reply")};
    }
    if (kind == QLatin1String("none") && words.size() == 2) {
        const int gap = faults.splitGapMs;
        faults = LineFaults{};
        faults.splitGapMs = gap;
        sim.model().health() = Health{};
        sim.startNoise(0);
        return {QStringLiteral("all faults off")};
    }
    return {usage(QStringLiteral("fault silent|split on|off, fault slow MS, fault garbage, "
                                 "fault none"))};
}

ControlReply runHealth(Simulator& sim, const QStringList& words) {
    const auto on = switchArgument(words, 1);
    if (!on)
        return {usage(words.front() + QStringLiteral(" [on|off]"))};
    Health& health = sim.model().health();
    if (words.front() == QLatin1String("lamp-failure"))
        health.lampFailure = *on;
    else if (words.front() == QLatin1String("temp-abnormal"))
        health.temperatureAbnormal = *on;
    else
        health.powerAbnormal = *on;
    return {stateText(words.front(), *on)};
}

ControlReply runNoise(Simulator& sim, const QStringList& words) {
    bool ok = false;
    const double seconds = words.value(1).toDouble(&ok);
    if (words.size() != 2 || !ok || seconds < 0)
        return {usage(QStringLiteral("noise SECONDS"))};
    sim.startNoise(seconds);
    return {QStringLiteral("noise for %1 s at %2 baud").arg(seconds).arg(sim.lineBaud())};
}

ControlReply runBaud(Simulator& sim, const QStringList& words) {
    const QString value = words.value(1);
    if (words.size() != 2 || (value != QLatin1String("9600") && value != QLatin1String("19200")))
        return {usage(QStringLiteral("baud 9600|19200"))};
    sim.setLineBaud(value.toInt());
    return {QStringLiteral("line speed %1 baud").arg(value)};
}

ControlReply runPower(Simulator& sim, const QStringList& words) {
    const auto on = switchArgument(words, 1);
    if (!on || words.size() != 2)
        return {usage(QStringLiteral("power on|off"))};
    if (*on)
        sim.model().powerOn();
    else
        sim.model().powerOff();
    return {QStringLiteral("power code %1").arg(QString::fromLatin1(sim.model().statusCode()))};
}

} // namespace

ControlReply runControlCommand(Simulator& sim, const QString& line) {
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString& verb = words.front();
    if (verb == QLatin1String("fault"))
        return runFault(sim, words);
    if (verb == QLatin1String("lamp-failure") || verb == QLatin1String("temp-abnormal") ||
        verb == QLatin1String("power-abnormal"))
        return runHealth(sim, words);
    if (verb == QLatin1String("noise"))
        return runNoise(sim, words);
    if (verb == QLatin1String("baud"))
        return runBaud(sim, words);
    if (verb == QLatin1String("power"))
        return runPower(sim, words);
    if (verb == QLatin1String("status") && words.size() == 1)
        return {sim.statusReport()};
    if (verb == QLatin1String("help") && words.size() == 1)
        return {controlCommandHelp()};
    if ((verb == QLatin1String("quit") || verb == QLatin1String("exit")) && words.size() == 1)
        return {QStringLiteral("bye"), true};
    return {QStringLiteral("unknown control command \"%1\"; type help").arg(line.simplified())};
}

QString controlCommandHelp() {
    return QStringLiteral(
        "Lines typed on standard input:\n"
        "  fault silent on|off      drop every reply (commands still act)\n"
        "  fault split on|off       replies in pieces of 1 to 3 bytes, --split-gap apart\n"
        "  fault slow MS            wait MS milliseconds before each reply (0 = off)\n"
        "  fault garbage            next reply replaced by as many random bytes\n"
        "  fault none               every fault, noise and health condition off\n"
        "  noise SECONDS            random bytes at line rate for SECONDS (0 = stop)\n"
        "  lamp-failure [on|off]    CR0 answers 21 (lamp lit or cooling) or 81 (standby)\n"
        "  temp-abnormal [on|off]   CR0 answers 08/18/28/48/88, CR6 reads hot\n"
        "  power-abnormal [on|off]  CR0 answers 10\n"
        "  baud 9600|19200          the projector's line speed; while the console's end\n"
        "                           is set to another, commands are not understood and\n"
        "                           each chunk received is answered with garbled bytes\n"
        "  power on|off             press the projector's own power key\n"
        "  status                   print the projector's state\n"
        "  help                     this list\n"
        "  quit                     end the simulator\n");
}

} // namespace tavo::sim
