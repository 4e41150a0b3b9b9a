// How long the window stops answering while it waits for a server: the
// longest gap between two ticks of a 5 ms timer on the window's thread,
// from the key that starts the wait to the message that ends it. Against the
// scripted server of the tests (contract.py serve), opened from it, then
// sending to it fallen silent and stopped. Prints one line a case, in ms.
// Usage: stall CONTRACT_PY (ZELVAR_RCON_PASSWORD set)
#include "form1.h"
#include "remote.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Ticks until a message (not a confirmation) shows; the longest gap, and the
// wait in all. Confirmations are answered "Send".
std::pair<qint64, qint64> longestGap(Form1 &form) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    bool said = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
        for (QMessageBox *box : form.findChildren<QMessageBox *>()) {
            if (!box->isVisible())
                continue;
            bool confirmation = false;
            for (QAbstractButton *b : box->buttons())
                if (b->text() == "Send")
                    confirmation = true, b->click();
            if (!confirmation)
                said = true, box->close();
        }
    });
    tick.start(5);
    static_cast<void>(QTest::qWaitFor([&] { return said; }, 30000));
    return {longest, clock.elapsed()};
}

}  // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QProcess server;
    server.start("python3", {argv[1], "serve"});
    if (!server.waitForReadyRead(10000))
        return 1;
    const QByteArray port = server.readLine().trimmed();
    Form1 form;
    form.show();
    form.openServer("127.0.0.1:" + port);
    const auto [opening, opened] = longestGap(form);
    std::printf("opening from the server: longest stall %lld ms of %lld\n", opening, opened);
    int box = 0;
    const auto sendTo = [&](const char *what) {
        form.findChild<QCheckBox *>(QStringLiteral("chkLock(%1)").arg(box++))->click();
        form.activateWindow();  // from the message, closed
        static_cast<void>(QTest::qWaitForWindowActive(&form));
        QTimer::singleShot(0, [&] { QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier); });
        const auto [stall, wait] = longestGap(form);
        std::printf("sending to the server %s: longest stall %lld ms of %lld\n", what, stall, wait);
    };
    zelvar::UdpTransport({"127.0.0.1", port.toUShort()}).send("\xFF\xFF\xFF\xFFsilence");
    sendTo("fallen silent");
    server.closeWriteChannel();
    server.waitForFinished(5000);
    sendTo("stopped");
    return 0;
}
