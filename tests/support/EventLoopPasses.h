#pragma once

#include <QEventLoop>
#include <QTimer>

namespace tavo::test {

// Runs `passes` full passes of the event loop: each delivers what was posted, polls every watched
// descriptor once and fires due timers. A descriptor that stays ready after the link ended (an
// error storm) fires again on each pass, however fast or slow the machine, so counting events
// over a number of passes shows it without waiting on the clock.
inline void runEventLoopPasses(int passes) {
    for (int i = 0; i < passes; ++i) {
        QEventLoop loop;
        // A timer object, not QTimer::singleShot(0): that one is only a posted call, which ends
        // the pass before the descriptors are polled.
        QTimer pass;
        pass.setSingleShot(true);
        QObject::connect(&pass, &QTimer::timeout, &loop, &QEventLoop::quit);
        pass.start(0);
        loop.exec();
    }
}

} // namespace tavo::test
