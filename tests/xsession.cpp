#include "xsession.h"

#include <QElapsedTimer>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

struct XSession::Private {
    Display *display = nullptr;
    Window window = 0;

    Window find(Window under, const QByteArray &title) const {
        char *name = nullptr;
        if (XFetchName(display, under, &name) != 0 && name != nullptr) {
            const bool match = title == name;
            XFree(name);
            if (match)
                return under;
        }
        Window root = 0;
        Window parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(display, under, &root, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count && found == 0; ++i)
                found = find(children[i], title);
            if (children != nullptr)
                XFree(children);
        }
        return found;
    }

    QImage capture() const {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        XImage *image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (image == nullptr)
            return {};
        QImage copy(attributes.width, attributes.height, QImage::Format_RGB32);
        for (int y = 0; y < attributes.height; ++y)
            for (int x = 0; x < attributes.width; ++x)
                copy.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000U);
        XDestroyImage(image);
        return copy;
    }
};

XSession::XSession() : d(std::make_unique<Private>()) { d->display = XOpenDisplay(nullptr); }

XSession::~XSession() {
    if (d->display != nullptr)
        XCloseDisplay(d->display);
}

bool XSession::connected() const { return d->display != nullptr; }

bool XSession::waitForWindow(const QString &title, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    const QByteArray wanted = title.toUtf8();
    while (timer.elapsed() < timeoutMs) {
        d->window = d->find(DefaultRootWindow(d->display), wanted);
        XWindowAttributes attributes{};
        if (d->window != 0 && XGetWindowAttributes(d->display, d->window, &attributes) != 0 &&
            attributes.map_state == IsViewable)
            return true;
        QThread::msleep(50);
    }
    return false;
}

// A window that has not painted yet shows one colour all over.
static bool painted(const QImage &image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return true;
    return false;
}

QImage XSession::settledCapture() {
    QImage last = d->capture();
    for (int attempt = 0; attempt < 100 && !painted(last); ++attempt) {
        QThread::msleep(50);
        last = d->capture();
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        QThread::msleep(100);
        QImage next = d->capture();
        if (next == last)
            return next;
        last = std::move(next);
    }
    return last;
}

QImage XSession::changedCapture(const QImage &before, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (d->capture() == before && timer.elapsed() < timeoutMs)
        QThread::msleep(50);
    return settledCapture();
}

void XSession::click(QPoint inWindow) {
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d->display, d->window, DefaultRootWindow(d->display), inWindow.x(),
                          inWindow.y(), &x, &y, &child);
    XTestFakeMotionEvent(d->display, -1, x, y, 0);
    XTestFakeButtonEvent(d->display, 1, True, 0);
    XTestFakeButtonEvent(d->display, 1, False, 0);
    XSync(d->display, False);
}

void XSession::requestClose() {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = d->window;
    event.xclient.message_type = XInternAtom(d->display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d->display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d->display, d->window, False, NoEventMask, &event);
    XSync(d->display, False);
}
