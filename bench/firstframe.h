// Shared by the start-up benchmarks: once the window has painted its first
// frame, print the monotonic clock and the peak resident memory so far, then
// quit. Both programs pay for this in the same way.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

class FirstFrame : public QObject {
public:
    explicit FirstFrame(QWidget *window) : window_(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == window_ && event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Queued, so it runs once the whole frame has been painted and flushed.
            QMetaObject::invokeMethod(this, &FirstFrame::report, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void report() {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%lld %ld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                    usage.ru_maxrss);
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    QWidget *window_;
    bool seen_ = false;
};
