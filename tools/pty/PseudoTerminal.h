#pragma once

#include <QByteArray>
#include <QString>

// The projector's end of a pseudo-terminal pair, for the simulator, tests and benchmarks.
// The slave side is what the console opens; this object keeps it open too, so
// the console can close and reopen the device without hanging up this side, and
// so the speed the console sets on its end can be read back. This side reads
// what the console sends and answers; it never blocks.
class PseudoTerminal {
public:
    // Opens the pair in raw mode at the system's default speed.
    PseudoTerminal();
    // Opens the pair in raw mode with its speed preset to `initialBaud`.
    explicit PseudoTerminal(int initialBaud);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0; }
    // Why opening failed; empty when it did not.
    QString errorString() const { return m_error; }
    QString slavePath() const { return m_slavePath; }
    // Exposed so a benchmark can poll() the line directly.
    int masterFd() const { return m_master; }
    int slaveFd() const { return m_slave; }

    // The speed the console's end is set to; 0 when it cannot be read.
    int consoleBaud() const;

    // Everything readable right now (never blocks).
    QByteArray readAvailable();
    // Reads until `terminator` has arrived; false after `timeoutMs` without it.
    bool readUntil(char terminator, int timeoutMs, QByteArray* out);
    // Writes what the line takes now; false when it could not take everything.
    bool write(const QByteArray& bytes);
    // Hangs up the line, as an unplugged adapter does.
    void closeMaster();
    // Lets the console be the only one holding the slave side.
    void closeSlave();

private:
    bool open(int initialBaud);

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
};
