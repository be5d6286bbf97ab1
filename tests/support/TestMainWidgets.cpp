// main() of a test executable made of several registered classes (TestClasses.h), with widgets:
// the application QTEST_MAIN would make.
#include "TestClasses.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    return tavo::test::runTestClasses(argc, argv);
}
