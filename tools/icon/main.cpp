// mx7300-icon OUTDIR: writes the window icon as OUTDIR/<N>x<N>/apps/tavo-mx7300-control.png for
// N = 32, 48 and 256, the hicolor theme layout, so the build can install it for desktop menus.
#include "ui/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>

#include <cstdio>

namespace {

constexpr int kSizes[] = {32, 48, 256};

// The icon is drawn at 32 px; whole multiples keep its pixels sharp, other sizes are smoothed.
QImage render(const QIcon& icon, int side) {
    const QImage base = icon.pixmap(32, 32).toImage();
    const auto mode = side % base.width() == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
    return base.scaled(side, side, Qt::KeepAspectRatio, mode);
}

} // namespace

int main(int argc, char* argv[]) {
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mx7300-icon OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = tavo::appIcon();
    for (const int side : kSizes) {
        const QString dir = QStringLiteral("%1x%1/apps").arg(side);
        const QString path = out.filePath(dir + QStringLiteral("/tavo-mx7300-control.png"));
        if (!out.mkpath(dir) || !render(icon, side).save(path, "PNG")) {
            std::fprintf(stderr, "mx7300-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
