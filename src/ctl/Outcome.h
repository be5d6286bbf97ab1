#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::ctl {

// How one projector's command ended.
struct Outcome {
    enum class Status {
        Ok,      // a whole reply (ended by CR or ACK); for wait-ready: " Power ON"
        NoReply, // nothing, or no whole reply, within the time-out; wait-ready ran out
        Failed,  // the port could not be opened or was lost
    };
    Status status = Status::Failed;
    QByteArray sent;                // the framed command, CR included
    QString sentTranscript;         // as the console's TxD line shows it
    QByteArray reply;               // every byte received for it
    QString replyTranscript;        // as the console's RxD line shows it (" X X X X " for none)
    std::optional<QString> decoded; // the status line's words, trimmed
    QString error;                  // empty when ok
};

} // namespace tavo::ctl
