#include "Form1Layout.h"

namespace tavo {

namespace {

struct Box {
    int left, top, width, height;
};

constexpr FontDesign k9{9, false};
constexpr FontDesign k9Bold{9, true};
constexpr FontDesign k975Bold{9.75, true};
constexpr FontDesign k105Bold{10.5, true};
constexpr FontDesign k12Bold{12, true};
constexpr FontDesign kWindowFont{};

constexpr quint32 kOnGreen = 0x0080FF80u;     // RGB(128,255,128)
constexpr quint32 kOffRed = 0x008080FFu;      // RGB(255,128,128)
constexpr quint32 kTeal = 0x00C0C000u;        // RGB(0,192,192)
constexpr quint32 kArrowYellow = 0x0080FFFFu; // RGB(255,255,128)
constexpr quint32 kStatusCyan = 0x00FFFFC0u;  // RGB(192,255,255)
constexpr quint32 kEnterOrange = 0x0080C0FFu; // RGB(255,192,128)
constexpr quint32 kTimerBlue = 0x00FF0000u;   // RGB(0,0,255)
constexpr quint32 kWhite = 0x00FFFFFFu;
constexpr quint32 kPanelGrey = 0x00C0C0C0u;       // RGB(192,192,192)
constexpr quint32 kMidGrey = 0x00808080u;         // RGB(128,128,128)
constexpr quint32 kRed = 0x000000FFu;             // RGB(255,0,0)
constexpr quint32 kDarkRed = 0x000000C0u;         // RGB(192,0,0)
constexpr quint32 kInactiveCaption = 0x80000013u; // system colour 19

LayoutRow frame(const char* name, Box b, int tab, FontDesign font = kWindowFont) {
    LayoutRow row{name, nullptr, Kind::Frame, "", b.left, b.top, b.width, b.height};
    row.font = font;
    row.tabIndex = tab;
    return row;
}

LayoutRow label(const char* name, const char* parent, const char* caption, Box b, FontDesign font,
                int tab, Align align = Align::Left) {
    LayoutRow row{name, parent, Kind::Label, caption, b.left, b.top, b.width, b.height};
    row.font = font;
    row.tabIndex = tab;
    row.align = align;
    return row;
}

LayoutRow coloured(LayoutRow row, quint32 back, quint32 fore = kDefaultColour) {
    row.back = back;
    row.fore = fore;
    return row;
}

LayoutRow bordered(LayoutRow row) {
    row.border = true;
    return row;
}

LayoutRow hidden(LayoutRow row) {
    row.visible = false;
    return row;
}

// A one-shot button with its caption on a coloured face.
LayoutRow button(const char* name, const char* parent, const char* caption, Box b, quint32 back,
                 FontDesign font, int tab) {
    LayoutRow row{name, parent, Kind::GraphicalButton, caption, b.left, b.top, b.width, b.height};
    row.back = back;
    row.font = font;
    row.tabIndex = tab;
    row.events = Events::Click;
    return row;
}

// A one-shot button with the platform's face.
LayoutRow plainButton(const char* name, const char* caption, Box b, FontDesign font, int tab) {
    LayoutRow row{name, nullptr, Kind::Button, caption, b.left, b.top, b.width, b.height};
    row.font = font;
    row.tabIndex = tab;
    row.events = Events::Click;
    return row;
}

// A press-and-hold button showing only an arrow.
LayoutRow arrow(const char* name, const char* parent, Picture picture, Box b, FontDesign font,
                int tab) {
    LayoutRow row{name, parent, Kind::GraphicalButton, "", b.left, b.top, b.width, b.height};
    row.back = kArrowYellow;
    row.font = font;
    row.tabIndex = tab;
    row.events = Events::PressRelease;
    row.picture = picture;
    return row;
}

LayoutRow option(const char* name, const char* caption, Box b, int tab) {
    LayoutRow row{name, "Frame8", Kind::OptionButton, caption, b.left, b.top, b.width, b.height};
    row.font = k9Bold;
    row.tabIndex = tab;
    row.events = Events::Click;
    return row;
}

std::vector<LayoutRow> frames() {
    return {
        coloured(frame("Frame1", {120, 0, 1210, 1575}, 0, k9), kInactiveCaption, kMidGrey),
        frame("Frame2", {1450, 0, 5600, 735}, 3, k9),
        frame("Frame5", {7170, 0, 2860, 735}, 7, k9),
        frame("Frame4", {1450, 840, 2740, 735}, 5, k9),
        frame("Frame7", {4310, 840, 2740, 735}, 12, k9),
        frame("Frame11", {7200, 840, 2860, 735}, 91),
        frame("Frame6", {120, 1680, 2700, 1935}, 9, k9),
        frame("Frame10", {2940, 1680, 1830, 1935}, 44),
        frame("Frame3", {4890, 1680, 1830, 1935}, 76),
        frame("Frame17", {6840, 1680, 990, 1400}, 52),
        frame("Frame19", {7940, 1680, 990, 1400}, 56),
        frame("Frame16", {9035, 1680, 990, 1400}, 48),
        frame("Frame20", {120, 3720, 5240, 555}, 59),
        frame("Frame9", {120, 4700, 8295, 948}, 27, k9),
        frame("Frame15", {120, 6140, 6105, 560}, 39),
        frame("Frame8", {120, 6840, 8200, 615}, 82),
    };
}

std::vector<LayoutRow> switchGroups() {
    return {
        // POWER
        button("Command18", "Frame1", "Off", {180, 1080, 870, 300}, kOffRed, k9Bold, 16),
        button("Command17", "Frame1", "On", {180, 600, 870, 300}, kOnGreen, k9Bold, 1),
        coloured(label("Label1", "Frame1", "POWER", {280, 240, 735, 255}, k9Bold, 2, Align::Centre),
                 kInactiveCaption, kDarkRed),
        // MODE SET
        button("Command41", "Frame2", "INPUT 4", {4230, 360, 1250, 300}, kTeal, k975Bold, 67),
        button("Command53", "Frame2", "INPUT 3", {2860, 360, 1250, 300}, kTeal, k975Bold, 36),
        button("Command28", "Frame2", "INPUT 2", {1490, 360, 1250, 300}, kTeal, k975Bold, 24),
        button("Command27", "Frame2", "INPUT 1", {120, 360, 1250, 300}, kTeal, k975Bold, 23),
        label("Label2", "Frame2", "MODE SET", {2000, 120, 1815, 255}, k9Bold, 4, Align::Centre),
        // SCREEN
        button("Command32", "Frame5", "Full", {1490, 360, 1250, 300}, kTeal, k975Bold, 26),
        button("Command31", "Frame5", "Normal", {120, 360, 1250, 300}, kTeal, k975Bold, 25),
        label("Label6", "Frame5", "SCREEN", {960, 120, 975, 255}, k9Bold, 8, Align::Centre),
        // VIDEO MUTE
        button("Command22", "Frame4", "Off", {1430, 360, 1190, 300}, kOffRed, k9Bold, 18),
        button("Command21", "Frame4", "On", {120, 360, 1190, 300}, kOnGreen, k9Bold, 17),
        label("Label5", "Frame4", "VIDEO MUTE", {840, 120, 1215, 255}, k9Bold, 6),
        // FREEZE
        button("Command26", "Frame7", "Off", {1430, 360, 1190, 300}, kOffRed, k9Bold, 22),
        button("Command25", "Frame7", "On", {120, 360, 1190, 300}, kOnGreen, k9Bold, 21),
        label("Label8", "Frame7", "FREEZE", {720, 120, 1215, 255}, k9Bold, 13, Align::Centre),
        // PRESENTATION
        button("Command36", "Frame11", "EXIT", {1490, 360, 1250, 300}, kOffRed, k9Bold, 94),
        button("Command34", "Frame11", "Timer", {120, 360, 1250, 300}, kTimerBlue, k9Bold, 93),
        label("Label20", "Frame11", "PRESENTATION", {720, 120, 1575, 255}, k9Bold, 92),
    };
}

std::vector<LayoutRow> arrowGroups() {
    return {
        // MENU
        arrow("Command7", "Frame6", Picture::ArrowDown, {1440, 1420, 735, 300}, kWindowFont, 72),
        arrow("Command8", "Frame6", Picture::ArrowRight, {1845, 940, 735, 300}, kWindowFont, 71),
        arrow("Command38", "Frame6", Picture::ArrowLeft, {990, 940, 735, 300}, kWindowFont, 70),
        arrow("Command5", "Frame6", Picture::ArrowUp, {1440, 460, 735, 300}, kWindowFont, 69),
        button("Command6", "Frame6", "Enter", {120, 1420, 750, 300}, kEnterOrange, k9Bold, 68),
        button("Command24", "Frame6", "Off", {120, 940, 750, 300}, kOffRed, k9Bold, 20),
        button("Command23", "Frame6", "On", {120, 460, 750, 300}, kOnGreen, k9Bold, 19),
        label("Label7", "Frame6", "MENU", {960, 120, 975, 255}, k9Bold, 10, Align::Centre),
        // KEYSTONE
        arrow("Command11", "Frame10", Picture::ArrowRight, {975, 940, 735, 300}, kWindowFont, 75),
        arrow("Command4", "Frame10", Picture::ArrowLeft, {120, 940, 735, 300}, kWindowFont, 74),
        arrow("Command35", "Frame10", Picture::ArrowDown, {548, 1420, 735, 300}, k9Bold, 47),
        arrow("Command10", "Frame10", Picture::ArrowUp, {548, 460, 735, 300}, k9Bold, 46),
        label("Label13", "Frame10", "KEYSTONE", {450, 120, 1020, 255}, k9Bold, 45),
        // LENS SHIFT
        arrow("Command20", "Frame3", Picture::ArrowDown, {548, 1440, 735, 300}, kWindowFont, 81),
        arrow("Command19", "Frame3", Picture::ArrowRight, {975, 960, 735, 300}, kWindowFont, 80),
        arrow("Command15", "Frame3", Picture::ArrowLeft, {120, 960, 735, 300}, kWindowFont, 79),
        arrow("Command12", "Frame3", Picture::ArrowUp, {548, 480, 735, 300}, kWindowFont, 78),
        label("Label4", "Frame3", "LENS SHIFT", {360, 120, 1215, 255}, k9Bold, 77),
        // ZOOM
        arrow("Command42", "Frame17", Picture::ArrowDown, {120, 960, 735, 300}, k12Bold, 55),
        arrow("Command30", "Frame17", Picture::ArrowUp, {120, 480, 735, 300}, k12Bold, 54),
        label("Label16", "Frame17", "ZOOM", {240, 120, 555, 255}, k9Bold, 53),
        // FOUCS (the heading's spelling is the panel's own)
        arrow("Command1", "Frame19", Picture::ArrowUp, {120, 480, 735, 300}, k12Bold, 73),
        arrow("Command2", "Frame19", Picture::ArrowDown, {120, 960, 735, 300}, k12Bold, 58),
        label("Label3", "Frame19", "FOUCS", {120, 120, 735, 255}, k9Bold, 57, Align::Centre),
        // D.ZOOM
        arrow("Command49", "Frame16", Picture::ArrowDown, {120, 960, 735, 300}, k12Bold, 50),
        arrow("Command48", "Frame16", Picture::ArrowUp, {120, 480, 735, 300}, k12Bold, 49),
        label("Label17", "Frame16", "D.ZOOM", {120, 120, 700, 255}, k9Bold, 51),
    };
}

std::vector<LayoutRow> lowerGroups() {
    return {
        // R/C KEY OFF
        button("Command62", "Frame20", "KEY", {3990, 150, 1095, 300}, kTeal, k975Bold, 63),
        button("Command61", "Frame20", "R/C", {2760, 150, 1095, 300}, kTeal, k975Bold, 62),
        button("Command60", "Frame20", "NONE", {1560, 150, 1095, 300}, kTeal, k975Bold, 61),
        label("Label14", "Frame20", "R/C KEY OFF", {120, 220, 1335, 255}, k975Bold, 60,
              Align::Centre),
        // Transcript: Label11 shows what was sent, Label12 what was received.
        coloured(bordered(label("Label12", "Frame9", "", {585, 555, 7575, 300}, k12Bold, 31)),
                 kWhite),
        coloured(bordered(label("Label11", "Frame9", "", {600, 195, 7575, 300}, k12Bold, 30)),
                 kWhite),
        label("Label10", "Frame9", "RxD", {120, 612, 372, 180}, k975Bold, 29, Align::Right),
        label("Label9", "Frame9", "TxD", {120, 240, 372, 252}, k975Bold, 28, Align::Right),
        // STATUS: Label25 shows the decoded status.
        label("Label26", "Frame15", "STATUS", {120, 210, 855, 180}, k975Bold, 41),
        coloured(bordered(label("Label25", "Frame15", "", {1020, 135, 4950, 285}, k105Bold, 40)),
                 kWhite, kRed),
        // Command with Address
        option("Option6", "004", {7320, 240, 700, 255}, 88),
        option("Option5", "003", {6480, 240, 700, 255}, 87),
        option("Option4", "002", {5640, 240, 700, 255}, 86),
        option("Option3", "001", {4800, 240, 700, 255}, 85),
        option("Option2", "ALL", {3960, 240, 700, 255}, 84),
        selectedRow(option("Option1", "SINGLE", {2880, 240, 975, 255}, 83)),
        label("Label15", "Frame8", "Command with Address", {120, 240, 2535, 255}, k975Bold, 89),
    };
}

std::vector<LayoutRow> windowControls() {
    return {
        // The status-read column at the right edge, top to bottom.
        button("Command44", nullptr, "STATUS", {8520, 4700, 1500, 350}, kStatusCyan, k975Bold, 32),
        button("Command45", nullptr, "INPUT MODE", {8520, 5050, 1500, 350}, kStatusCyan, k975Bold,
               33),
        button("Command54", nullptr, "TEMP", {8520, 5400, 1500, 350}, kStatusCyan, k975Bold, 37),
        button("Command47", nullptr, "SETTING", {8520, 5760, 1500, 350}, kStatusCyan, k975Bold, 35),
        button("Command46", nullptr, "LAMP TIME", {8520, 6100, 1500, 350}, kStatusCyan, k975Bold,
               34),
        button("Command76", nullptr, "LAMP MODE", {8520, 6450, 1500, 350}, kStatusCyan, k9Bold, 64),
        plainButton("Command74", "Command Table", {6480, 5880, 1850, 375}, k975Bold, 43),
        plainButton("Command33", "COM", {6480, 6350, 1850, 375}, k975Bold, 42),
        plainButton("Command16", "END", {8520, 4080, 1500, 375}, k12Bold, 15),
        button("Command73", nullptr, "IMAGE", {8640, 3250, 1400, 300}, kTeal, k9Bold, 38),
        button("Command13", nullptr, "AUTO PC ADJ", {6840, 3650, 1700, 300}, kTeal, k9Bold, 14),
        button("Command3", nullptr, "DISPLAY CLEAR", {6840, 3250, 1700, 300}, kTeal, k9Bold, 11),
        // Reply legends, shown when a reply holds the character they explain.
        // Label19 overlaps the bottom of Label28 and comes later to lie above it.
        hidden(coloured(label("Label28", nullptr, "[CR] :Carriage Return Code (0x0D)",
                              {120, 5705, 3495, 255}, k975Bold, 66),
                        kPanelGrey, kRed)),
        hidden(coloured(label("Label27", nullptr, "_ :Space Code (0x20)", {4200, 5705, 2295, 255},
                              k975Bold, 65),
                        kPanelGrey, kRed)),
        hidden(coloured(label("Label19", nullptr, "[ACK]:ACKnowledge Code (0x06)",
                              {120, 5880, 3495, 255}, k975Bold, 90),
                        kPanelGrey, kRed)),
    };
}

std::vector<LayoutRow> allRows() {
    std::vector<LayoutRow> rows = frames();
    for (const auto& part : {switchGroups(), arrowGroups(), lowerGroups(), windowControls()})
        rows.insert(rows.end(), part.begin(), part.end());
    return rows;
}

} // namespace

const std::vector<LayoutRow>& form1Layout() {
    static const std::vector<LayoutRow> rows = allRows();
    return rows;
}

} // namespace tavo
