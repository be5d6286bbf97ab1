#pragma once

#include <QSize>
#include <QString>

namespace tavo {

// The transcript and status lines of the main window.
enum class Line {
    Label11, // what was sent (beside "TxD")
    Label12, // what was received (beside "RxD")
    Label25, // decoded status
};

// The legend labels a transcript can make visible.
enum class Legend {
    Label19, // [ACK]
    Label27, // space
    Label28, // [CR]
};

// What the link behaviour needs of the main window. Everything is in twips.
class LinkView {
public:
    virtual ~LinkView() = default;

    virtual void setLineText(Line line, const QString& text) = 0;
    virtual void setLegendVisible(Legend legend, bool visible) = 0;

    // Outer height, title bar and borders included.
    virtual void setWindowHeightTwips(int height) = 0;
    virtual int windowHeightTwips() const = 0;
    virtual QSize windowSizeTwips() const = 0;
    virtual QSize screenSizeTwips() const = 0;
    virtual void moveWindowTwips(int left, int top) = 0;

    // Shows option 1..6 of the address group as selected (no click is raised).
    virtual void showAddressOption(int option) = 0;

    // The start-up failure path: the port settings dialog, modal. Returns when
    // the dialog has been closed.
    virtual void showPortDialogModal() = 0;

    // Tells the operator that the settings could not be stored in `file`,
    // and why; returns when the operator has seen it.
    virtual void showSaveWarning(const QString& file, const QString& reason) = 0;
};

} // namespace tavo
