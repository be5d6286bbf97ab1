// mx7300-icon OUTDIR: writes the window icon as OUTDIR/<N>x<N>/apps/tavo-mx7300-control.png for
// N = 32, 48 and 256, the hicolor theme layout, so the build can install it for desktop menus.
#include "AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

namespace {

constexpr int kSizes[] = {32, 48, 256};

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
    for (const int side : kSizes) {
        const QString dir = QStringLiteral("%1x%1/apps").arg(side);
        const QString path = out.filePath(dir + QStringLiteral("/tavo-mx7300-control.png"));
        if (!out.mkpath(dir) || !tavo::appIconImage(side).save(path, "PNG")) {
            std::fprintf(stderr, "mx7300-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
