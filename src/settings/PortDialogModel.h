#pragma once

#include <QString>

namespace tavo {

class SerialPort;
class SettingsStore;
struct Globals;

// What the port dialog's behaviour needs of its window.
class PortDialogView {
public:
    virtual ~PortDialogView() = default;
    // Shows "9600" (96) or "19200" (192) as selected; no click is raised.
    virtual void showBaudOption(int baudCode) = 0;
    // Shows "COM1".."COM5" as selected, or none for 0.
    virtual void showPortOption(int port) = 0;
    virtual void setOtherText(const QString& text) = 0;
    virtual void selectOtherText(int start, int length) = 0;
    // The "Retry Comport" warning, with `detail` (the device and why it did
    // not open, or what is missing) under its text; returns when answered.
    virtual void showRetryWarning(const QString& detail) = 0;
    // Tells the operator that the port settings could not be stored in
    // `file`, and why; returns when the operator has seen it.
    virtual void showSaveWarning(const QString& file, const QString& reason) = 0;
    // Closes the dialog and shows and activates the main window.
    virtual void closeAndShowMain() = 0;
};

// The port settings dialog's behaviour. Every choice goes to the shared
// PortNumber and BaudCode at once; OK opens and stores, Cancel reopens the
// settings saved by "COM".
class PortDialogModel {
public:
    PortDialogModel(SerialPort& port, SettingsStore& store, Globals& globals, PortDialogView& view);

    void Form_Load();
    void Option1_Click();           // "9600"
    void Option2_Click();           // "19200"
    void portOptionClick(int port); // "COM1".."COM5"
    void Text1_Change(const QString& text);
    void Command1_Click(); // OK
    void Command2_Click(); // Cancel
    // The frame's close box: restores what Cancel restores when there is
    // something to restore, but never keeps the dialog open.
    void closeBox();

private:
    bool openPort();
    QString failureDetail() const;
    void applyBaud(quint8 baudCode);

    SerialPort& m_port;
    SettingsStore& m_store;
    Globals& m_globals;
    PortDialogView& m_view;
    bool m_openTried = false; // the last openPort() got as far as the port
};

} // namespace tavo
