#include "Application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

// With TAVO_REPORT_FIRST_FRAME=1 the program prints "first-frame <steady clock ns>" on standard
// error once the main window has been painted for the first time, so start-up can be timed from
// outside, and "port-dialog-frame <ns>" when the port dialog is first painted instead (start-up
// without a usable port ends there), so tests know the program got that far. It stays out of the
// way otherwise.
class FirstFrameReporter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose)
            return false;
        const QString name = exposedWindowName(watched);
        if (name == QLatin1String("Form1")) {
            qApp->removeEventFilter(this);
            reportAfterPaint("first-frame");
        } else if (name == QLatin1String("Form2") && !m_dialogReported) {
            m_dialogReported = true;
            reportAfterPaint("port-dialog-frame");
        }
        return false;
    }

private:
    static QString exposedWindowName(QObject* watched) {
        const auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed())
            return {};
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() == window)
                return widget->objectName();
        }
        return {};
    }

    // The expose paints and flushes; report after that has run.
    void reportAfterPaint(const char* marker) {
        QTimer::singleShot(0, Qt::PreciseTimer, this, [marker] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::fprintf(stderr, "%s %lld\n", marker,
                         static_cast<long long>(std::chrono::nanoseconds(now).count()));
        });
    }

    bool m_dialogReported = false;
};

// --help and --version answer on standard output before anything touches the display, so they
// work on a terminal without one. Returns the exit code when the program should end here.
std::optional<int> answerInformationOptions(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control console for a TAVO MX7300 projector on an RS-232 line. It takes no "
                       "options of its own; the port and baud rate are chosen in its \"COM\" "
                       "dialog."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    // Qt's own options (-platform, -display, ...) are the application object's to take.
    parser.parse(arguments);
    if (parser.isSet(help)) {
        // Without an application object the parser cannot know the program's name.
        QString text = parser.helpText();
        text.replace(QLatin1String("<executable_name>"), QLatin1String("mx7300-control"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("mx7300-control %s\n", TAVO_VERSION);
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> done = answerInformationOptions(argc, argv))
        return *done;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVO"));
    QApplication::setApplicationDisplayName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("tavo-mx7300-control"));
    FirstFrameReporter firstFrame;
    if (qEnvironmentVariableIntValue("TAVO_REPORT_FIRST_FRAME") == 1)
        app.installEventFilter(&firstFrame);
    tavo::Application program;
    program.endOnSignalsAndDisplayLoss();
    return program.run();
}
