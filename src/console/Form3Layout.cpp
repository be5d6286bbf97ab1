#include "Form3Layout.h"

namespace tavo {

namespace {

constexpr quint32 kRed = 0x000000FFu; // RGB(255,0,0)

// Buttons and lists have click behaviour; the text box and labels none here.
LayoutRow control(const char* name, Kind kind, const char* caption, int left, int top, int width,
                  int height, int tab) {
    const bool clicks = kind == Kind::Button || kind == Kind::ComboList || kind == Kind::ComboEdit;
    return placedRow(name, nullptr, kind, caption, left, top, width, height, tab,
                     clicks ? Events::Click : Events::None);
}

LayoutRow redText(LayoutRow row) {
    row.fore = kRed;
    return row;
}

std::vector<LayoutRow> allRows() {
    return {
        control("Command3", Kind::Button, "Basic Command List", 120, 120, 2415, 375, 3),
        control("Command4", Kind::Button, "Expand Command List", 2760, 120, 2655, 375, 5),
        control("Command5", Kind::Button, "Expand Read Command List", 5760, 120, 3015, 375, 6),
        control("Text1", Kind::TextBox, "", 120, 720, 8655, 300, 4),
        control("Command1", Kind::Button, "SEND", 9000, 680, 855, 375, 1),
        control("Command2", Kind::Button, "CLOSE", 9000, 1200, 855, 375, 2),
        // Hints: what "[CR]" in the command text means, and that "%" wants a digit.
        redText(control("Label2", Kind::Label, "[CR] :Carriage Return Code (0x0D)", 240, 1200, 3975,
                        300, 9)),
        redText(control("Label1", Kind::Label, "% :Parameter (0-9).", 4560, 1200, 2895, 300, 10)),
        control("Combo1", Kind::ComboList, "", 120, 2400, 5055, 300, 0),
        control("Combo2", Kind::ComboEdit, "", 120, 2880, 8655, 300, 7),
        control("Combo3", Kind::ComboEdit, "", 120, 3360, 8655, 300, 8),
    };
}

} // namespace

const std::vector<LayoutRow>& form3Layout() {
    static const std::vector<LayoutRow> rows = allRows();
    return rows;
}

} // namespace tavo
