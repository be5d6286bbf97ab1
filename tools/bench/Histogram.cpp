#include "Histogram.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 480;
constexpr int kBins = 40;
const QRect kPlot(80, 60, kWidth - 110, kHeight - 130);

// Half the x range in ms: whole milliseconds, at least one, enough for the farthest value.
double halfRange(const std::vector<double>& values, double centre) {
    double farthest = 0;
    for (const double v : values)
        farthest = std::max(farthest, std::abs(v - centre));
    return std::clamp(std::ceil(farthest + 1e-9), 1.0, 50.0);
}

int niceStep(int maximum) {
    for (const int step : {1, 2, 5, 10, 20, 50, 100, 200, 500}) {
        if (maximum / step <= 8)
            return step;
    }
    return 1000;
}

} // namespace

bool saveHistogram(const QString& path, const std::vector<double>& values, double centre,
                   const QString& title) {
    if (values.empty())
        return false;
    const double half = halfRange(values, centre);
    const double low = centre - half;
    const double binWidth = 2 * half / kBins;
    std::vector<int> counts(kBins, 0);
    for (const double v : values)
        ++counts[std::clamp(int((v - low) / binWidth), 0, kBins - 1)];
    const int tallest = *std::max_element(counts.begin(), counts.end());
    const int yStep = niceStep(tallest);
    const int yTop = (tallest / yStep + 1) * yStep;

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto xAt = [&](double ms) {
        return kPlot.left() + (ms - low) / (2 * half) * kPlot.width();
    };
    const auto yAt = [&](double n) { return kPlot.bottom() - n / yTop * kPlot.height(); };

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 120, 180));
    for (int i = 0; i < kBins; ++i) {
        if (counts[i] > 0)
            p.drawRect(QRectF(QPointF(xAt(low + i * binWidth) + 1, yAt(counts[i])),
                              QPointF(xAt(low + (i + 1) * binWidth) - 1, yAt(0))));
    }

    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::NoBrush);
    p.drawLine(kPlot.bottomLeft(), kPlot.bottomRight());
    p.drawLine(kPlot.bottomLeft(), kPlot.topLeft());
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const double xStep = half <= 2 ? 0.5 : half <= 5 ? 1 : half <= 10 ? 2 : 5;
    for (double ms = low; ms <= centre + half + 1e-9; ms += xStep) {
        const double x = xAt(ms);
        p.drawLine(QPointF(x, kPlot.bottom()), QPointF(x, kPlot.bottom() + 5));
        p.drawText(QRectF(x - 40, kPlot.bottom() + 8, 80, 18), Qt::AlignCenter,
                   QString::number(ms, 'f', xStep < 1 ? 1 : 0));
    }
    for (int n = 0; n <= yTop; n += yStep) {
        const double y = yAt(n);
        p.drawLine(QPointF(kPlot.left() - 5, y), QPointF(kPlot.left(), y));
        p.drawText(QRectF(kPlot.left() - 50, y - 9, 40, 18), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(n));
    }
    p.drawText(QRectF(kPlot.left(), kHeight - 40, kPlot.width(), 20), Qt::AlignCenter,
               QStringLiteral("period between sends at the projector's end (ms), %1 ms bins")
                   .arg(binWidth, 0, 'f', 2));
    p.save();
    p.translate(20, kPlot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter, QStringLiteral("periods"));
    p.restore();

    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    p.setPen(QPen(QColor(200, 40, 40), 1.5, Qt::DashLine));
    p.drawLine(QPointF(xAt(centre), kPlot.top()), QPointF(xAt(centre), kPlot.bottom()));
    p.setPen(QPen(QColor(30, 150, 60), 1.5, Qt::DotLine));
    p.drawLine(QPointF(xAt(mean), kPlot.top()), QPointF(xAt(mean), kPlot.bottom()));

    font.setPixelSize(16);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 10, kWidth, 24), Qt::AlignCenter, title);
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(200, 40, 40));
    p.drawText(QRectF(kPlot.right() - 260, kPlot.top(), 260, 18), Qt::AlignRight,
               QStringLiteral("dashed: %1 ms (the set period)").arg(centre, 0, 'f', 0));
    p.setPen(QColor(30, 150, 60));
    p.drawText(QRectF(kPlot.right() - 260, kPlot.top() + 18, 260, 18), Qt::AlignRight,
               QStringLiteral("dotted: mean %1 ms").arg(mean, 0, 'f', 3));
    p.end();
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "mx7300-bench: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}
