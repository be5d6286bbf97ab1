#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tavo::gateway::share {

// A share client's bytes as the commands they hold: each ends at CR and is taken whole, the
// client's own address prefix included. A command with a control byte or longer than
// kMaxCommand is refused whole (nothing of it goes on the line). An empty command and the LF of
// a CR LF line end are passed over, as a terminal sends them.
class CommandSplitter {
public:
    static constexpr int kMaxCommand = 128; // bytes before the CR, address prefix included

    struct Piece {
        QByteArray command; // without the CR; as much as was kept when refused
        QString refused;    // empty when it may go on the line
    };

    // The commands whose CR is in `bytes`, in order.
    QList<Piece> feed(const QByteArray& bytes);
    // Bytes of a command wait for its CR.
    bool midCommand() const { return !m_held.isEmpty() || m_overlong; }

private:
    QByteArray m_held;
    bool m_overlong = false;
    bool m_afterCr = false;
};

} // namespace tavo::gateway::share
