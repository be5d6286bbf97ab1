#pragma once

#include "PseudoTerminal.h"

#include "Form1Window.h"
#include "Globals.h"
#include "IniSettingsStore.h"
#include "PortMap.h"
#include "QtSerialPort.h"
#include "QtTimer.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>

// The real main window on the real serial adapter and timers, with port 1
// mapped to a pseudo-terminal through the settings file's [Ports] section.
struct PtyConsole {
    explicit PtyConsole(const QString& baud = QStringLiteral("96")) {
        const QString path = tavo::IniSettingsStore::defaultPath();
        QFile::remove(path);
        QDir().mkpath(QFileInfo(path).path());
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("StartUP/ComPort"), QStringLiteral("1"));
        ini.setValue(QStringLiteral("StartUP/BaudRate"), baud);
        ini.setValue(QStringLiteral("Ports/COM1"), pty.slavePath());
        ini.sync();
    }

    QLabel* label(const char* name) const {
        return form1.controls().widget<QLabel>(QLatin1String(name));
    }

    PseudoTerminal pty;
    tavo::Globals globals;
    tavo::IniSettingsStore store;
    tavo::QtSerialPort port{[this](int n) { return tavo::deviceForPort(n, store.path()); }};
    tavo::QtTimer timer1{200};
    tavo::QtTimer timer2{10000};
    tavo::QtTimer timer4{10500};
    tavo::Form1Window form1{tavo::Form1Parts{port, timer1, timer2, timer4, store, globals}};
};
