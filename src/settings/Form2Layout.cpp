#include "Form2Layout.h"

namespace tavo {

namespace {

// Buttons and option buttons have click behaviour.
LayoutRow control(const char* name, const char* parent, Kind kind, const char* caption, int left,
                  int top, int width, int height, int tab) {
    const bool clicks = kind == Kind::Button || kind == Kind::OptionButton;
    return placedRow(name, parent, kind, caption, left, top, width, height, tab,
                     clicks ? Events::Click : Events::None);
}

std::vector<LayoutRow> allRows() {
    // Tab order: the "OTHER" box, OK and Cancel, then the baud and port choices.
    return {
        control("Frame1", nullptr, Kind::Frame, "Baud Rate", 360, 240, 2415, 615, 3),
        control("Frame2", nullptr, Kind::Frame, "Com Port", 360, 1200, 1455, 2535, 6),
        control("Option1", "Frame1", Kind::OptionButton, "9600", 120, 180, 1575, 375, 4),
        selectedRow(
            control("Option2", "Frame1", Kind::OptionButton, "19200", 1320, 240, 975, 255, 5)),
        control("Option3", "Frame2", Kind::OptionButton, "COM1", 180, 180, 1155, 315, 7),
        control("Option4", "Frame2", Kind::OptionButton, "COM2", 180, 540, 1095, 255, 8),
        control("Option5", "Frame2", Kind::OptionButton, "COM3", 180, 900, 975, 255, 9),
        control("Option6", "Frame2", Kind::OptionButton, "COM4", 180, 1260, 1215, 255, 10),
        control("Option7", "Frame2", Kind::OptionButton, "COM5", 180, 1620, 1335, 255, 11),
        control("Text1", "Frame2", Kind::TextBox, "0", 180, 2040, 375, 270, 0),
        control("Label1", "Frame2", Kind::Label, "OTHER", 600, 2100, 615, 255, 12),
        control("Command1", nullptr, Kind::Button, "OK", 2040, 1320, 735, 615, 1),
        control("Command2", nullptr, Kind::Button, "Cancel", 2040, 2160, 735, 615, 2),
    };
}

} // namespace

const std::vector<LayoutRow>& form2Layout() {
    static const std::vector<LayoutRow> rows = allRows();
    return rows;
}

} // namespace tavo
