#pragma once

#include <QPushButton>

namespace tavo {

// A push button that reports a click before it repaints itself. QAbstractButton repaints at once
// when a click ends and only then emits clicked(); a command sent from earlyClicked() reaches the
// line first. It fires exactly once per click, whatever made it: a left-button release on the
// pressed button, Space (or Select) released on it, a shortcut or click(). A release outside the
// button, or any event on a disabled one, is no click.
class EarlyClickButton : public QPushButton {
    Q_OBJECT

public:
    explicit EarlyClickButton(const QString& text, QWidget* parent = nullptr);

Q_SIGNALS:
    void earlyClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // Emits earlyClicked(), then lets the button finish the click (repaint, clicked()).
    template <class Finish> void clickFirst(Finish finish);
    void handleClicked();

    bool m_reported = false; // earlyClicked() already went out for the click in progress
};

} // namespace tavo
