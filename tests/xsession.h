// A small X11 client for driving a real program as a person would: find its
// window, click at points in it, capture what it shows and ask it to close.
// Xlib's macros stay inside xsession.cpp.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>

#include <memory>

class XSession {
public:
    XSession();  // connects to $DISPLAY
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    bool connected() const;
    // Waits up to timeoutMs for a viewable top-level window with this title.
    bool waitForWindow(const QString &title, int timeoutMs);
    // Waits until two captures a little apart agree, and returns the last.
    QImage settledCapture();
    // Waits up to timeoutMs for the window to show something other than
    // before, then until it settles, and returns what it shows.
    QImage changedCapture(const QImage &before, int timeoutMs);
    // Moves the pointer to a point of the window and clicks the left button.
    void click(QPoint inWindow);
    // What the window manager's close button sends.
    void requestClose();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
