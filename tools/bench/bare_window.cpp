// mx7300-bare-window [--text]: an empty Qt 6 window, the floor the console's start-up and memory
// are compared with; with --text it shows one line of text, so the cost of the font set-up can be
// told apart. With TAVO_REPORT_FIRST_FRAME=1 it prints the console's "first-frame <ns>" line.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdio>

namespace {

class FirstFrameReporter : public QObject {
public:
    explicit FirstFrameReporter(QWidget& window) : m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QWindow* handle = m_window.windowHandle();
        if (event->type() != QEvent::Expose || watched != handle || !handle->isExposed())
            return false;
        qApp->removeEventFilter(this);
        QTimer::singleShot(0, this, [] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::fprintf(stderr, "first-frame %lld\n",
                         static_cast<long long>(std::chrono::nanoseconds(now).count()));
        });
        return false;
    }

private:
    QWidget& m_window;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(420, 340); // about the console's compact panel
    if (app.arguments().contains(QStringLiteral("--text")))
        new QLabel(QStringLiteral("TAVO  MX7300  CONTROL"), &window);
    FirstFrameReporter firstFrame(window);
    if (qEnvironmentVariableIntValue("TAVO_REPORT_FIRST_FRAME") == 1)
        app.installEventFilter(&firstFrame);
    window.show();
    return QApplication::exec();
}
