#pragma once

#include <QByteArray>
#include <QString>

// The projector's end of a pseudo-terminal pair, for tests and benchmarks.
// The slave side is what the console opens; this object keeps it open too, so
// the console can close and reopen the device. This side reads what the
// console sends and answers.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // Exposed so a benchmark can poll() the line directly.
    int masterFd() const { return m_master; }
    int slaveFd() const { return m_slave; }

    // Everything readable right now (never blocks).
    QByteArray readAvailable();
    // Reads until `terminator` has arrived; false after `timeoutMs` without it.
    bool readUntil(char terminator, int timeoutMs, QByteArray* out);
    bool write(const QByteArray& bytes);
    // Hangs up the line, as an unplugged adapter does.
    void closeMaster();
    // Lets the console be the only one holding the slave side.
    void closeSlave();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
