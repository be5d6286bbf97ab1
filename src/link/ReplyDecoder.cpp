#include "ReplyDecoder.h"

#include "StatusReads.h"

namespace tavo {

DecodedReply decodeReply(const QByteArray& command, const QByteArray& reply,
                         const QString& statusCaption) {
    DecodedReply decoded;
    if (!command.endsWith('\r'))
        return decoded;
    const StatusRead* read = statusReadOf(command.chopped(1));
    if (!read)
        return decoded;
    read->decode(reply, decoded.readings);
    decoded.caption = read->caption(decoded.readings, reply, statusCaption);
    return decoded;
}

} // namespace tavo
