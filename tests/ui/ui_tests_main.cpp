// quarvel_ui_tests: the window's Qt Test classes in one program. The first argument
// names the class to run; the rest are Qt Test's own (test functions, -o, -callgrind,
// ...), as for a program of that class alone. Without a known class it lists them.

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

#include "support/window_test_support.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    const auto& classes = quarvel::test::UiTestClasses();
    const auto chosen = argc > 1 ? classes.find(argv[1]) : classes.end();
    if (chosen == classes.end()) {
        std::fprintf(stderr, "usage: %s CLASS [QTEST-ARGUMENTS...]\nclasses:\n", argv[0]);
        for (const auto& [name, testClass] : classes) std::fprintf(stderr, "  %s\n", name.c_str());
        return 2;
    }
    // Qt Test sees the program's name and the arguments after the class's.
    std::vector<char*> args{argv[0]};
    args.insert(args.end(), argv + 2, argv + argc);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    std::unique_ptr<QApplication> app = chosen->second.programsApplication
                                            ? std::make_unique<quarvel::ui::Application>(count, args.data())
                                            : std::make_unique<QApplication>(count, args.data());
    app->setAttribute(Qt::AA_Use96Dpi, true);
    const std::unique_ptr<QObject> test = chosen->second.make();
    return QTest::qExec(test.get(), count, args.data());
}
