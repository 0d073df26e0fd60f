#pragma once
// Prints the steady clock at the first paint of a window and ends the program: the
// start-up benchmark measures from process start to that moment.

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdio>

class FirstPaintProbe : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            // After this paint has been flushed to the screen.
            QTimer::singleShot(0, [] {
                const auto ns
                    = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                          .count();
                std::printf("%lld\n", static_cast<long long>(ns));
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool done_ = false;
};
