#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace tavo::test {

// The test classes of one executable whose files share a fixture: each file registers its
// class with TAVO_TEST_CLASS, and the executable's main (TestMainCore.cpp, TestMainWidgets.cpp)
// runs them all in turn.
using TestFactory = std::unique_ptr<QObject> (*)();

inline std::vector<TestFactory>& testClasses() {
    static std::vector<TestFactory> all;
    return all;
}

struct TestClassRegistration {
    explicit TestClassRegistration(TestFactory make) { testClasses().push_back(make); }
};

// Runs every registered class with the command line's options. Test functions named on it
// ("name" or "name:row") go to the classes that have them; a class with none is left out, and a
// name no class has is an error. Returns how many test functions failed, at most 127.
inline int runTestClasses(int argc, char** argv) {
    static const QSet<QByteArray> takesValue{"-o",        "-maxwarnings",    "-eventdelay",
                                             "-keydelay", "-mousedelay",     "-seed",
                                             "-repeat",   "-skipblacklisted"};
    std::vector<int> nameAt;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            nameAt.push_back(i);
        else if (takesValue.contains(argv[i]))
            ++i;
    }
    auto hasFunction = [](const QObject& test, const char* arg) {
        const QByteArray name = QByteArray(arg).split(':').value(0) + "()";
        return test.metaObject()->indexOfMethod(name.constData()) >= 0;
    };
    QSet<int> matched;
    int failed = 0;
    for (const TestFactory make : testClasses()) {
        const std::unique_ptr<QObject> test = make();
        std::vector<char*> args{argv[0]};
        bool selected = nameAt.empty();
        for (int i = 1; i < argc; ++i) {
            const bool isName = std::find(nameAt.begin(), nameAt.end(), i) != nameAt.end();
            if (isName && !hasFunction(*test, argv[i]))
                continue;
            if (isName) {
                selected = true;
                matched.insert(i);
            }
            args.push_back(argv[i]);
        }
        if (selected)
            failed += QTest::qExec(test.get(), int(args.size()), args.data());
    }
    for (const int i : nameAt) {
        if (!matched.contains(i)) {
            std::fprintf(stderr, "Unknown test function: %s\n", argv[i]);
            ++failed;
        }
    }
    return failed < 127 ? failed : 127;
}

} // namespace tavo::test

#define TAVO_TEST_CLASS(Class)                                                                     \
    static const tavo::test::TestClassRegistration registered##Class{                              \
        []() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); }};
