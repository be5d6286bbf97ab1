#pragma once

#include <QPushButton>

namespace tavo {

// A push button that reports a click before it repaints itself. QAbstractButton repaints at once
// when a click ends and only then emits clicked(); a command sent from earlyClicked() reaches the
// line first. The press is drawn on the event loop's next pass instead of at once, so a click
// whose press and release come together reaches the line before any paint. earlyClicked() fires
// exactly once per click, whatever made it: a left-button release on the pressed button, Space
// (or Select) released on it, a shortcut or click(). A release outside the button, or any event
// on a disabled one, is no click.
class EarlyClickButton : public QPushButton {
    Q_OBJECT

public:
    explicit EarlyClickButton(const QString& text, QWidget* parent = nullptr);

Q_SIGNALS:
    void earlyClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // Emits earlyClicked(), then lets the button finish the click (repaint, clicked()).
    template <class Finish> void clickFirst(Finish finish);
    // Runs QAbstractButton's press handling with its synchronous repaint turned into an update.
    template <class Press> void pressWithoutRepaint(Press press);
    void handleClicked();

    bool m_reported = false; // earlyClicked() already went out for the click in progress
};

} // namespace tavo
