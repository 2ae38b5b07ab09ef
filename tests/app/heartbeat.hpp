// A 10 ms timer on the test's event loop that counts its ticks and the longest gap between two of them:
// how well the window kept handling events meanwhile (during a stop, say).
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace tagsink::app::testing {

struct Heartbeat {
    Heartbeat() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            longest_gap = std::max(longest_gap, now - last);
            last = now;
            ++ticks;
            if (on_tick) {
                on_tick(now);
            }
        });
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(10);
        clock.start();
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest_gap = 0;
    int ticks = 0;
    std::function<void(qint64 now)> on_tick; // called on every tick, with the ms since the start
};

} // namespace tagsink::app::testing
