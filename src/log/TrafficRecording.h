#pragma once

#include "ObservedSerialPort.h"
#include "TrafficLog.h"
#include "TrafficRecorder.h"

#include "link/QtTimer.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace tavo {

class ProjectorLink;
class TrafficFileWriter;
class TrafficLogWindow;

// The record of the line for one run: the port as the windows see it, the
// rows kept in memory from start-up, the daily file (unless [Log] Enabled is
// false in the settings file), and the Traffic Log window, built the first
// time it is shown.
class TrafficRecording : public QObject {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;

    TrafficRecording(SerialPort& port, const QString& settingsPath, DeviceResolver resolveDevice,
                     const QString& logFolder, QObject* parent = nullptr);
    ~TrafficRecording() override;

    // The port to hand to the windows instead of the real one.
    SerialPort& port() { return m_observed; }
    // The link whose time-outs, decodings and address go into the record.
    void attach(ProjectorLink& link);

    TrafficLog& log() { return m_log; }
    TrafficFileWriter* file() const { return m_file.get(); }
    QString logProblem() const { return m_logProblem; }
    int logProblemReports() const { return m_logProblemReports; }

    // "COM1 → /dev/ttyUSB0 · 9600 baud · open · address A001 · last error: …"
    QString statusText() const;
    // Something the rows do not show changed (the selected address).
    void statusChanged();

    void showWindow();
    TrafficLogWindow* window() const; // null until first shown
    // Ctrl+L on `window` shows the Traffic Log.
    void addShortcut(QWidget* window);

private:
    void record(const TrafficRow& row);
    void reportLogProblem(const QString& problem);

    SerialPort& m_port;
    ObservedSerialPort m_observed;
    DeviceResolver m_resolveDevice;
    QtTimer m_rowTimer{1000};
    TrafficLog m_log;
    std::unique_ptr<TrafficFileWriter> m_file;
    TrafficRecorder m_recorder;
    ProjectorLink* m_link = nullptr;
    QPointer<TrafficLogWindow> m_window;
    QString m_logProblem;
    int m_logProblemReports = 0;
};

} // namespace tavo
