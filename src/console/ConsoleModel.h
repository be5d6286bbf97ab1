#pragma once

#include "Catalogue.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tavo {

class ProjectorLink;

// The console's two red hints.
enum class ConsoleHint {
    Label1, // "% :Parameter (0-9)."
    Label2, // "[CR] :Carriage Return Code (0x0D)"
};

// What the console's behaviour needs of its window. Geometry is in twips.
class ConsoleView {
public:
    virtual ~ConsoleView() = default;

    // Shows `list` and hides the other two.
    virtual void showList(catalogue::List list) = 0;
    // Sets the current entry; no selection event is raised.
    virtual void selectRow(catalogue::List list, int row) = 0;
    virtual void setHintVisible(ConsoleHint hint, bool visible) = 0;
    // Sets Text1; no change event is raised.
    virtual void setCommandText(const QString& text) = 0;
    virtual void focusCommandText() = 0;
    // Outer height, title bar and borders included.
    virtual void setWindowHeightTwips(int height) = 0;
    virtual void moveListsTop(int twips) = 0;
    virtual void setSendEnabled(bool enabled) = 0;
    virtual void closeWindow() = 0;
};

// The command console's behaviour: pick or type a command, send it through the
// main window's transmit routine. Never touches the panel's CurrentCommand.
class ConsoleModel {
public:
    static constexpr int kLoadHeight = 2500;
    static constexpr int kListsTop = 1560;

    // `onClosed` runs after CLOSE has closed the window: the main window comes
    // back to the front and leaves console mode.
    ConsoleModel(ProjectorLink& link, ConsoleView& view, std::function<void()> onClosed);

    void Form_Load();

    void Command3_Click(); // "Basic Command List"
    void Command4_Click(); // "Expand Command List"
    void Command5_Click(); // "Expand Read Command List"

    // An entry of the visible list was selected, by the operator or by the console.
    void comboClick(catalogue::List list, int row);

    // Text1 changed, typed or set.
    void Text1_Change(const QString& text);

    void Command1_Click(); // SEND
    void Command2_Click(); // CLOSE
    // The frame's close button: leaves console mode like CLOSE.
    void closeBox();

    // The command part of Text1 followed by CR; empty while there is nothing
    // sendable (empty text, or characters the 8-bit line cannot carry).
    QByteArray ConsoleCommand;

private:
    void showFirstEntry(catalogue::List list);
    void setCommandFromEntry(const QByteArray& entry);

    ProjectorLink& m_link;
    ConsoleView& m_view;
    std::function<void()> m_onClosed;
};

} // namespace tavo
