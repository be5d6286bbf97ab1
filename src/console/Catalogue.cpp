#include "console/Catalogue.h"

#include <QList>

namespace tavo::catalogue {
namespace {

// Gaps between "[CR]" and the separator, named by their runs: k2s2t is two spaces then two tabs.
constexpr char k1s[] = " ";
constexpr char k2s[] = "  ";
constexpr char k5s[] = "     ";
constexpr char k8s[] = "        ";
constexpr char k10s[] = "          ";
constexpr char k2t[] = "\t\t";
constexpr char k1s1t[] = " \t";
constexpr char k1s2t[] = " \t\t";
constexpr char k1s3t[] = " \t\t\t";
constexpr char k2s1t[] = "  \t";
constexpr char k2s2t[] = "  \t\t";

constexpr char kCarriageReturn[] = "[CR]";

QByteArray described(const char* gap, const char* description) {
    return QByteArray(gap) + ':' + description;
}

QList<QByteArray> splitArguments(const QByteArray& arguments) {
    QList<QByteArray> result;
    qsizetype start = 0;
    for (qsizetype comma; (comma = arguments.indexOf(", ", start)) >= 0; start = comma + 2)
        result.append(arguments.mid(start, comma - start));
    result.append(arguments.mid(start));
    return result;
}

QList<QByteArray> buildCombo1() {
    struct BasicCommand {
        const char* command;
        const char* description;
    };
    const BasicCommand commands[] = {
        {"C00", "POWER ON"},
        {"C01", "POWER OFF(Quick Power OFF)"},
        {"C05", "INPUT1"},
        {"C06", "INPUT2"},
        {"C07", "INPUT3"},
        {"C08", "INPUT4"},
        {"C0D", "VIDEO MUTE ON"},
        {"C0E", "VIDEO MUTE OFF"},
        {"C0F", "Screen Normal size"},
        {"C10", "Screen Full size"},
        {"C1C", "MENU ON"},
        {"C1D", "MENU OFF"},
        {"C1E", "DISPLAY CLEAR"},
        {"C27", "IMAGE"},
        {"C30", "D.Zoom +"},
        {"C31", "D.Zoom -"},
        {"C3A", "POINTER RIGHT"},
        {"C3B", "POINTER LEFT"},
        {"C3C", "POINTER UP"},
        {"C3D", "POINTER DOWN"},
        {"C3F", "ENTER"},
        {"C43", "FREEZE ON"},
        {"C44", "FREEZE OFF"},
        {"C46", "ZOOM -"},
        {"C47", "ZOOM +"},
        {"C4A", "FOCUS -"},
        {"C4B", "FOCUS +"},
        {"C5D", "Lens Shift Up"},
        {"C5E", "Lens Shift Down"},
        {"C5F", "Lens Shift Left"},
        {"C60", "Lens Shift Right"},
        {"C89", "Auto PC ADJ."},
        {"C8A", "PRESENTATION TIMER"},
        {"C8B", "PRESENTATION TIMER (Exit)"},
        {"C8E", "KEYSTONE UP"},
        {"C8F", "KEYSTONE DOWN"},
        {"C90", "KEYSTONE Right"},
        {"C91", "KEYSTONE Left"},
        {"CR0", "Status Read"},
        {"CR1", "Input Mode Read"},
        {"CR3", "Lamp Time Read"},
        {"CR4", "Setting Read"},
        {"CR6", "Temp Read"},
        {"CR7", "Lamp Mode Read"},
    };
    QList<QByteArray> entries;
    for (const BasicCommand& c : commands)
        entries.append(QByteArray(c.command) + kCarriageReturn + described(k5s, c.description));
    return entries;
}

// Set commands: "CF " + stem + " " + argument.
struct MemberTail {
    QByteArray argument;
    QByteArray tail;
};

struct SetFamily {
    const char* stem;
    QByteArray arguments;          // ", "-separated, in list order
    QByteArray firstTail;          // follows "[CR]" on the first member
    QList<MemberTail> memberTails; // tails that other members carry
};

constexpr char kInputSources[] =
    "DIGITAL, ANALOG, VIDEO, S-VIDEO, YPBPR, YCBCR, SDI1, SDI2, SCART, HDCP, HDMI, LINKA-YCBCR, "
    "LINKB-YCBCR, DUAL-YCBCR1, DUAL-YCBCR2, DUAL-YCBCR3, DUAL-YCBCR4, DUAL-RGB1, DUAL-RGB2";

// The picture-in-picture order puts SCART before SDI1.
constexpr char kPipSources[] =
    "DIGITAL, ANALOG, VIDEO, S-VIDEO, YPBPR, YCBCR, SCART, SDI1, SDI2, HDCP, HDMI, LINKA-YCBCR, "
    "LINKB-YCBCR, DUAL-YCBCR1, DUAL-YCBCR2, DUAL-YCBCR3, DUAL-YCBCR4, DUAL-RGB1, DUAL-RGB2";

// Inputs 1 to 4, each followed by every picture-in-picture source.
QByteArray pipInputSources(bool hdmiOnInput3) {
    QList<QByteArray> arguments;
    for (char input = '1'; input <= '4'; ++input) {
        for (const QByteArray& source : splitArguments(kPipSources)) {
            if (input == '3' && source == "HDMI" && !hdmiOnInput3)
                continue;
            arguments.append(input + (' ' + source));
        }
    }
    return arguments.join(", ");
}

QByteArray memberTail(const SetFamily& family, const QByteArray& argument) {
    for (const MemberTail& member : family.memberTails) {
        if (member.argument == argument)
            return member.tail;
    }
    return {};
}

// A few entries break their family's pattern, and the list shows them as the projector's command
// list prints them, so an operator comparing the two finds the same text: a lone space (ORGMODE
// 480I, SHUTEFFECT L1/L2), a gap without separator (SYSTEM D-VGA1, PIPRST), CR LF (PIPFRAMELOCK
// SUB) and ';' for ':' (RSENS).
QList<QByteArray> buildCombo2() {
    const QByteArray valueTail = described(k2s2t, "% = 0-9");
    const SetFamily families[] = {
        {"CONT", "UP, DN, 0%%", described(k2s2t, "Set Contrast value"), {{"0%%", valueTail}}},
        {"BRIGHT", "UP, DN, 0%%", described(k2s2t, "Set Brightness value"), {{"0%%", valueTail}}},
        {"COLOR", "UP, DN, 0%%", described(k2s2t, "Set Color value"), {{"0%%", valueTail}}},
        {"TINT", "UP, DN, 0%%", described(k2s2t, "Set Tint value"), {{"0%%", valueTail}}},
        {"COLMNSAV",
         "00%",
         described(k1s2t, "Set area to store current values of Color Management"),
         {}},
        {"COLMNLD", "00%", described(k1s2t, "Set area to load values of Color Management"), {}},
        {"APCTRL",
         "L1, L2, OFF, UP, DN",
         described(k1s2t, "Set level of Auto Picture Control"),
         {}},
        {"COLTEMP", "000, 001, 002, 003", described(k2s2t, "Set Color Temp. value"), {}},
        {"WBAL-R",
         "UP, DN, 0%%",
         described(k2s2t, "Set White Balance Red value"),
         {{"0%%", valueTail}}},
        {"WBAL-G",
         "UP, DN, 0%%",
         described(k2s2t, "Set White Balance Green value"),
         {{"0%%", valueTail}}},
        {"WBAL-B",
         "UP, DN, 0%%",
         described(k2s2t, "Set White Balance Blue value"),
         {{"0%%", valueTail}}},
        {"OFFSET-R",
         "UP, DN, 0%%",
         described(k2s2t, "Set Red value of Offset"),
         {{"0%%", valueTail}}},
        {"OFFSET-G",
         "UP, DN, 0%%",
         described(k2s2t, "Set Green value of Offset"),
         {{"0%%", valueTail}}},
        {"OFFSET-B",
         "UP, DN, 0%%",
         described(k2s2t, "Set Blue value of Offset"),
         {{"0%%", valueTail}}},
        {"SHARP", "UP, DN, 0%%", described(k2s2t, "Set Sharpness value"), {{"0%%", valueTail}}},
        {"GAMMA", "UP, DN, 0%%", described(k2s2t, "Set Gamma value"), {{"0%%", valueTail}}},
        {"NZRED", "ON, OFF", described(k2s2t, "Set/Cancel Noise reduction"), {}},
        {"PROGV", "ON, FILM, OFF", described(k2s2t, "Set/Cancel Progressive Scan"), {}},
        {"IMAGE",
         "STAND, REAL, CINEMA, DYNAMIC, CUSTOM1, CUSTOM2, CUSTOM3, CUSTOM4, CUSTOM5, CUSTOM6, "
         "CUSTOM7, CUSTOM8, CUSTOM9, CUSTOM10",
         described(k2s2t, "Set Image mode"),
         {}},
        {"IMAGEADJ",
         "RST, STR1, STR2, STR3, STR4, STR5, STR6, STR7, STR8, STR9, STR10",
         described(k2s2t, "Reset/Store for image adjustment"),
         {}},
        {"ADVCOL", "AUTO, OFF, UP, DN", described(k1s2t, "Set mode of Advanced color setting"), {}},
        {"FSYNC", "UP, DN, 00%%", described(k2s2t, "Set Fine Sync value"), {{"00%%", valueTail}}},
        {"TDOTS", "UP, DN, %%%%", described(k2s2t, "Set Total Dots value"), {{"%%%%", valueTail}}},
        {"CLAMP", "UP, DN, %%%%", described(k2s2t, "Set Clamp Value"), {{"%%%%", valueTail}}},
        {"H-POS",
         "UP, DN, %%%%",
         described(k2s2t, "Set Horizonetal Position value"),
         {{"%%%%", valueTail}}},
        {"V-POS",
         "UP, DN, %%%%",
         described(k2s2t, "Set Vertical Position value"),
         {{"%%%%", valueTail}}},
        {"DDOTS",
         "UP, DN, %%%%",
         described(k2s2t, "Set Display Dots value"),
         {{"%%%%", valueTail}}},
        {"DLINE",
         "UP, DN, %%%%",
         described(k2s2t, "Set Display Line value"),
         {{"%%%%", valueTail}}},
        {"ORGMODE",
         "VGA1, XGA1, WXGA3, 1080I60, 1080I50, 1035I, 720P60, 720P50, 575P, 480P, 575I, 480I, "
         "1080PSF/24, 1080PSF/25, 1080PSF/30, 1080P24, 1080P25, 1080P30, 1080P50, 1080P60",
         described(k2s2t, "Select System"),
         {{"480I", k1s}}},
        {"PCSTORE",
         "MODE1, MODE2, MODE3, MODE4, MODE5, MODE6, MODE7, MODE8, MODE9, MODE10",
         described(k2s2t, "Store current values of PC Adjust at Mode 1-5"),
         {}},
        {"PCMODEFREE",
         "MODE1, MODE2, MODE3, MODE4, MODE5, MODE6, MODE7, MODE8, MODE9, MODE10",
         described(k2s1t, "Relese registered values of Mode 1-5"),
         {}},
        {"INPUT", "1, 2, 3, 4, UP, DN", described(k2s2t, "Select Input"), {}},
        {"SOURCE", kInputSources, described(k2s1t, "Select Input Source"), {}},
        {"INPUT1",
         kInputSources,
         described(k2s1t, "Select Input11 and also set input source to %1"),
         {}},
        {"INPUT2", kInputSources, {}, {}},
        {"INPUT3", kInputSources, {}, {}},
        {"INPUT4", kInputSources, {}, {}},
        {"SYSTEM",
         "VGA1, XGA1, WXGA3, D-XGA, D-WXGA3, AUTO, NTSC, NTSC443, PAL, SECAM, PAL-M, PAL-N, 1080I, "
         "1035I, 720P, 575P, 480P, 575I, 480I, 1080PSF/24, 1080PSF/25, 1080PSF/30, D-VGA1, "
         "D-WXGA3, D-1080P, D-1080I, D-1035I, D-720P, D-575P, D-480P, D-1080PSF/24, D-1080PSF/25, "
         "D-1080PSF/30, D-720I, D-575I",
         described(k2s2t, "Select System"),
         {{"D-VGA1", k2s2t}}},
        {"SCREEN",
         "NORMAL, FULL, WIDE, ZOOM, TRUE, NATURAL, CUSTOM, DZOOM UP, DZOOM DN, UP, DN, RST",
         described(k2s2t, "Select Screen size"),
         {}},
        {"DZCENT", "CENT", described(k2s2t, "Cancel Digital Zoom mode"), {}},
        {"KEYSTONE",
         "UP, FUP, DN, FDN, LEFT, FLFT, RIGHT, FRGT, RST",
         described(k2s2t, "Set Keystone"),
         {}},
        {"KYSTNMODE", "STR, RST", described(k2s2t, "Set Keystone Store mode"), {}},
        {"CORNER-UL", "UP, DN, LEFT, RIGHT", described(k2s2t, "Set Corner Keystone"), {}},
        {"CORNER-UR", "UP, DN, LEFT, RIGHT", {}, {}},
        {"CORNER-DL", "UP, DN, LEFT, RIGHT", {}, {}},
        {"CORNER-DR", "UP, DN, LEFT, RIGHT", {}, {}},
        {"CORNERTESTPAT",
         "RED, WHITE, BLUE, OFF",
         described(k2s1t, "Set Corner Keystone Pattern Color"),
         {}},
        {"CEIL", "ON, OFF", described(k2s2t, "Set Celling function"), {}},
        {"REAR", "ON, OFF", described(k2s2t, "Set Rear function"), {}},
        {"VSCALE",
         "UP, DN, %%%",
         described(k2s2t, "Set value of Vertical scale"),
         {{"%%%", valueTail}}},
        {"VPOS",
         "UP, DN, %%%",
         described(k2s2t, "Set value of Vertical position"),
         {{"%%%", valueTail}}},
        {"HSCALE",
         "UP, DN, %%%",
         described(k2s2t, "Set value of Horizontal scale"),
         {{"%%%", valueTail}}},
        {"HPOS",
         "UP, DN, %%%",
         described(k2s2t, "Set value of Horizontal position"),
         {{"%%%", valueTail}}},
        {"SCREENASPECT",
         "FULL, 43MODE, 169MODE, 1610MODE",
         described(k8s, "Set Screen Aspect Function"),
         {}},
        {"LAMPMODE",
         "2LAMP, 1LAMPAUTO, 1LAMP1, 1LAMP2, CONSTANT",
         described(k2t, "Select Lamp mode"),
         {}},
        {"LAMPCONSTTAR", "%%%%", described(k8s, "% = 0-9"), {}},
        {"AUTOLAMPCONTRL",
         "NORMAL, ECO1, ECO2, AUTO",
         described(k1s1t, "Switch dimmer function levels of Normal/Auto/Eco1/Eco2"),
         {}},
        {"LAMPLIFECONTRL", "MODE1, MODE2", described(k5s, "Set Lamp Life Mode"), {}},
        {"LAMPINTERVAL",
         "0024, 0200, 0500, 1000, 2000, OFF",
         described(k8s, "Set Lamp Interval Mode"),
         {}},
        {"LANG",
         "ENG, DEU, FRA, ITA, ESP, POR, NED, SVE, JPN, CHI, KOR, RUS",
         described(k2s2t, "Select English        Select language for OSD"),
         {{"DEU", described(k2s2t, "Select Geman")},
          {"FRA", described(k2s2t, "Select French")},
          {"ITA", described(k2s2t, "Select Italian")},
          {"ESP", described(k2s2t, "Select Spanish")},
          {"POR", described(k2s2t, "Select Portuguese")},
          {"NED", described(k2s2t, "Select Dutch")},
          {"SVE", described(k2s2t, "Select Swedish")},
          {"JPN", described(k2s2t, "Select Japanese")},
          {"CHI", described(k2s2t, "Select Chinese")},
          {"KOR", described(k2s2t, "Select Korean")},
          {"RUS", described(k2s2t, "Select Russian")}}},
        {"MENUPOSITION", "UP, DN, LEFT, RIGHT", described(k10s, "Set Menu Position"), {}},
        {"MENUSIZE", "NORMAL, DOUBLE", described(k10s, "Set Menu Size"), {}},
        {"DISP", "ON, CNTDWNOFF, OFF, UP, DN", described(k2s2t, "Set Display function"), {}},
        {"BACKGND",
         "BLUE, USER, BLACK, UP, DN",
         described(k2s2t, "Set Screen mode for the case of no signal"),
         {}},
        {"PIP",
         "OFF, USER1, USER2, USER3, USER4, USER5",
         described(k1s3t, "Set \" Picture in Picture\""),
         {}},
        {"PIPMODE", "PINP, PBYP", described(k1s2t, "Select mode of \"Picture in Picture\""), {}},
        {"PIPMAININP",
         pipInputSources(true),
         described(k1s1t, "Select Input and Source for \" Picture in Picture\"(Main Picture)"),
         {}},
        {"PIPSUBINP",
         pipInputSources(false),
         described(k1s1t, "Select Input and Source for \" Picture in Picture\"(Sub Picture)"),
         {}},
        {"PIPSIZE", "% %", described(k1s2t, "Set Sub picture size in Picture in Picture"), {}},
        {"PIPSIZEMAIN", "UP, DN", described(k1s2t, ""), {}},
        {"PIPSIZESUB", "UP, DN", described(k1s2t, ""), {}},
        {"PIPPOSITION",
         "POS1, POS2, POS3, POS4, POS5, POS6, POS7, POS8",
         described(k1s1t, "Set Sub picture position in Picture in Picture"),
         {}},
        {"PIPFRAMELOCK",
         "MAIN, SUB",
         described(k1s1t, "Set Frame lock in \"Picture in Picture\""),
         {{"SUB", "\r\n"}}},
        {"PIPSTORE",
         "USER1, USER2, USER3, USER4, USER5",
         described(k1s2t, "Store current status in \"Picture in Picture\" to User1-5"),
         {}},
        {"PIPMODEFREE",
         "USER1, USER2, USER3, USER4, USER5",
         described(k1s1t, "Clear registration value in User %1 and return to state of Free "),
         {}},
        {"PIPRST", "RST", k1s1t, {}},
        {"EDGEBLENDING", "ON, OFF", described(k1s2t, "Set Edge blending"), {}},
        {"BLEND",
         "LEFT 0%%%, RIGHT 0%%%, TOP 0%%%, BOTTOM 0%%%",
         described(k1s2t, "Set width of Edge blending"),
         {}},
        {"BLENDSTART", "LEFT 0%%%, RIGHT 0%%%, TOP 0%%%, BOTTOM 0%%%", described(k1s2t, ""), {}},
        {"BLENDBLK",
         "R %%%%, G %%%%, B %%%%",
         described(k1s2t, "Set Black level(R/G/B) of Edge blending"),
         {}},
        {"BLENDBLKALL", "UP, DN", described(k1s2t, "Set Black level(ALL) of Edge blending"), {}},
        {"BLENDTESTPAT", "ON, OFF", described(k1s2t, "Set Test pattern of Edge blending"), {}},
        {"BLENDRST", "RST", described(k1s2t, "Reset Edge blending"), {}},
        {"BLENDMENUOFF", "SET, RST", described(k1s1t, "Set Menu off of Edge blending"), {}},
        {"BLENDMENU",
         "ON, OFF",
         described(k1s2t, "Select display or erase Edge blending menu"),
         {}},
        {"COLORMATCHING", "ON, OFF", described(k1s1t, "Set Color matching"), {}},
        {"CMMSXY",
         "RED %%%% %%%%, GREEN %%%% %%%%, BLUE %%%% %%%%",
         described(k1s1t, "Set \"x\",\"y\" value of Measured of Color matching"),
         {}},
        {"CMMSL",
         "RED %%%%, GREEN %%%%, BLUE %%%%",
         described(k1s2t, "Set \"L\" value of Measured of Color matching"),
         {}},
        {"CMMGXY",
         "RED %%%% %%%%, GREEN %%%% %%%%, BLUE %%%% %%%%, WHITE %%%% %%%%, CYAN %%%% %%%%, MAGENTA "
         "%%%% %%%%, YELLOW %%%% %%%%",
         described(k1s1t, "Set \"x\",\"y\" value of Target of Color matching"),
         {}},
        {"CMMGG",
         "RED %%%%, GREEN %%%%, BLUE %%%%, WHITE %%%%, CYAN %%%%, MAGENTA %%%%, YELLOW %%%%",
         described(k1s2t, "Set \"g\" value of Target of Color matching"),
         {}},
        {"CMAUTOTESTPAT",
         "ON, OFF",
         described(k1s1t, "Set Auto test pattern of Color matching"),
         {}},
        {"CMRST", "CMRST, ADCRST", described(k1s2t, "Reset Color matching"), {}},
        {"CMSTORE", "CMRST, ADCRST", described(k1s2t, "Store Color matching"), {}},
        {"CMMSTESTPAT",
         "RED, GREEN, BLUE, OFF",
         described(k1s2t, "Disply Measured Test pattern of Color matching"),
         {}},
        {"CMTGTESTPAT",
         "RED, GREEN, BLUE, WHITE, CYAN, MAGENTA, YELLOW, OFF",
         described(k1s2t, "Disply Target Test pattern of Color matching"),
         {}},
        {"CMDEFAULT",
         "RST",
         described(k1s2t, "Return color matching setting to Factory Default setting"),
         {}},
        {"CMMENUOFF", "SET, RST", described(k1s2t, "Set Menu off of Color matching"), {}},
        {"CMMENU", "ON, OFF", described(k1s2t, "Select display or erase Color matching"), {}},
        {"HDMISETUP", "NORMAL, ENHANCED", described(k1s1t, "Set HDMI setup"), {}},
        {"LOGO",
         "%%%% OFF, %%%% DFLT, %%%% USER, %%%% UP, %%%% DN",
         described(k2s2t, "Set Logo function"),
         {}},
        {"FANSPEED", "MAX, NOR", described(k2s2t, "Select level of Fan Speed"), {}},
        {"RCODE",
         "001, 002, 003, 004, 005, 006, 007, 008, UP, DN",
         described(k2s2t, "Select Remote Control Receptin Code"),
         {}},
        {"RSENS",
         "BOTH, FRONT, BACK, UP, DN",
         QByteArray(k1s2t) + ";Select location of infrared remote receiver of remote control",
         {}},
        {"P-MANE",
         "OFF, READY, SHUTDOWN, UP, DN",
         described(k2s2t, "Set Power management function"),
         {}},
        {"P-MANETIME", "UP, DN, %%", described(k2s2t, "Set Power management time"), {}},
        {"ON-STA", "ON, OFF, UP, DN", described(k2s2t, "Set Power ON Start function"), {}},
        {"PJPINCODE", "%%%%", described(k2s2t, "input PIN code release PJ Locj"), {}},
        {"FILH", "RST", described(k2s2t, "Reset Filter used time"), {}},
        {"FILTIMER",
         "00400, 00700, 01000, OFF",
         described(k2s2t, "Set time when Filter warning OSD is displayed"),
         {}},
        {"FILCTL", "ROLL", described(k1s2t, "Execute operation of scroll of filter"), {}},
        {"FILSCRL", "RST", described(k1s2t, "Reset Filter scroll counter"), {}},
        {"TESTPAT",
         "COLOR, GRAD1, GRAD2, GRAD3, GRAD4, WHITE, BLACK, CROSS, OFF, UP, DN",
         described(k2s2t, "Set Test pattern display function"),
         {}},
        {"PTIMEMODE",
         "COUNTUP, COUNTDN",
         described(k1s1t, "Set count up/count down P-timer function"),
         {}},
        {"PTIMER",
         "START, STOP, RESTART, RST, EXIT",
         described(k1s2t, "Set the status of P-timer"),
         {}},
        {"PTIME",
         "%%%",
         described(k1s2t, "Set the time for count down mode in P-timer function"),
         {}},
        {"KEYDIS", "NONE, RC, KEY", described(k2s2t, "Disable RC/Projector keys"), {}},
        {"FDEFAULT", "RST", described(k2s2t, "Set the value to Factory Default "), {}},
        {"SHUTRCPROT",
         "ON, OFF",
         described(k2s2t, "Set valid / invalid of RC use on Shutter control function"),
         {}},
        {"SHUTKEYPROT",
         "ON, OFF",
         described(k2s2t,
                   "Set valid / invalid use of key on the top panel on Shutter control function"),
         {}},
        {"SHUTH",
         "UP, DN, %%%",
         described(k2s2t, "Set time of operating shutter management function"),
         {}},
        {"SHUTEFFECT",
         "OFF, L1, L2",
         described(k1s2t, "Set effect when opning/closing shutter"),
         {{"L1", k1s}, {"L2", k1s}}},
        {"SHUTRELEASE", "ANY, SHUTTER", described(k1s2t, "Set release key of shutter"), {}},
        {"DELAYCTRL",
         "MID, LOW, HIGH, OFF",
         described(k2s2t, "Set Video delay control function"),
         {}},
        {"CCAPTIONDISP",
         "OFF, CC1, CC2, CC3, CC4",
         described(k2s1t, "Set channel of Closed caption"),
         {}},
        {"CCAPTIONCOLOR", "COLOR, WHITE", described(k2s1t, "Set color of Closed caption"), {}},
        {"KEYEMU",
         "RIGHT, LEFT, UP, DN, SELECT, AUTOPC, LENSSHIFT",
         described(k2s1t, "Behave the same as corresponding key of projector top panel"),
         {}},
        {"MENU", "ON, OFF", described(k2s1t, "Switch ON/OFF of each Menu."), {}},
        {"POWER", "ON, OFF", described(k2s1t, "Switch ON/OFF of Power."), {}},
        {"FREEZE", "ON, OFF, UP, DN", described(k2s1t, "Set Freezefunction."), {}},
        {"VMUTE", "ON, OFF", described(k2s1t, "Set No show function."), {}},
    };
    QList<QByteArray> entries;
    for (const SetFamily& family : families) {
        const QList<QByteArray> arguments = splitArguments(family.arguments);
        for (int i = 0; i < arguments.size(); ++i) {
            const QByteArray tail = i == 0 ? family.firstTail : memberTail(family, arguments[i]);
            entries.append(QByteArray("CF ") + family.stem + ' ' + arguments[i] + kCarriageReturn +
                           tail);
        }
    }
    return entries;
}

// Read commands: "CR " + name. The descriptions line up: a one-space-one-tab gap after names of
// up to 7 characters, one space after longer ones, with two names set by hand.
QByteArray readGap(const QByteArray& name) {
    if (name == "FILCOND")
        return k1s;
    if (name == "TESTPAT")
        return k2s;
    return name.size() <= 7 ? k1s1t : k1s;
}

struct ReadFamily {
    ReadFamily(const char* stem, const char* description, const char* members = "")
        : stem(stem), description(description), members(members) {}

    const char* stem;
    const char* description; // of the first member
    QByteArray members;      // ", "-separated words after the stem; empty for a single command
};

QList<QByteArray> buildCombo3() {
    const ReadFamily families[] = {
        {"CONT", "Get Contrast value"},
        {"BRIGHT", "Get Brightness value"},
        {"COLOR", "Get Color value"},
        {"TINT", "Get Tint valu"},
        {"APCTRL", "Get setting atatus of Auto Picture Control"},
        {"COLTEMP", "Get setting Color of temperatue"},
        {"WBAL-R", "Get White Balance Red value"},
        {"WBAL-G", "Get White Balance Green value"},
        {"WBAL-B", "Get White Balance Blue value"},
        {"OFFSET-R", "Get White Balance Red value"},
        {"OFFSET-G", "Get White Balance Green value"},
        {"OFFSET-B", "Get White Balance Blue value"},
        {"SHARP", "Get Sharpness value"},
        {"GAMMA", "Get Gamma value"},
        {"NZRED", "Get setting status of Noise reduction"},
        {"PROGV", "Get setting status of Progressive scan"},
        {"IMAGE", "Get Selected image status"},
        {"IMGGMD", "Get setting value of image Gamma"},
        {"ADVCOL", "Get setting status of Advanced color"},
        {"FSYNC", "Get setting value of Fine Sync"},
        {"TDOTS", "Get setting value of Total Dots"},
        {"CLAMP", "Get setting value of Clamp"},
        {"H-POS", "Get setting value of Horizontal Position"},
        {"V-POS", "Get setting value of Vertical Position"},
        {"DDOTS", "Get setting value of Display Dots"},
        {"DLINE", "Get setting value of Display Line"},
        {"ORGMODE", "Get the original signal for PC-Adjusted mode"},
        {"PCSTORE", "Get Free or Stored status for PC Adj.mode1-5"},
        {"SERSYS",
         "Get selected current signal. When in Auto mode, it returns a result by Auto detect"},
        {"INPUT", "Get selected Input No."},
        {"SOURCE", "Get selected source of currently selected input"},
        {"SYSTEM", "Get selected system status in input mode"},
        {"SYSLIST", "Get selectable System table"},
        {"MODELIST", "Get selectable Mode table"},
        {"SRCINP1", "Get selected source of Computer1"},
        {"SRCINP2", "Get selected source of Computer2"},
        {"SRCINP3", "Get selected source of Computer3"},
        {"SRCINP4", "Get selected source of Computer4"},
        {"HMSLOT", "Get total number of Inputs"},
        {"NMSLOT1", "Get terminal information of Input1"},
        {"NMSLOT2", "Get terminal information of Input2"},
        {"NMSLOT3", "Get terminal information of Input3"},
        {"NMSLOT4", "Get terminal information of Input4"},
        {"IDSLOT1", "Get ID information of Input1"},
        {"IDSLOT2", "Get ID information of Input2"},
        {"IDSLOT3", "Get ID information of Input3"},
        {"IDSLOT4", "Get ID information of Input4"},
        {"SCREEN", "Get selected screen size"},
        {"KYSTNMODE", "Get setting status of Keystone Store mode"},
        {"CORNERTESTPAT", "Get setting of test pattern for Comer correction"},
        {"CEIL", "Get setting status of Ceiling"},
        {"REAR", "Get setting status of Rear"},
        {"VSCALE", "Get setting status of Vertical Scale"},
        {"VPOS", "Get setting status of Vertical Position"},
        {"HSCALE", "Get setting status of Horizontal Scale"},
        {"HPOS", "Get setting status of Horizontal Position"},
        {"SCREENASPECT", "Get setting status of Screen aspect"},
        {"LAMPREPL", "Get the information for Lamp replacement time"},
        {"LAMPMODE", "Get Lamp Mode status"},
        {"LAMPCONSTTAR", ""},
        {"LAMPCONSTCUR", ""},
        {"AUTOLAMPCONTRL", "Get setting status of dimmerfunction level"},
        {"LAMPSTS", "Get lamp lighting status"},
        {"INFLAMP", "Get the total number of lamps"},
        {"PROJH", "Get projector running time"},
        {"HMLAMP", "Get lamp number"},
        {"LAMPH", "Get lamp total running time"},
        {"LAMPCORRESPH", "Get corresponding lamp use time"},
        {"LAMPINTERVAL", "Get setting status of Lamp interval"},
        {"LAMPLIFECONTRL", "Get lamp number"},
        {"LANG", "Get selected language"},
        {"MENUSIZE", "Get setting status of Menu size  "},
        {"DISP", "Get setting status of Display"},
        {"BACKGND", "Get setting status screen mode for the case of no signal"},
        {"LOGO", "GET setting status of Logo"},
        {"LOGOLOCK", "GET setting status of Logo Lock"},
        {"FANSPEED", "Get sselected Fan Control Speed"},
        {"RCODE", "Get selsected Remote Control Code"},
        {"RSENS", "Get selected location of infrared remote receiver of remote control"},
        {"P-MANE", "Get setting status of Power management"},
        {"P-MANETIME", "Get setting time for Power management"},
        {"ON-STA", "Get setting status of ON Start"},
        {"SECURITY", "Get setting status of Security"},
        {"PJLOCKNOW", "Get if PJ Lock is actually in operation"},
        {"PJLOCKMENU", "Get setting status of PJ Lock on Menu"},
        {"FILH", "Get Filter used time"},
        {"FILCOND", "Get status of filter clog"},
        {"FILREPL", "Get the information for Filter replacement time"},
        {"FILTIMER", "Get time when Filter warning OSD is displayed"},
        {"FILREMAIN", "Get remain number of usable Filter scroll"},
        {"PTIMEMODE", "Get setting mode of P-timer"},
        {"PTIMER", "Get status of P-timer"},
        {"PTIME", "Get setting time for count down mode in P-timer"},
        {"TESTPAT", "Get setting status of Test pattern"},
        {"KEYDIS", "Get RC/KEY disability status"},
        {"SHUTRCPROT", "Get remote controller disability status of the shutter"},
        {"SHUTKEYPROT", "Get key controller disability state of the shutter"},
        {"SHUTH", "Get time setting to begin the shutter management"},
        {"SHUTEFFECT", "Get status of shutter effect function"},
        {"SHUTRELEASE", "Get setting status of release key of shutter"},
        {"DELAYCTRL", "Get selected mode of Video delay control"},
        {"CCAPTIONDISP", "Get setting status of channel of Closed caption"},
        {"CCAPTIONCOLOR", "Get setting status of color of Closed caption"},
        {"PIP", "Get status of mode of \"Picture in picture\""},
        {"PIPMODE", "Get status of Mode in \"Picture in picture\""},
        {"PIPMAININP", "Get status of Input/Source for \"Picture in picture\"(Main picture)"},
        {"PIPSUBINP", "Get status of  Input/Source for \"Picture in picture\"(Sub picture)"},
        {"PIPSIZE", "Get status of Sub picture size in Picture in Picture"},
        {"PIPFRAMELOCK", "Get status of Frame lock in \"Picture in picture\""},
        {"PIPSTORE", "Get status in  \"Picture in picture\""},
        {"EDGEBLENDING", "Get setting status of Edge blending"},
        {"BLEND", "Get setting status of width of Edge blending"},
        {"BLENDSTART", "Get value of Start set in Edge blending"},
        {"BLENDBLK", "Get setting status of Black level of Edge blending"},
        {"BLENDTESTPAT", "Get setting status of Test pattern of Edge blending"},
        {"COLORMATCHING", "Get setting status of Color matching"},
        {"CMMSXY", "Get \"x\",\"y\" value of Measured of Color matching", "RED, GREEN, BLUE"},
        {"CMMSL", "Get \"L\" value of Measured of Color matching", "RED, GREEN, BLUE"},
        {"CMMGXY", "Get \"x\",\"y\" value of Target of Color matching",
         "RED, GREEN, BLUE, WHITE, CYAN, MAGENTA, YELLOW"},
        {"CMMGG", "Get \"g\" value of Target of Color matching",
         "RED, GREEN, BLUE, WHITE, CYAN, MAGENTA, YELLOW"},
        {"CMAUTOTESTPAT", "Get setting status of Auto test pattern of Color matching"},
        {"CMMSTESTPAT", "Get setting status of test pattern(Measured) of Color matching"},
        {"CMTGTESTPAT", "Get setting status of test pattern(Target) of Color matching"},
        {"HDMISETUP", "Get status of image mode of HDMI setup"},
        {"STATUS", "Get setting status of Projector behavior"},
        {"SIGNAL", "Get Signal Status if there is a signal or not"},
        {"VMUTE", "Get setting status of No Show"},
        {"FREEZE", "Get setting status of Freeze"},
        {"PTIMER", "Get operting status of P-Timer"},
        {"TEMPFAIL", "Get temperature when sensors approach abnomal temperature "},
        {"TEMP", "Get current temperature atatus"},
        {"OPTCTRLNO", "Get Option control No. of the projector"},
        {"SERIALNO", "Get value SERIAL NO."},
        {"SHUTCOND", "Get setting status of Shutter"},
    };
    QList<QByteArray> entries;
    for (const ReadFamily& family : families) {
        if (family.members.isEmpty()) {
            const QByteArray name = family.stem;
            entries.append("CR " + name + kCarriageReturn +
                           described(readGap(name), family.description));
            continue;
        }
        const QList<QByteArray> members = splitArguments(family.members);
        for (int i = 0; i < members.size(); ++i) {
            const QByteArray name = family.stem + (' ' + members[i]);
            QByteArray text = "CR " + name + kCarriageReturn;
            if (i == 0)
                text += described(readGap(name), family.description);
            entries.append(text);
        }
    }
    return entries;
}

const QList<QByteArray>& entries(List list) {
    static const QList<QByteArray> combo1 = buildCombo1();
    static const QList<QByteArray> combo2 = buildCombo2();
    static const QList<QByteArray> combo3 = buildCombo3();
    switch (list) {
    case List::Combo1:
        return combo1;
    case List::Combo2:
        return combo2;
    case List::Combo3:
        break;
    }
    return combo3;
}

} // namespace

int entryCount(List list) {
    return int(entries(list).size());
}

const QByteArray& entry(List list, int row) {
    return entries(list).at(row);
}

QByteArray commandText(const QByteArray& entry) {
    const qsizetype bracket = entry.indexOf('[');
    return bracket < 0 ? entry : entry.left(bracket);
}

bool hasParameter(const QByteArray& entry) {
    return entry.contains('%');
}

} // namespace tavo::catalogue
