#pragma once

#include <QtGlobal>

namespace tavo {

// One control of a window, as designed. Geometry is in twips relative to the
// container (the client area, or the frame named in `parent`); colours are
// &H00BBGGRR& values, or a system colour with the top bit set (0x80000013 is
// system colour 19); kDefaultColour keeps the platform's colour.
enum class Kind {
    Frame, // group box; caption empty on the main window
    Label,
    Button,          // plain command button (platform face)
    GraphicalButton, // face in the background colour, optional picture
    OptionButton,
    TextBox,
    ComboList, // drop-down list without typing
    ComboEdit, // drop-down combo with an edit field
};

enum class Picture { None, ArrowUp, ArrowDown, ArrowLeft, ArrowRight };
enum class Align { Left, Centre, Right };

// Which events of the control have behaviour.
enum class Events { None, Click, PressRelease };

constexpr quint32 kDefaultColour = 0xFFFFFFFFu;

struct FontDesign {
    double points = 0; // 0 = the window's font
    bool bold = false;
};

struct LayoutRow {
    const char* name;   // objectName, e.g. "Command17"
    const char* parent; // containing frame's name, or nullptr for the client area
    Kind kind;
    const char* caption; // Latin-1/ASCII; "" when none
    int left, top, width, height;
    quint32 back = kDefaultColour;
    quint32 fore = kDefaultColour;
    FontDesign font = {};
    int tabIndex = -1;
    Events events = Events::None;
    Picture picture = Picture::None;
    Align align = Align::Left;
    bool border = false;   // single-line border (labels)
    bool visible = true;   // design-time visibility
    bool selected = false; // option buttons: selected in the design
};

// A row from its place, caption and tab index; colours, font and the rest
// keep their defaults.
inline LayoutRow placedRow(const char* name, const char* parent, Kind kind, const char* caption,
                           int left, int top, int width, int height, int tabIndex, Events events) {
    LayoutRow row{name, parent, kind, caption, left, top, width, height};
    row.tabIndex = tabIndex;
    row.events = events;
    return row;
}

inline LayoutRow selectedRow(LayoutRow row) {
    row.selected = true;
    return row;
}

// A window's own properties. The client height is 0 when the window sets its
// height itself at load.
struct WindowDesign {
    const char* caption; // Latin-1/ASCII
    int clientWidth, clientHeight;
    quint32 back = kDefaultColour;
    quint32 fore = kDefaultColour;
    double fontPoints = 0; // 0 = the platform's font
};

} // namespace tavo
