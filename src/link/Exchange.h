#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo {

// How one command to one projector ended, as the console's lines would show it.
struct Exchange {
    enum class Status {
        Ok,       // a whole reply (ended by CR or ACK)
        NoReply,  // nothing, or no whole reply, within the time-out
        Failed,   // refused, not sent, or the port did not open
        LinkLost, // the line went away while it was out
        Busy,     // refused at once: too many commands wait already; nothing was sent
    };
    Status status = Status::Failed;
    QByteArray sent;                // the framed command, CR included
    QString sentTranscript;         // as the TxD line shows it
    QByteArray reply;               // every byte received for it
    QString replyTranscript;        // as the RxD line shows it (" X X X X " for none)
    std::optional<QString> decoded; // the status line's words, trimmed
    QString error;                  // empty when ok
    qint64 elapsedMs = 0;           // from the write to the end
};

} // namespace tavo
