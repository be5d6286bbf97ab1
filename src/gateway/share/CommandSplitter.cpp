#include "CommandSplitter.h"

#include "CommandText.h"

namespace tavo::gateway::share {

QList<CommandSplitter::Piece> CommandSplitter::feed(const QByteArray& bytes) {
    QList<Piece> pieces;
    for (const char byte : bytes) {
        const bool lfOfCrLf = byte == '\n' && m_afterCr;
        m_afterCr = byte == '\r';
        if (lfOfCrLf)
            continue;
        if (byte != '\r') {
            // Kept up to one byte past the bound, so an overlong command is known as one.
            if (m_held.size() <= kMaxCommand)
                m_held.append(byte);
            else
                m_overlong = true;
            continue;
        }
        if (m_held.isEmpty())
            continue;
        Piece piece;
        if (m_overlong || m_held.size() > kMaxCommand) {
            piece.command = m_held.left(kMaxCommand);
            piece.refused = QStringLiteral("the command is longer than %1 bytes").arg(kMaxCommand);
        } else {
            piece.command = m_held;
            if (const auto control = findControlByte(m_held))
                piece.refused =
                    QStringLiteral("the command holds %1").arg(describeControlByte(*control));
        }
        pieces << piece;
        m_held.clear();
        m_overlong = false;
    }
    return pieces;
}

} // namespace tavo::gateway::share
