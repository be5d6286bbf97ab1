// main() of a test executable made of several registered classes (TestClasses.h), without widgets.
#include "TestClasses.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return tavo::test::runTestClasses(argc, argv);
}
