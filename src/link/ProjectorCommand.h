#pragma once

#include <QByteArray>

#include <optional>

namespace tavo {

// The projector's commands this system names, without the CR. The panel's other buttons and the
// console's lists hold the rest of the vocabulary.
namespace commands {
inline constexpr char kPowerOn[] = "C00";
inline constexpr char kPowerOff[] = "C01";
inline constexpr char kInput1[] = "C05";
inline constexpr char kInput2[] = "C06";
inline constexpr char kInput3[] = "C07";
inline constexpr char kInput4[] = "C08";
inline constexpr char kVideoMuteOn[] = "C0D";
inline constexpr char kVideoMuteOff[] = "C0E";
inline constexpr char kReadPower[] = "CR0";
inline constexpr char kReadInput[] = "CR1";
inline constexpr char kReadLampHours[] = "CR3";
inline constexpr char kReadReversal[] = "CR4";
inline constexpr char kReadTemperatures[] = "CR6";
inline constexpr char kReadLampMode[] = "CR7";
inline constexpr char kReadVideoMute[] = "CR VMUTE";
// The inputs a command can select, from 1.
inline constexpr int kSelectableInputs = 4;
} // namespace commands

// One command for a projector, and whether it changes what a poll reads (then the projector is
// read again at once after it).
struct ProjectorCommand {
    QByteArray text; // without the CR
    bool changesPolledState = false;

    static ProjectorCommand power(bool on);
    // Inputs 1 to kSelectableInputs; nothing for any other number.
    static std::optional<ProjectorCommand> input(int input);
    static ProjectorCommand videoMute(bool on);
    // Any command's text, as typed: a power or input command typed out changes the state too.
    static ProjectorCommand typed(const QByteArray& text);
};

} // namespace tavo
