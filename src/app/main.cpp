#include "Application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVO"));
    QApplication::setApplicationDisplayName(QString());
    tavo::Application program;
    return program.run();
}
