#pragma once

#include <QString>

namespace tavo::sim {

// The console's settings file: $XDG_CONFIG_HOME/TAVO/TAVO.ini, ~/.config when unset.
QString consoleSettingsFile();

// Maps the console's port number N to the simulator's device with "COMN" under [Ports], and
// takes the entry out again. No other key of the file is touched.
class PortRegistration {
public:
    explicit PortRegistration(QString settingsFile) : file_(std::move(settingsFile)) {}
    ~PortRegistration() { remove(); }
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    bool add(int port, const QString& device, QString* error);
    void remove();

private:
    QString file_;
    QString key_; // empty while nothing is registered
};

} // namespace tavo::sim
