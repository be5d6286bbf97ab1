#pragma once

#include "ConsoleModel.h"
#include "FormBuilder.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class ProjectorLink;

// Form3, "Command List": the command console window. Deletes itself when
// closed, so every opening creates a new one and runs the load step.
class Form3Window : public QWidget, public ConsoleView {
    Q_OBJECT

public:
    Form3Window(ProjectorLink& link, std::function<void()> onClosed, QWidget* parent = nullptr);

    ConsoleModel& model() { return m_model; }

    void showList(catalogue::List list) override;
    void selectRow(catalogue::List list, int row) override;
    void setHintVisible(ConsoleHint hint, bool visible) override;
    void setCommandText(const QString& text) override;
    void focusCommandText() override;
    void setWindowHeightTwips(int height) override;
    void moveListsTop(int twips) override;
    void setSendEnabled(bool enabled) override;
    void closeWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    QComboBox* combo(catalogue::List list) const;
    void fillCombo(catalogue::List list);
    void connectControls();
    void applyOuterHeight();
    int frameHeightPixels() const;
    int pixels(int twips) const;

    ConsoleModel m_model;
    BuiltForm m_form;
    QComboBox* m_combos[3] = {};
    QLineEdit* m_text1 = nullptr;
    QPushButton* m_send = nullptr;
    QLabel* m_parameterHint = nullptr;
    QLabel* m_carriageReturnHint = nullptr;
    int m_outerHeightPixels = 0;
    bool m_closingByModel = false;
    bool m_inCloseEvent = false;
};

} // namespace tavo
