#pragma once

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <functional>

namespace tolvan::test {

// The application object the notifiers need; one per test process.
inline QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until done() holds or the timeout passes; returns done().
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

}  // namespace tolvan::test
