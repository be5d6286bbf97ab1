#include "ui/EarlyClickButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

namespace tavo {

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
    const bool clickKey = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
    if (!clickKey || event->isAutoRepeat() || !isDown()) {
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
