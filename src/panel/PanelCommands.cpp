#include "PanelCommands.h"

#include "ProjectorCommand.h"

namespace tavo {
namespace {

constexpr OneShotCommand kOneShots[kOneShotCount] = {
    {"Command17", commands::kPowerOn},      // POWER On
    {"Command18", commands::kPowerOff},     // POWER Off (quick power off)
    {"Command27", commands::kInput1},       // INPUT 1
    {"Command28", commands::kInput2},       // INPUT 2
    {"Command53", commands::kInput3},       // INPUT 3
    {"Command41", commands::kInput4},       // INPUT 4
    {"Command31", "C0F"},                   // SCREEN Normal
    {"Command32", "C10"},                   // SCREEN Full
    {"Command21", commands::kVideoMuteOn},  // VIDEO MUTE On
    {"Command22", commands::kVideoMuteOff}, // VIDEO MUTE Off
    {"Command25", "C43"},                   // FREEZE On
    {"Command26", "C44"},                   // FREEZE Off
    {"Command34", "C8A"},                   // PRESENTATION Timer
    {"Command36", "C8B"},                   // PRESENTATION EXIT
    {"Command23", "C1C"},                   // MENU On
    {"Command24", "C1D"},                   // MENU Off
    {"Command6", "C3F"},                    // MENU Enter
    {"Command13", "C89"},                   // AUTO PC ADJ
    {"Command3", "C1E"},                    // DISPLAY CLEAR
    {"Command73", "C27"},                   // IMAGE
    {"Command60", "CF KEYDIS NONE"},
    {"Command61", "CF KEYDIS RC"},
    {"Command62", "CF KEYDIS KEY"},
    {"Command44", commands::kReadPower},        // STATUS
    {"Command45", commands::kReadInput},        // INPUT MODE
    {"Command46", commands::kReadLampHours},    // LAMP TIME
    {"Command47", commands::kReadReversal},     // SETTING
    {"Command54", commands::kReadTemperatures}, // TEMP
    {"Command76", commands::kReadLampMode},     // LAMP MODE
};

constexpr RepeatCommand kRepeats[kRepeatCount] = {
    {1, "C47", "Command30"},  // ZOOM +
    {2, "C46", "Command42"},  // ZOOM -
    {3, "C3C", "Command5"},   // pointer up
    {4, "C3D", "Command7"},   // pointer down
    {5, "C3B", "Command38"},  // pointer left
    {6, "C3A", "Command8"},   // pointer right
    {7, "C4B", "Command1"},   // focus +
    {8, "C4A", "Command2"},   // focus -
    {9, "C30", "Command48"},  // digital zoom +
    {10, "C31", "Command49"}, // digital zoom -
    {11, "C8E", "Command10"}, // keystone up
    {12, "C8F", "Command35"}, // keystone down
    {13, "C91", "Command4"},  // keystone left
    {14, "C90", "Command11"}, // keystone right
    {15, "C5D", "Command12"}, // lens shift up
    {16, "C5E", "Command20"}, // lens shift down
    {17, "C5F", "Command15"}, // lens shift left
    {18, "C60", "Command19"}, // lens shift right
};

} // namespace

const OneShotCommand* oneShotCommands() {
    return kOneShots;
}
const RepeatCommand* repeatCommands() {
    return kRepeats;
}

const OneShotCommand* findOneShot(const QString& control) {
    for (const OneShotCommand& row : kOneShots) {
        if (control == QLatin1String(row.control))
            return &row;
    }
    return nullptr;
}

const RepeatCommand* findRepeat(const QString& control) {
    for (const RepeatCommand& row : kRepeats) {
        if (control == QLatin1String(row.control))
            return &row;
    }
    return nullptr;
}

QByteArray repeatCommandText(quint8 code) {
    if (code < 1 || code > kRepeatCount)
        return {};
    return QByteArray(kRepeats[code - 1].command);
}

} // namespace tavo
