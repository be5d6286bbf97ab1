#include "EarlyClickButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

namespace tavo {
namespace {

// The keys QAbstractButton presses and clicks with.
bool isClickKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
}

} // namespace

EarlyClickButton::EarlyClickButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    // Clicks that come without a release event (shortcuts, click()) are reported here.
    connect(this, &QAbstractButton::clicked, this, &EarlyClickButton::handleClicked);
}

template <class Finish> void EarlyClickButton::clickFirst(Finish finish) {
    const QPointer<EarlyClickButton> alive(this);
    m_reported = true;
    emit earlyClicked();
    if (!alive)
        return;
    finish();
    if (alive)
        m_reported = false;
}

template <class Press> void EarlyClickButton::pressWithoutRepaint(Press press) {
    // repaint() does nothing while updates are off; turning them back on schedules the update.
    // pressed() handlers run inside, so the button may be gone or already off when they return.
    if (!updatesEnabled()) { // off already, for this button or its window: nothing to defer
        press();
        return;
    }
    const QPointer<EarlyClickButton> alive(this);
    setUpdatesEnabled(false);
    press();
    if (alive)
        setUpdatesEnabled(true);
}

void EarlyClickButton::mousePressEvent(QMouseEvent* event) {
    pressWithoutRepaint([this, event] { QPushButton::mousePressEvent(event); });
}

void EarlyClickButton::keyPressEvent(QKeyEvent* event) {
    if (!isClickKey(event)) {
        QPushButton::keyPressEvent(event);
        return;
    }
    pressWithoutRepaint([this, event] { QPushButton::keyPressEvent(event); });
}

void EarlyClickButton::mouseReleaseEvent(QMouseEvent* event) {
    // The conditions under which QAbstractButton turns this release into a click.
    const bool clicks =
        event->button() == Qt::LeftButton && isDown() && hitButton(event->position().toPoint());
    if (!clicks) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    clickFirst([this, event] { QPushButton::mouseReleaseEvent(event); });
}

void EarlyClickButton::keyReleaseEvent(QKeyEvent* event) {
    if (!isClickKey(event) || event->isAutoRepeat() || !isDown()) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    clickFirst([this, event] { QPushButton::keyReleaseEvent(event); });
}

void EarlyClickButton::handleClicked() {
    if (!m_reported)
        emit earlyClicked();
}

} // namespace tavo
