#pragma once

#include <QString>

namespace tavo::sim {

// The console's settings file: $XDG_CONFIG_HOME/TAVO/TAVO.ini, ~/.config when unset.
QString consoleSettingsFile();

// Maps the console's port number N to the simulator's device with "COMN" under [Ports], and
// takes the entry out again. Beside it "COMN.sim-pid" names the simulator that wrote it, so a
// later run can tell a live registration from one left by a simulator that was killed. Only
// those two lines change; every other byte of the file stays as it was.
class PortRegistration {
public:
    enum class Outcome { Registered, HeldByAnother, Failed };

    explicit PortRegistration(QString settingsFile) : file_(std::move(settingsFile)) {}
    ~PortRegistration() { remove(); }
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    // Replaces an entry of a simulator that is gone; refuses one of a running simulator.
    Outcome add(int port, const QString& device, QString* error);
    // Removes the entry if it still names this simulator's device.
    void remove();

private:
    QString file_;
    QString key_; // "COMN"; empty while nothing is registered
    QString device_;
};

} // namespace tavo::sim
