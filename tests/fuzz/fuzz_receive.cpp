// libFuzzer target over the receive path of the projector link.
//
// Input layout:
//   byte 0      set-up: command = b % 9 (kCommands), address option = (b / 9) % 6 + 1,
//               timer intervals = (b / 54) % 4 (kIntervals); then one panel send.
//   then ops, one byte each, some followed by data:
//   0x00..0x7F  a piece of that many bytes (0 = an OnComm with nothing waiting),
//               taken from what follows (fewer when the input ends)
//   0x80..0x9F  advance the clock by (op & 0x1F) * 50 ms, firing due timers
//   0xA0..0xBF  panel send of kCommands[(op & 0x1F) % 9]
//   0xC0..0xDF  click address option (op & 0x1F) % 6 + 1 (framing of the next send)
//   0xE0..0xEF  a line event other than "data received"
//   0xF0..0xFF  a large piece of 128 + (op & 0x0F) * 64 bytes
//
// Every step is checked against what the operator must see; a broken rule
// aborts with a message, which libFuzzer reports as a crash.

#include "LinkFixture.h"

#include "StatusReads.h"
#include "Transcript.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tavo;
using namespace tavo::test;

namespace {

const char* const kCommands[] = {"CR0", "CR1",        "CR3",         "CR4", "CR6",
                                 "CR7", "CR LAMPSTS", "CR LAMPMODE", "C00"};
constexpr int kCommandCount = 9;

// Timer2/Timer4 pairs the program uses: start-up, held arrow, after release, console open.
const int kIntervals[][2] = {{1000, 1200}, {150, 200}, {500, 1000}, {7000, 7500}};

const int kOtherEvents[] = {0,    1,    3,    4,    5,    6,    7,    1001,
                            1002, 1003, 1004, 1006, 1007, 1008, 1009, 1010};

const QLatin1String kHourUse(" Hour Use");
const QLatin1String kDegC(" deg C ");

[[noreturn]] void fail(const char* what, int line) {
    std::fprintf(stderr, "fuzz_receive.cpp:%d: rule broken: %s\n", line, what);
    std::abort();
}

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            fail(#cond, __LINE__);                                                                 \
    } while (0)

const QStringList& tableTexts() {
    static const QStringList texts = [] {
        QStringList all;
        const QLatin1Char lead(' ');
        for (int s = 0; s <= int(PowerState::LampFault); ++s)
            all << lead + wordsOf(PowerState(s));
        for (int input = 1; input <= inputCount(); ++input)
            all << lead + inputWords(input);
        for (int r = 0; r <= int(Reversal::Both); ++r)
            all << lead + wordsOf(Reversal(r));
        return all;
    }();
    return texts;
}

// A character a transcript can hold: printable ASCII up to "z" or a space.
bool transcriptChar(QChar c) {
    return c.unicode() >= 32 && c.unicode() <= 122;
}

bool allTranscriptChars(const QString& s) {
    for (const QChar c : s) {
        if (!transcriptChar(c))
            return false;
    }
    return true;
}

// The part of a lamp-hours result before " Hour Use": the transcript of six
// bytes without its last five characters (13..43 long), leading blanks and
// zeros turned into spaces.
bool lampHoursShape(const QString& s) {
    return s.size() >= 8 && s.size() <= 38 && s.at(0) == QLatin1Char(' ') && allTranscriptChars(s);
}

// Three fields of 10, 9 and 9 transcript characters, each followed by " deg C ".
bool temperatureShape(const QString& s) {
    if (s.size() != 10 + 9 + 9 + 3 * kDegC.size())
        return false;
    const QString a = s.mid(0, 10), b = s.mid(17, 9), c = s.mid(33, 9);
    return allTranscriptChars(a) && allTranscriptChars(b) && allTranscriptChars(c) &&
           s.mid(10, 7) == kDegC && s.mid(26, 7) == kDegC && s.mid(42, 7) == kDegC;
}

bool headShape(const QString& head) {
    return head.isEmpty() || tableTexts().contains(head) || temperatureShape(head);
}

// What the STATUS line may hold at any moment: empty, a table text or a
// temperature line, followed by any number of appended lamp-hours results.
bool statusWellFormed(const QString& status) {
    if (!status.endsWith(kHourUse))
        return headShape(status);
    QStringList parts = status.split(kHourUse);
    CHECK(parts.last().isEmpty());
    parts.removeLast();
    for (int i = 1; i < parts.size(); ++i) {
        if (!lampHoursShape(parts.at(i)))
            return false;
    }
    // The first part is a head followed by one lamp-hours result.
    const QString& first = parts.first();
    for (int cut = 0; cut <= first.size(); ++cut) {
        if (headShape(first.left(cut)) && lampHoursShape(first.mid(cut)))
            return true;
    }
    return false;
}

// The lamp-hours result of `transcript`: same length as the transcript
// without its last five characters; each character is the transcript's, or a
// space standing for a leading blank or zero.
bool isLampHoursOf(const QString& piece, const QString& transcript) {
    if (!piece.endsWith(kHourUse))
        return false;
    const QString digits = piece.left(piece.size() - kHourUse.size());
    if (digits.size() != transcript.size() - 5)
        return false;
    bool leading = true;
    for (int i = 0; i < digits.size(); ++i) {
        const QChar got = digits.at(i), from = transcript.at(i);
        if (got == from && !(leading && from == QLatin1Char('0'))) {
            if (from != QLatin1Char(' '))
                leading = false;
            continue;
        }
        if (!(leading && got == QLatin1Char(' ') && from == QLatin1Char('0')))
            return false;
    }
    return true;
}

bool isCommand(const QByteArray& current, const char* command) {
    return current == QByteArray(command) + '\r';
}

bool digitPairs(const QString& keyPart) {
    for (int i = 0; i < keyPart.size(); ++i) {
        const QChar c = keyPart.at(i);
        if (i % 2 == 0 ? c != QLatin1Char(' ') : !c.isDigit())
            return false;
    }
    return true;
}

class Rig {
public:
    Rig() {
        f.timer2.setOnTimer([this] { timeOut(); });
        f.timer4.setOnTimer([this] { clearDisplay(); });
        f.loadLinked();
        CHECK(f.port.portOpen());
    }

    void setUp(uint8_t b) {
        const int* pair = kIntervals[(b / 54) % 4];
        f.timer2.setInterval(pair[0]);
        f.timer4.setInterval(pair[1]);
        f.link.selectAddress((b / 9) % 6 + 1);
        send(b % kCommandCount);
    }

    void send(int command) {
        const QString status = line(Line::Label25);
        f.port.writes.clear();
        f.port.wire.clear();
        f.panelSend(kCommands[command]);
        m_delivered.clear();
        const QByteArray framed = f.link.state().AddressPrefix + kCommands[command] + '\r';
        CHECK(f.globals.CurrentCommand == framed);
        CHECK(f.port.writes.size() == 1 && f.port.writes.first() == framed);
        CHECK(f.link.state().ReceiveBuffer.isEmpty());
        CHECK(f.link.state().AwaitingReply == 1);
        CHECK(line(Line::Label12).isEmpty());
        CHECK(line(Line::Label11) == renderTranscript(framed));
        CHECK(f.view.legend(Legend::Label28));
        CHECK(line(Line::Label25) == status); // a send never touches the status
        CHECK(f.timer2.isEnabled() && f.timer4.isEnabled());
    }

    void arrive(const QByteArray& piece) {
        const QString before12 = line(Line::Label12);
        const QString before25 = line(Line::Label25);
        const int before = f.link.state().ReceiveBuffer.size();

        f.port.receive(piece);

        m_delivered +=
            piece.left(qMax(0, ProjectorLink::kReceiveBufferLimit - int(m_delivered.size())));
        const QByteArray& buffer = f.link.state().ReceiveBuffer;
        CHECK(f.link.state().AwaitingReply == 0);
        CHECK(buffer.size() <= ProjectorLink::kReceiveBufferLimit);
        CHECK(buffer == m_delivered);

        if (buffer.size() == before) {
            // Nothing appended (empty piece or a full buffer): nothing redrawn.
            CHECK(line(Line::Label12) == before12);
            CHECK(line(Line::Label25) == before25);
            return;
        }

        LegendsMet met;
        const QString transcript = renderTranscript(buffer, &met);
        CHECK(line(Line::Label12) == transcript);
        CHECK(f.link.lineText(Line::Label12) == transcript);
        CHECK(!met.ack || f.view.legend(Legend::Label19));
        CHECK(!met.space || f.view.legend(Legend::Label27));
        CHECK(!met.cr || f.view.legend(Legend::Label28));
        checkStatusAfterArrival(before25, transcript, buffer.size());
    }

    void advance(int ms) { f.clock.advance(ms); }

    void lineEvent(int code) {
        const QString lines[3] = {line(Line::Label11), line(Line::Label12), line(Line::Label25)};
        const QByteArray buffer = f.link.state().ReceiveBuffer;
        const quint8 awaiting = f.link.state().AwaitingReply;
        f.port.raiseEvent(code);
        CHECK(line(Line::Label11) == lines[0]);
        CHECK(line(Line::Label12) == lines[1]);
        CHECK(line(Line::Label25) == lines[2]);
        CHECK(f.link.state().ReceiveBuffer == buffer);
        CHECK(f.link.state().AwaitingReply == awaiting);
    }

    void selectAddress(int option) {
        f.link.selectAddress(option);
        CHECK(f.view.addressOption == option);
    }

    void checkAlways() {
        CHECK(f.link.state().ReceiveBuffer.size() <= ProjectorLink::kReceiveBufferLimit);
        CHECK(f.link.state().ReceiveBuffer == m_delivered);
        const QString status = line(Line::Label25);
        CHECK(f.link.lineText(Line::Label25) == status);
        if (status.isSharedWith(m_checkedStatus))
            return; // unchanged since it was last checked
        m_checkedStatus = status;
        if (!statusWellFormed(status)) {
            std::fprintf(stderr, "status line: \"%s\"\n", qPrintable(line(Line::Label25)));
            fail("status line holds a text no decoding can produce", __LINE__);
        }
    }

private:
    QString line(Line l) const { return f.view.line(l); }

    void checkStatusAfterArrival(const QString& before, const QString& transcript, int length) {
        const QString after = line(Line::Label25);
        const QByteArray& command = f.globals.CurrentCommand;

        // Lamp hours and temperatures decode whenever the length is right.
        if (isCommand(command, "CR3") && length == 6) {
            CHECK(after.startsWith(before));
            CHECK(isLampHoursOf(after.mid(before.size()), transcript));
            return;
        }
        if (isCommand(command, "CR6") && length == 18) {
            CHECK(after == transcript.mid(0, 10) + kDegC + transcript.mid(13, 9) + kDegC +
                               transcript.mid(25, 9) + kDegC);
            return;
        }
        if (after == before)
            return;
        // Any other change is a table lookup keyed on the leading digits of a
        // bare status read; an address in front, another command or the
        // catalogue's reads change nothing.
        CHECK(tableTexts().contains(after));
        if (isCommand(command, "CR1"))
            CHECK(digitPairs(transcript.left(2)));
        else if (isCommand(command, "CR0") || isCommand(command, "CR4"))
            CHECK(digitPairs(transcript.left(4)));
        else
            fail("status changed for a reply no table decodes", __LINE__);
    }

    void timeOut() {
        const bool awaited = f.link.state().AwaitingReply == 1;
        const QString before12 = line(Line::Label12);
        f.link.Timer2_Timer();
        m_delivered.clear();
        CHECK(f.link.state().ReceiveBuffer.isEmpty());
        CHECK(f.link.state().AwaitingReply == 0);
        CHECK(!f.timer2.isEnabled());
        CHECK(!f.view.legend(Legend::Label19) && !f.view.legend(Legend::Label27) &&
              !f.view.legend(Legend::Label28));
        CHECK(line(Line::Label12) == (awaited ? QStringLiteral(" X X X X ") : before12));
    }

    void clearDisplay() {
        f.link.Timer4_Timer();
        CHECK(line(Line::Label11).isEmpty() && line(Line::Label12).isEmpty() &&
              line(Line::Label25).isEmpty());
        CHECK(!f.timer4.isEnabled());
    }

    LinkFixture f;
    QByteArray m_delivered; // bytes delivered since the last send or time-out, capped
    QString m_checkedStatus;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    Rig rig;
    rig.setUp(data[0]);
    rig.checkAlways();

    size_t at = 1;
    while (at < size) {
        const uint8_t op = data[at++];
        if (op < 0x80 || op >= 0xF0) {
            const size_t want = op < 0x80 ? op : 128 + (op & 0x0F) * 64;
            const size_t take = want < size - at ? want : size - at;
            rig.arrive(QByteArray(reinterpret_cast<const char*>(data + at), int(take)));
            at += take;
        } else if (op < 0xA0) {
            rig.advance((op & 0x1F) * 50);
        } else if (op < 0xC0) {
            rig.send((op & 0x1F) % kCommandCount);
        } else if (op < 0xE0) {
            rig.selectAddress((op & 0x1F) % 6 + 1);
        } else {
            rig.lineEvent(kOtherEvents[op & 0x0F]);
        }
        rig.checkAlways();
    }
    return 0;
}
