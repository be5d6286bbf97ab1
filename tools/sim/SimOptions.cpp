#include "sim/SimOptions.h"

#include "sim/ControlCommands.h"

#include <QCommandLineParser>

namespace tavo::sim {

namespace {

const QString kUnknownCommandNote = QStringLiteral(
    "Replies: ACK (06) for execution and \"CF\" set commands, text ended by CR for reads.\n"
    "A command the projector does not know is answered with \"?\" and CR. Lines for another\n"
    "address (\"Annn\" in front, not its own and not AFFF) are ignored silently.\n");

struct OptionSet {
    QCommandLineOption address{"address", "Projector address, 001 to 999 (default 001).", "NNN",
                               "001"};
    QCommandLineOption registerPort{
        "register",
        "Write COMN=<device> under [Ports] of $XDG_CONFIG_HOME/TAVO/TAVO.ini, removed on exit.",
        "N"};
    QCommandLineOption warmup{
        "warmup", "Warm-up (count down) time, simulated seconds (default 30).", "SECONDS", "30"};
    QCommandLineOption cooldown{"cooldown", "Cool-down time, simulated seconds (default 60).",
                                "SECONDS", "60"};
    QCommandLineOption timeScale{"time-scale",
                                 "Simulated seconds per real second (default 1); 3600 makes "
                                 "the lamp age one hour per second.",
                                 "X", "1"};
    // 19200, as a site section without baud= and a console with no stored rate use.
    QCommandLineOption baud{"baud", "The projector's line speed, 9600 or 19200 (default 19200).",
                            "BAUD", "19200"};
    QCommandLineOption lampHours{"lamp-hours", "Lamp hours at start (default 1234).", "HOURS",
                                 "1234"};
    QCommandLineOption seed{"seed", "Seed of the random bytes (garbage, noise, split sizes).", "N",
                            "7300"};
    QCommandLineOption exitOnEof{"exit-on-eof", "End when standard input reaches end of file."};
    QCommandLineOption quiet{"quiet", "Do not log the traffic on standard error."};
    QCommandLineOption silent{"silent", "Start with fault silent on."};
    QCommandLineOption split{"split", "Start with fault split on."};
    QCommandLineOption splitGap{
        "split-gap", "Gap between the pieces of a split reply (default 40).", "MS", "40"};
    QCommandLineOption slow{"slow", "Start with fault slow MS.", "MS", "0"};
    QCommandLineOption garbage{"garbage", "Replace the first reply by random bytes."};
    QCommandLineOption noise{"noise", "Send random bytes at line rate for SECONDS from the start.",
                             "SECONDS", "0"};
    QCommandLineOption lampFailure{"lamp-failure", "Start with a failed lamp."};
    QCommandLineOption tempAbnormal{"temp-abnormal", "Start with an abnormal temperature."};
    QCommandLineOption powerAbnormal{"power-abnormal", "Start with a power abnormality."};
    QCommandLineOption help{{"h", "help"}, "Show this help."};
};

class Reader {
public:
    Reader(const QCommandLineParser& parser, QString* error) : parser_(parser), error_(error) {}

    double number(const QCommandLineOption& option, double low, double high) {
        bool ok = false;
        const QString text = parser_.value(option);
        const double value = text.toDouble(&ok);
        if (!ok || value < low || value > high)
            fail(option, text);
        return value;
    }
    int integer(const QCommandLineOption& option, int low, int high) {
        bool ok = false;
        const QString text = parser_.value(option);
        const int value = text.toInt(&ok);
        if (!ok || value < low || value > high)
            fail(option, text);
        return value;
    }

private:
    void fail(const QCommandLineOption& option, const QString& text) {
        if (error_->isEmpty())
            *error_ = QStringLiteral("invalid value \"%1\" for --%2")
                          .arg(text, option.names().constLast());
    }

    const QCommandLineParser& parser_;
    QString* error_;
};

SimConfig readConfig(const QCommandLineParser& parser, const OptionSet& o, QString* error) {
    Reader read(parser, error);
    SimConfig config;
    config.sim.address = QByteArray::number(read.integer(o.address, 1, 999)).rightJustified(3, '0');
    config.sim.timing.warmupSeconds = read.number(o.warmup, 0, 1e6);
    config.sim.timing.cooldownSeconds = read.number(o.cooldown, 0, 1e6);
    config.sim.timing.timeScale = read.number(o.timeScale, 1e-3, 1e7);
    config.sim.timing.lampHours = read.integer(o.lampHours, 0, 99999);
    config.sim.seed = quint32(read.number(o.seed, 0, 4294967295.0));
    config.sim.lineBaud = read.integer(o.baud, 9600, 19200);
    if (config.sim.lineBaud != 9600 && config.sim.lineBaud != 19200 && error->isEmpty())
        *error = QStringLiteral("--baud must be 9600 or 19200");
    if (parser.isSet(o.registerPort))
        config.registerPort = read.integer(o.registerPort, 1, 15);
    config.exitOnEof = parser.isSet(o.exitOnEof);
    config.quiet = parser.isSet(o.quiet);
    config.faults.silent = parser.isSet(o.silent);
    config.faults.split = parser.isSet(o.split);
    config.faults.splitGapMs = read.integer(o.splitGap, 0, 60000);
    config.faults.slowMs = read.integer(o.slow, 0, 600000);
    config.faults.garbageNext = parser.isSet(o.garbage);
    config.noiseSeconds = read.number(o.noise, 0, 1e6);
    config.health.lampFailure = parser.isSet(o.lampFailure);
    config.health.temperatureAbnormal = parser.isSet(o.tempAbnormal);
    config.health.powerAbnormal = parser.isSet(o.powerAbnormal);
    return config;
}

} // namespace

ParsedOptions parseOptions(const QStringList& arguments) {
    const OptionSet o;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated MX7300 projector on a pseudo-terminal. The first line on "
                       "standard output is the device to open."));
    parser.addOptions({o.address, o.registerPort, o.warmup,       o.cooldown,      o.timeScale,
                       o.baud,    o.lampHours,    o.seed,         o.exitOnEof,     o.quiet,
                       o.silent,  o.split,        o.splitGap,     o.slow,          o.garbage,
                       o.noise,   o.lampFailure,  o.tempAbnormal, o.powerAbnormal, o.help});

    ParsedOptions result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(o.help)) {
        result.help = true;
        result.message =
            parser.helpText() + '\n' + kUnknownCommandNote + '\n' + controlCommandHelp();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.message = QStringLiteral("unexpected argument \"%1\"")
                             .arg(parser.positionalArguments().constFirst());
        return result;
    }
    QString error;
    SimConfig config = readConfig(parser, o, &error);
    if (!error.isEmpty()) {
        result.message = error;
        return result;
    }
    result.config = config;
    return result;
}

void applyStartupFaults(Simulator& sim, const SimConfig& config) {
    sim.faults() = config.faults;
    sim.model().health() = config.health;
    if (config.noiseSeconds > 0)
        sim.startNoise(config.noiseSeconds);
}

} // namespace tavo::sim
