#pragma once

#include "Globals.h"
#include "LinkView.h"

#include <QByteArray>
#include <QString>

namespace tavo {

class SerialPort;
class SettingsStore;
class Timer;
class TrafficObserver;

// The main window's fields.
struct Form1State {
    quint8 RepeatCode = 0; // 0 = no repeat, 1..18 = the press-and-hold table
    quint8 AwaitingReply = 0;
    QByteArray ReceiveBuffer;
    qint16 HoldActive = 0;
    QByteArray AddressPrefix; // "", "AFFF", "A001".."A004"
};

// The reply time-out (Timer2) and display-clearing (Timer4) intervals, in ms,
// for each phase of the run.
enum class TimingMode {
    AfterLoad,   // 1000 / 1200: a linked start-up, and after the console closes
    DuringHold,  // 150 / 200: from a press-and-hold press to its release
    AfterHold,   // 500 / 1000: after a press-and-hold release
    ConsoleOpen, // 7000 / 7500: while the command console is open
};

// The projector link of the main window: start-up and shut-down of the port,
// the transmit routine and the reply display. Owns no widget, timer or port.
class ProjectorLink {
public:
    // The serial control's receive buffer; what arrives beyond it while no
    // send clears the buffer is dropped, so noise cannot grow memory or work.
    static constexpr int kReceiveBufferLimit = 1024;
    static constexpr int kCompactHeight = 5100;

    ProjectorLink(SerialPort& port, Timer& timer2, Timer& timer4, SettingsStore& store,
                  LinkView& view, Globals& globals);

    void Form_Load();
    // Writes Timer2's interval, then Timer4's.
    void setTimingMode(TimingMode mode);
    void Form_QueryUnload();

    // mode 1 sends `text` (framed in place); any other mode shows and decodes it.
    void Hyouji(QByteArray& text, const quint8& mode);
    // Sends a copy of `text` (command and CR), framed with the selected address.
    void send(const QByteArray& text);
    // A panel button's send: CurrentCommand becomes `command` and CR, and the send step frames
    // it in place, so afterwards it holds what went on the wire.
    void sendPanelCommand(const QByteArray& command);

    void MSComm1_OnComm();
    void Timer2_Timer();
    void Timer4_Timer();

    // Click on address option 1..6.
    void selectAddress(int option);

    // The main window's fields, for reading; only the link and the panel's
    // handlers change them.
    const Form1State& state() const { return m_state; }
    bool portOpen() const;

    // A send whose reply time-out and display clearing count a full interval
    // from this send: both timers are stopped first, since enabling a running
    // timer would keep its old countdown.
    void sendAfresh(const QByteArray& text);

    // Press-and-hold: a press while a hold is active changes nothing (false); otherwise the hold
    // of repeat code `code` begins.
    bool beginHold(quint8 code);
    quint8 repeatCode() const { return m_state.RepeatCode; }
    // The release: the repeat ends, the reply wait stops, the display clears a moment later and
    // the timers take their after-hold intervals.
    void endHold();
    // Ctrl+H: the compact height from the full one (7000 twips and over), else `fullHeight`.
    void toggleWindowHeight(int fullHeight);
    // "COM": the port is closed for the dialog, and the port and baud are kept for its Cancel.
    void releasePortForDialog();

    QString lineText(Line line) const;
    void setLine(Line line, QString text);
    // The operator has acted on a lost link ("COM"): the reply line may be
    // blanked again.
    void clearPortNotice();
    // Told of the reply time-out and of decoded replies; none by default.
    void setTrafficObserver(TrafficObserver* observer) { m_observer = observer; }

    static QString notSentNotice();
    static QString linkLostNotice();

private:
    void showLegends(bool ack, bool space, bool cr);
    void sendFramed(QByteArray& text);
    void showReceived(const QByteArray& received);
    void centreWindow();
    void showStartUpPortDialog();

    SerialPort& m_port;
    Timer& m_timer2;
    Timer& m_timer4;
    SettingsStore& m_store;
    LinkView& m_view;
    Globals& m_globals;
    Form1State m_state;
    QString m_lines[3];
    // Set when the link is lost, until a send goes through or the operator
    // presses "COM"; a blanked reply line shows it instead.
    QString m_portNotice;
    TrafficObserver* m_observer = nullptr;
};

} // namespace tavo
