#pragma once

#include <QByteArray>
#include <QString>

namespace tavo::sim {

// The projector's end of the line: the master side of a pseudo-terminal pair. The slave side is
// kept open here as well, so the console opening and closing the device never hangs up the
// master, and so the speed the console sets on its end can be read back.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the pair in raw mode, its speed preset to initialBaud.
    bool open(int initialBaud, QString* error);

    int masterFd() const { return master_; }
    QString slavePath() const { return slavePath_; }

    // The speed the console's end is set to; 0 when it cannot be read.
    int consoleBaud() const;

    QByteArray readAvailable();
    // Writes without blocking; what the line cannot take now is dropped, as a full buffer would.
    void write(const QByteArray& bytes);

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace tavo::sim
