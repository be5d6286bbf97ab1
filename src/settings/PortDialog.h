#pragma once

#include "PortDialogModel.h"

#include "ui/FormBuilder.h"
#include "ui/SaveWarning.h"

#include <QDialog>

#include <functional>

class QPushButton;

namespace tavo {

class SerialPort;
class SettingsStore;
struct Globals;

// Form2, the port settings dialog: a thin window over PortDialogModel.
class PortDialog : public QDialog, public PortDialogView {
    Q_OBJECT

public:
    using DeviceResolver = std::function<QString(int port)>;

    PortDialog(SerialPort& port, SettingsStore& store, Globals& globals,
               DeviceResolver resolveDevice, std::function<void()> showMain,
               QWidget* parent = nullptr);

    // The "Retry Comport" box; tests replace it so they never block.
    void setWarningPresenter(std::function<void(QWidget*)> present) { m_present = present; }
    static void presentRetryWarning(QWidget* parent, const QString& detail = {});
    // How a failed save of the port settings is told (a warning box by default).
    void setSaveWarningPresenter(SaveWarningPresenter present) { m_presentSaveWarning = present; }
    // What the box shown last said under its text.
    QString retryDetail() const { return m_retryDetail; }

    // "Devices…", a small button beside the designed controls: `open` shows
    // the devices dialog over this one and returns when it is closed.
    void setDevicesOpener(std::function<void(QWidget* parent)> open);

    PortDialogModel& model() { return m_model; }
    const BuiltForm& controls() const { return m_controls; }

    // PortDialogView
    void showBaudOption(int baudCode) override;
    void showPortOption(int port) override;
    void setOtherText(const QString& text) override;
    void selectOtherText(int start, int length) override;
    void showRetryWarning(const QString& detail) override;
    void showSaveWarning(const QString& file, const QString& reason) override;
    void closeAndShowMain() override;

public Q_SLOTS:
    void reject() override; // the close box and Escape

private:
    void wireControls();
    void describeDevices();
    void addDevicesButton();

    PortDialogModel m_model;
    DeviceResolver m_resolveDevice;
    std::function<void()> m_showMain;
    std::function<void(QWidget*)> m_openDevices;
    QPushButton* m_devicesButton = nullptr;
    QString m_retryDetail;
    std::function<void(QWidget*)> m_present = [this](QWidget* parent) {
        presentRetryWarning(parent, m_retryDetail);
    };
    SaveWarningPresenter m_presentSaveWarning = &presentSaveWarning;
    BuiltForm m_controls;
    bool m_closing = false;
};

} // namespace tavo
