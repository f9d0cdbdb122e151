#pragma once
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <functional>

namespace testsupport {

// Runs the event loop until done() holds or the guard expires, so a fault never hangs the run.
inline bool SpinUntil(const std::function<bool()>& done, int guardMs = 5000, int pollMs = 5) {
    if (done()) return true;
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    guard.start(guardMs);
    poll.start(pollMs);
    loop.exec();
    return done();
}

// Serves events for ms milliseconds.
inline void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    SpinUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

}  // namespace testsupport
