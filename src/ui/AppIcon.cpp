#include "AppIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tavo {

namespace {

constexpr int kSide = 32;

void drawBeam(QPainter& painter) {
    QLinearGradient light(QPointF(17, 0), QPointF(kSide, 0));
    light.setColorAt(0, QColor(255, 255, 160, 230));
    light.setColorAt(1, QColor(255, 255, 160, 60));
    QPainterPath beam;
    beam.moveTo(19, 12);
    beam.lineTo(31, 2);
    beam.lineTo(31, 22);
    beam.lineTo(19, 16);
    beam.closeSubpath();
    painter.fillPath(beam, light);
}

void drawBody(QPainter& painter) {
    painter.setPen(QPen(QColor(30, 30, 30), 1));
    painter.setBrush(QColor(90, 90, 100));
    painter.drawRoundedRect(QRectF(1.5, 10.5, 20, 12), 2, 2);
    // feet
    painter.setBrush(QColor(30, 30, 30));
    painter.drawRect(QRectF(3.5, 22.5, 3, 2));
    painter.drawRect(QRectF(16.5, 22.5, 3, 2));
    // power lamp
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(80, 220, 80));
    painter.drawEllipse(QRectF(4, 13, 3, 3));
}

void drawLens(QPainter& painter) {
    painter.setPen(QPen(QColor(20, 20, 20), 1));
    painter.setBrush(QColor(170, 200, 230));
    painter.drawEllipse(QRectF(13.5, 10.5, 7, 7));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(240, 250, 255));
    painter.drawEllipse(QRectF(15.5, 12, 2, 2));
}

} // namespace

QImage appIconImage(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-unit grid; larger sizes are drawn, not enlarged.
    painter.scale(side / double(kSide), side / double(kSide));
    drawBeam(painter);
    drawBody(painter);
    drawLens(painter);
    painter.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (const int side : {kSide, 48, 256})
        icon.addPixmap(QPixmap::fromImage(appIconImage(side)));
    return icon;
}

namespace {

// Waits for the window's first expose; the paint and flush it starts run before the next pass.
class FirstExposeWatch : public QObject {
public:
    explicit FirstExposeWatch(QWindow* window) : QObject(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, Qt::PreciseTimer, this, [this] {
                setAppIconNow();
                deleteLater();
            });
        }
        return false;
    }
};

} // namespace

void setAppIconAfterFirstFrame(QWidget* window) {
    QWindow* handle = window->windowHandle();
    if (!QGuiApplication::windowIcon().isNull())
        return;
    if (!handle || handle->isExposed()) {
        setAppIconNow();
        return;
    }
    new FirstExposeWatch(handle);
}

void setAppIconNow() {
    if (QGuiApplication::windowIcon().isNull())
        QGuiApplication::setWindowIcon(appIcon());
}

} // namespace tavo
