#pragma once

#include <QByteArray>
#include <QString>

// The projector's end of a pseudo-terminal pair, with its descriptor exposed so a benchmark can
// poll() it directly. The slave side is what the console opens; this object keeps it open too,
// so the console can close and reopen the device.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // The console's side, for measuring the pseudo-terminal itself.
    int slaveFd() const { return m_slave; }

    // Everything readable right now (never blocks).
    QByteArray readAvailable();
    // Reads until `terminator` has arrived; false after `timeoutMs` without it.
    bool readUntil(char terminator, int timeoutMs, QByteArray* out);
    bool write(const QByteArray& bytes);

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
