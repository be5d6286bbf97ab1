#include "Application.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdio>

namespace {

// With TAVO_REPORT_FIRST_FRAME=1 the program prints "first-frame <steady clock ns>" on standard
// error once the main window has been painted for the first time, so start-up can be timed from
// outside. It stays out of the way otherwise.
class FirstFrameReporter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose || !isMainWindow(watched))
            return false;
        qApp->removeEventFilter(this);
        // The expose paints and flushes; report after that has run.
        QTimer::singleShot(0, Qt::PreciseTimer, this, [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::fprintf(stderr, "first-frame %lld\n",
                         static_cast<long long>(std::chrono::nanoseconds(now).count()));
        });
        return false;
    }

private:
    static bool isMainWindow(QObject* watched) {
        const auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed())
            return false;
        for (const QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() == window)
                return widget->objectName() == QLatin1String("Form1");
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVO"));
    QApplication::setApplicationDisplayName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("tavo-mx7300-control"));
    FirstFrameReporter firstFrame;
    if (qEnvironmentVariableIntValue("TAVO_REPORT_FIRST_FRAME") == 1)
        app.installEventFilter(&firstFrame);
    tavo::Application program;
    return program.run();
}
