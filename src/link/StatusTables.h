#pragma once

namespace tavo {

// The words for the replies to the panel's status reads that are looked up by
// key. A key is the start of the reply's transcript (" 0 0" for "00").
struct StatusWord {
    const char* key;
    const char* text;
};

struct StatusTable {
    const char* command; // the read, without the CR
    int keyLength;       // transcript characters compared with the keys
    const StatusWord* words;
    int wordCount;
};

inline constexpr StatusWord kPowerWords[] = {
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power abnormality"},
    {" 0 8", " Temperature abnormality"},
    {" 1 8", " Temperature abnormality"},
    {" 2 8", " Temperature abnormality"},
    {" 4 8", " Temperature abnormality"},
    {" 8 8", " Temperature abnormality"},
    {" 2 1", " Lamp Failure"},
    {" 8 1", " Lamp Failure"},
};

inline constexpr StatusWord kInputWords[] = {
    {" 1", " Input 1"}, {" 2", " Input 2"},         {" 3", " Input 3"},
    {" 4", " Wired"},   {" 5", " Wireless/Viewer"},
};

inline constexpr StatusWord kReversalWords[] = {
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
};

// The lamp-hours (CR3) and temperature (CR6) reads are decoded from the reply
// itself, not by table. The projector also answers the lamp status and lamp
// mode reads of the console's list (CR LAMPSTS, CR LAMPMODE); the console
// sends them without touching CurrentCommand, so, like every reply to a
// console command, they are shown in the transcript only.
inline constexpr StatusTable kStatusTables[] = {
    {"CR0", 4, kPowerWords, int(sizeof kPowerWords / sizeof *kPowerWords)},
    {"CR1", 2, kInputWords, int(sizeof kInputWords / sizeof *kInputWords)},
    {"CR4", 4, kReversalWords, int(sizeof kReversalWords / sizeof *kReversalWords)},
};

} // namespace tavo
