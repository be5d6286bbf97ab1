#pragma once

#include <QByteArray>
#include <QString>

// The projector's end of a pseudo-terminal pair. The slave side is what the
// console opens; this side reads what it sends and answers.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Everything readable right now (never blocks).
    QByteArray readAvailable();
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
