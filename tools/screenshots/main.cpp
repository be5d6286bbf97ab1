// mx7300-screenshots OUTDIR: writes form1.png (the control panel at full height), form2.png (the
// port dialog) and form3.png (the command console) into OUTDIR. The windows are built as at a
// first start, over a serial port that goes nowhere and a throw-away settings file, and painted
// with QWidget::grab(), so only the client areas appear, whatever the window manager draws.
#include "Form1Window.h"
#include "Form3Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "PortDialog.h"
#include "QtTimer.h"
#include "SerialPort.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Accepts every setting and every open, sends nowhere, never receives.
class NullSerialPort : public tavo::SerialPort {
public:
    void setSettings(const QString& settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }
    bool setCommPort(int port) override {
        m_port = port;
        return port >= 1 && port <= 15;
    }
    int commPort() const override { return m_port; }
    bool setPortOpen(bool open) override {
        m_open = open;
        return true;
    }
    bool portOpen() const override { return m_open; }
    QString openError() const override { return {}; }
    QString deviceName() const override { return {}; }
    bool output(const QByteArray&) override { return m_open; }
    QByteArray input() override { return {}; }
    int commEvent() const override { return 0; }

private:
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_port = 1;
    bool m_open = false;
};

// Lets layout, fonts and the window manager settle before painting.
void settle() {
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* window, const QDir& dir, const char* file) {
    window->show();
    window->raise();
    settle();
    const QString path = dir.filePath(QLatin1String(file));
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "mx7300-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), window->width(), window->height());
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVO"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: mx7300-screenshots OUTDIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "mx7300-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    // The operator's own settings stay untouched.
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid())
        return 1;
    tavo::IniSettingsStore store(settingsDir.filePath(QStringLiteral("TAVO.ini")));
    tavo::Globals globals;
    NullSerialPort port;
    tavo::QtTimer timer1{200};
    tavo::QtTimer timer2{10000};
    tavo::QtTimer timer4{10500};

    // Without the load step the panel stays as designed: "SINGLE", empty lines, legends hidden.
    tavo::Form1Window form1(tavo::Form1Parts{port, timer1, timer2, timer4, store, globals});
    form1.show();
    form1.setWindowHeightTwips(8100);
    bool ok = save(&form1, dir, "form1.png");

    auto* form2 = new tavo::PortDialog(
        port, store, globals, [](int n) { return QStringLiteral("COM%1").arg(n); }, [] {});
    form2->setAttribute(Qt::WA_DeleteOnClose, false);
    ok = save(form2, dir, "form2.png") && ok;
    delete form2;

    auto* form3 = new tavo::Form3Window(form1.link(), [] {});
    form3->setAttribute(Qt::WA_DeleteOnClose, false);
    ok = save(form3, dir, "form3.png") && ok;
    delete form3;

    return ok ? 0 : 1;
}
