// The live window, looked at whole and driven as a person drives it.
//
// listing: one line per control as the widgets hold it (name, class, caption,
// place, tab stop, state, face, colours, what a screen reader hears), then
// what each panel button shows, writes and where Tab goes from it; compared
// with the reviewed listing in data/window.listing. ZELVAR_UPDATE_LISTING=1
// rewrites that file instead, for review.
// randomWalk: seeded clicks, Space and Tab against an oracle that knows the
// boxes only as bits (oracle.h); ZELVAR_SEED replays a walk.
#include "form1.h"
#include "hitpoint.h"
#include "oracle.h"
#include "remote.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <random>
#include <tuple>

using zelvar::Group;
using zelvar::Rank;

namespace {

QString latin1(std::string_view s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

QString describe(QWidget *w, const QWidgetList &tabChain) {
    QStringList f{w->objectName(), w->metaObject()->className()};
    if (w->isWindow())
        f << '"' + w->windowTitle() + '"' << (w->minimumSize() == w->maximumSize() ? "fixed" : "")
          << QString("close %1 minimise %2 maximise %3 | icon %4")
                 .arg(w->windowFlags().testFlag(Qt::WindowCloseButtonHint))
                 .arg(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint))
                 .arg(w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint))
                 .arg(w->windowIcon().availableSizes().value(0).width());
    else if (auto *b = qobject_cast<QAbstractButton *>(w))
        f << '"' + b->text() + '"' << (b->isCheckable() ? b->isChecked() ? "on" : "off" : "");
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        f << '"' + g->title() + '"';
    else if (auto *l = qobject_cast<QLabel *>(w))
        f << '"' + l->text() + '"' << (l->alignment() & Qt::AlignHCenter ? "centred" : "left");
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        f << '"' + e->text() + '"' << (e->isReadOnly() ? "read-only" : "editable");
    const QRect r = w->geometry();
    f << QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    if (const qsizetype tab = tabChain.indexOf(w); tab >= 0)
        f << QString("tab %1").arg(tab);
    f << (w->isVisibleTo(w->window()) ? "shown" : "hidden");
    const QFontInfo face(w->font());
    f << QString("%1 %2pt %3%4")
             .arg(face.family())
             .arg(w->font().pointSizeF())
             .arg(face.weight())
             .arg(w->font().letterSpacing() != 100
                      ? QString(" spacing %1%").arg(w->font().letterSpacing())
                      : "");
    f << "fg " + w->palette().color(w->foregroundRole()).name() + " bg " +
             w->palette().color(w->backgroundRole()).name() +
             (w->autoFillBackground() ? " filled" : "");
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
    if (!w->isWindow() && a->parent()->indexOfChild(a) < 0)
        f << "no a11y";
    else
        f << QString("a11y %1 \"%2\" \"%3\"")
                 .arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(a->role()))
                 .arg(a->text(QAccessible::Name), a->text(QAccessible::Description));
    f.removeAll("");
    return f.join(" | ");
}

void walkTree(QWidget *w, const QWidgetList &tabChain, QStringList &out, int depth = 0) {
    out << QString(qsizetype(depth) * 2, ' ') + describe(w, tabChain);
    for (QObject *child : w->children())
        if (auto *c = qobject_cast<QWidget *>(child); c != nullptr && !c->isWindow())
            walkTree(c, tabChain, out, depth + 1);
}

}  // namespace

// While it lives, presses `button` in a confirmation and types `passwords`,
// one a dialog, as a user would: "pw+" ticks the keep box, "pw-" clears it.
// `boxes` says how each dialog showed the box, a dialog each.
class Answering {
public:
    explicit Answering(QString button, QStringList passwords = {})
        : button_(std::move(button)), passwords_(std::move(passwords)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(50);
    }
    QStringList boxes;

private:
    void answer() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto *dialog = qobject_cast<QDialog *>(w);
                dialog != nullptr && dialog->objectName() == "passwordDialog") {
                auto *typed = dialog->findChild<QLineEdit *>();
                QCOMPARE(typed->echoMode(), QLineEdit::Password);
                QString password =
                    passwords_.isEmpty() ? "asked once more" : passwords_.takeFirst();
                auto *keep = dialog->findChild<QCheckBox *>();
                boxes << (keep == nullptr ? "no box" : keep->isChecked() ? "ticked" : "clear");
                if (password.endsWith('+') || password.endsWith('-')) {
                    keep->setChecked(password.endsWith('+'));
                    password.chop(1);
                }
                typed->setText(password);
                dialog->accept();
            } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
                for (QAbstractButton *b : box->buttons())
                    if (button_.split('|').contains(b->text()))
                        b->click();
            }
        }
    }
    QString button_;
    QStringList passwords_;
    QTimer timer_;
};

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("fusion")); }
    void init();
    void cleanup() { form.reset(); }

    void listing();
    void randomWalk();
    void walkGiven();
    void captionsShowWhole_data();
    void captionsShowWhole();
    void looks_data();
    void looks();
    void pictureCoversTheWindow();
    void lineIsCopiedNeverEdited();
    void openWhatTheWindowWrites();
    void openConfiguration();
    void pasteAndDrop();
    void aLookIsNoChange();
    void serverSaveKey();
    void keptPassword();
    void keepsItsSize();

private:
    template <class T = QWidget> T *control(const QString &name) const {
        T *w = form->findChild<T *>(name);
        if (w == nullptr)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    QString line() const { return control<QLineEdit>("txtBitRate")->text(); }
    void click(const QString &name) {
        auto *b = control<QAbstractButton>(name);
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
                          b->mapTo(form.get(), hitPoint(b)));
    }
    // What a user sees of the state: each box and rank, the panel on show
    // and the line.
    QStringList state(Form1 *f = nullptr) const {
        f = f != nullptr ? f : form.get();
        QStringList out;
        for (QAbstractButton *b : f->findChildren<QAbstractButton *>())
            if (b->isCheckable())
                out << b->objectName() + (b->isChecked() ? " on" : " off");
        for (QGroupBox *panel : f->findChildren<QGroupBox *>())
            if (panel->isVisibleTo(f))
                out << "shows " + panel->objectName();
        return out << "line " + f->findChild<QLineEdit *>("txtBitRate")->text();
    }
    // The message that opening left, closed once read; the window is active
    // again then, as a window manager makes it.
    QString message() {
        QMessageBox *box = nullptr;
        if (!QTest::qWaitFor(
                [&] {
                    return (box = form->findChild<QMessageBox *>()) != nullptr && box->isVisible();
                },
                5000))
            return "no message showed";
        QString text = box->text() + '\n' + box->informativeText();
        delete box;
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            return "the window is not active again";
        return text;
    }
    void compareWithReviewed(const QStringList &actual, const QString &name);
    QStringList shownPanels() const {
        QStringList shown;
        for (QGroupBox *panel : form->findChildren<QGroupBox *>())
            if (panel->isVisible())
                shown << panel->objectName();
        return shown;
    }

    std::unique_ptr<Form1> form;
};

void TestWindow::init() {
    form = std::make_unique<Form1>();
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void TestWindow::listing() {
    QWidgetList chain;
    for (QWidget *w = form->nextInFocusChain(); w != form.get(); w = w->nextInFocusChain())
        if (w->focusPolicy() != Qt::NoFocus)
            chain << w;
    QStringList actual;
    walkTree(form.get(), chain, actual);

    // Every panel button, then the ranks, by click and by arrow key; Tab goes
    // round from where the action left the focus.
    for (const char *name :
         {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Command7",
          "Command3", "optJK", "optInstructor", "optam", "Right", "Right"}) {
        if (QByteArray(name) == "Right")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        else
            click(name);
        QStringList tabs;
        QWidget *start = QApplication::focusWidget();
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            tabs << QApplication::focusWidget()->objectName();
        } while (QApplication::focusWidget() != start && tabs.size() < 200);
        actual << QString("after %1: shows %2 | \"%3\" | tab %4")
                      .arg(name, shownPanels().join(' '), line(), tabs.join(' '));
    }

    compareWithReviewed(actual, "window.listing");
}

// ZELVAR_UPDATE_LISTING=1 rewrites the reviewed file instead, for review.
void TestWindow::compareWithReviewed(const QStringList &actual, const QString &name) {
    QFile file(ZELVAR_TESTS_DIR "/data/" + name);
    if (qEnvironmentVariableIsSet("ZELVAR_UPDATE_LISTING")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        file.write((actual.join('\n') + '\n').toUtf8());
        QSKIP("listing rewritten; review it before committing");
    }
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList expected = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QStringList diff;
    for (qsizetype i = 0; i < qMax(expected.size(), actual.size()); ++i)
        if (expected.value(i) != actual.value(i))
            diff << QString("line %1\n  expected: %2\n  actual:   %3")
                        .arg(i + 1)
                        .arg(expected.value(i), actual.value(i));
    QVERIFY2(diff.isEmpty(), qPrintable(diff.mid(0, 8).join('\n')));
}

void TestWindow::randomWalk() {
    const unsigned seed = qEnvironmentVariableIsSet("ZELVAR_SEED")
                              ? qEnvironmentVariable("ZELVAR_SEED").toUInt()
                              : std::random_device{}();
    std::mt19937 random(seed);
    Oracle oracle;
    QStringList done;
    for (int step = 0; step < 5000; ++step) {
        const QString action = QString::fromStdString(oracle.randomAction(random));
        done << action;
        QWidget *focus = QApplication::focusWidget();
        if (action == "Space" || action == "Tab") {
            QTest::keyClick(focus, action == "Tab" ? Qt::Key_Tab : Qt::Key_Space);
            if (action == "Space" && qobject_cast<QAbstractButton *>(focus) != nullptr)
                oracle.press(focus->objectName().toStdString());
        } else {
            click(action);
            oracle.press(action.toStdString());
        }
        const QStringList expectedPanel{latin1(zelvar::settingGroup(oracle.visible).panel)};
        if (shownPanels() != expectedPanel || line() != QString::fromStdString(oracle.line))
            QFAIL(qPrintable(QString("seed %1, step %2: shows %3, \"%4\"; expected %5, \"%6\"\n%7")
                                 .arg(seed)
                                 .arg(step)
                                 .arg(shownPanels().join(' '), line(), expectedPanel.join(' '),
                                      QString::fromStdString(oracle.line), done.join(' '))));
    }
    qInfo("5000 actions, seed %u", seed);
}

// The walk the web page's test takes too: ZELVAR_WALK names a file of
// controls to click in turn; the line after each goes beside it, in .lines.
void TestWindow::walkGiven() {
    const QString walk = qEnvironmentVariable("ZELVAR_WALK");
    if (walk.isEmpty())
        QSKIP("no walk given (web.py gives one)");
    QFile in(walk);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QStringList lines;
    for (const QByteArray &name : in.readAll().split('\n'))
        if (!name.isEmpty()) {
            click(QString::fromLatin1(name));
            lines << line();
        }
    QFile out(walk + ".lines");
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(lines.join('\n').toLatin1());
}

void TestWindow::captionsShowWhole_data() {
    QTest::addColumn<QString>("style");
    for (const QString &style : QStyleFactory::keys())
        QTest::newRow(qPrintable(style)) << style;
}

// Under every style Qt ships, each caption fits its room with a pixel to
// spare on each side, clear of a button's bevel.
void TestWindow::captionsShowWhole() {
    QFETCH(QString, style);
    QApplication::setStyle(style);
    form = std::make_unique<Form1>();
    int seen = 0;
    for (QWidget *w : form->findChildren<QWidget *>()) {
        auto *button = qobject_cast<QAbstractButton *>(w);
        auto *label = qobject_cast<QLabel *>(w);
        if (button == nullptr && label == nullptr)
            continue;
        QStyleOptionButton option;
        option.initFrom(w);
        const QStyle::SubElement contents =
            qobject_cast<QCheckBox *>(w)      ? QStyle::SE_CheckBoxContents
            : qobject_cast<QRadioButton *>(w) ? QStyle::SE_RadioButtonContents
                                              : QStyle::SE_PushButtonContents;
        const QRect room = label != nullptr ? label->contentsRect()
                                            : w->style()->subElementRect(contents, &option, w);
        const QString text = label != nullptr ? label->text() : button->text();
        const QFontMetrics metrics = w->fontMetrics();
        const int spare = qobject_cast<QPushButton *>(w) != nullptr ? 2 : 0;
        QVERIFY2(metrics.horizontalAdvance(text) + spare <= room.width() &&
                     metrics.height() <= room.height(),
                 qPrintable(w->objectName() + ": " + text));
        ++seen;
    }
    QCOMPARE(seen, 114 + 3 + 7 + 4);
    auto *box = control<QLineEdit>("txtBitRate");
    QVERIFY(box->fontMetrics().horizontalAdvance("zv_instructorAllowedCMD 536870910") <
            box->contentsRect().width() - 4);
    QApplication::setStyle(QStringLiteral("fusion"));
}

void TestWindow::looks_data() {
    QTest::addColumn<QString>("press");
    QTest::newRow("start") << QString();
    for (int n = 1; n <= 7; ++n)
        QTest::newRow(qPrintable(QString("Command%1").arg(n))) << QString("Command%1").arg(n);
}

// The start frame and each panel, pixel for pixel as reviewed: a colour, a
// face, the picture's stretch or a control's look that moves nothing still
// changes pixels. A difference leaves the actual image and one with the
// differing pixels in red beside the test, for a reviewer.
void TestWindow::looks() {
    QFETCH(QString, press);
    // The pointer comes from a corner, so the pressed button shows hovered
    // whatever an earlier test left under it.
    QTest::mouseMove(form->windowHandle(), QPoint(0, 0));
    if (!press.isEmpty())
        click(press);
    const QImage actual = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString name = "look-" + (press.isEmpty() ? QString("start") : press);
    const QString reviewed = ZELVAR_TESTS_DIR "/data/" + name + ".png";
    if (qEnvironmentVariableIsSet("ZELVAR_UPDATE_LISTING")) {
        QVERIFY(actual.save(reviewed));
        QSKIP("image rewritten; review it before committing");
    }
    const QImage expected = QImage(reviewed).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(actual.size(), expected.size());
    QImage difference =
        actual.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
    QRect where;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y)) {
                difference.setPixel(x, y, qRgb(255, 0, 0));
                where |= QRect(x, y, 1, 1);
            }
    QFile::remove(name + ".actual.png");
    QFile::remove(name + ".difference.png");
    if (where.isValid()) {
        actual.save(name + ".actual.png");
        difference.save(name + ".difference.png");
    }
    QVERIFY2(!where.isValid(),
             qPrintable(QString("pixels differ within %1,%2 %3x%4; see %5.difference.png in %6")
                            .arg(where.x())
                            .arg(where.y())
                            .arg(where.width())
                            .arg(where.height())
                            .arg(name, QDir::currentPath())));
}

// At the screen's scale the window keeps its proportions and the picture
// shows in every corner, never the window's own colour.
void TestWindow::pictureCoversTheWindow() {
    const QImage shot = form->grab().toImage();
    const qreal ratio = form->devicePixelRatioF();
    QVERIFY(qAbs(shot.width() - 565 * ratio) <= 1 && qAbs(shot.height() - 391 * ratio) <= 1);
    const int right = shot.width() - 2;
    const int bottom = shot.height() - 2;
    for (const QPoint corner :
         {QPoint(1, 1), QPoint(right, 1), QPoint(1, bottom), QPoint(right, bottom)})
        QVERIFY(shot.pixelColor(corner) != form->palette().color(QPalette::Window));
    QCOMPARE(control("PicBack")->geometry(), QRect(QPoint(0, 0), form->frameGeometry().size()));
}

// The copy key copies the whole line wherever the focus is; in the text box,
// which no key edits, a part selected is what is copied.
void TestWindow::lineIsCopiedNeverEdited() {
    auto *box = control<QLineEdit>("txtBitRate");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(box, "123");
    box->setSelection(3, 7);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), "council");
    box->deselect();
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), "zv_councilAllowedCMD 536870910");
}

// Random boxes and rank, their line as the panel button writes it, opened in
// a fresh window: the same boxes, rank, panel and line; and zelvar-bits'
// encode gives the line back from the options decode names.
void TestWindow::openWhatTheWindowWrites() {
    std::mt19937 random(20261207U);
    for (int round = 0; round < 1400; ++round) {
        const auto group = Group(round % zelvar::kGroupCount);
        const zelvar::SettingGroup &g = zelvar::settingGroup(group);
        for (std::size_t i = 0; i < g.options.size(); ++i)
            control<QCheckBox>(QString("%1(%2)").arg(latin1(g.array)).arg(i))
                ->setChecked(random() % 2 != 0);
        if (group == Group::Admin)
            form->findChildren<QRadioButton *>().at(qsizetype(random() % 3))->setChecked(true);
        click(QString("Command%1").arg(int(group) + 1));
        Form1 fresh;
        fresh.openArguments({line()});
        const QStringList was = state();
        const QRegularExpression opened(
            QString("^(%1\\(|shows|line|%2)")
                .arg(latin1(g.array), group == Group::Admin ? "opt" : "line"));
        for (const QString &item : state(&fresh).filter(opened))
            QVERIFY2(was.contains(item), qPrintable(line() + ": " + item));
        const std::string text = line().toStdString();
        const auto variable = zelvar::findVariable(text.substr(0, text.find(' ')));
        const zelvar::Decoded d =
            zelvar::decode(*variable, std::stoll(text.substr(text.find(' '))));
        QCOMPARE(zelvar::encode(*variable, d.options), text);
    }
}

// A reviewed configuration: what opens, what shows and what is said.
void TestWindow::openConfiguration() {
    QVERIFY(QDir::setCurrent(ZELVAR_TESTS_DIR));
    form->openArguments({"data/opened.cfg"});
    compareWithReviewed(state() + message().split('\n'), "opened.listing");
    // A rank the file does not set shows its own start, never another's boxes.
    click("Command3");
    click("optam");
    QCOMPARE(line(), "zv_councilAllowedCMD 536870910");
    QCOMPARE(message(), "zv_councilAllowedCMD is not set in \"data/opened.cfg\".\n"
                        "Its boxes show as the calculator starts them.");
}

// The paste keys open the clipboard and a drop opens a file or text,
// wherever the focus is.
void TestWindow::pasteAndDrop() {
    QGuiApplication::clipboard()->setText("seta zv_teamLock \"20\"\r\n");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(state().filter(QRegularExpression("^(chkLock|shows|line)")).join(", "),
             "chkLock(0) off, chkLock(1) off, chkLock(2) on, chkLock(3) on, shows Frame3, line "
             "zv_teamLock 20");
    // As a console prints it, colours and all.
    QGuiApplication::clipboard()->setText(
        "^7Cvar ^3zv_knightAllowedCMD^7 = \"^76^7\", default = \"^70^7\"\n");
    control("txtBitRate")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(line(), "zv_knightAllowedCMD 6");

    for (const bool asFile : {true, false}) {
        QMimeData data;
        if (asFile)
            data.setUrls({QUrl::fromLocalFile(ZELVAR_TESTS_DIR "/data/opened.cfg")});
        else
            data.setText("g_forcePowerDisable 16");
        const QPoint at = control("chkAdmin(3)")->mapTo(form.get(), QPoint(2, 2));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &drop);
        QCOMPARE(line(), asFile ? "g_weaponDisable 40" : "g_forcePowerDisable 16");
        if (asFile)
            QVERIFY(message().startsWith("Some settings were not opened."));
    }
}

// Opened from a scripted server on loopback, the save key sends what changed
// there and says what the server answered; the password typed is asked again
// only after it failed (here one that can never match: none). Held by the
// server fallen silent, the window still takes clicks, and Escape ends the
// wait with nothing applied.
void TestWindow::serverSaveKey() {
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    QProcess server;
    server.start("python3", {ZELVAR_TESTS_DIR "/contract.py", "serve"});
    QVERIFY(server.waitForReadyRead(10000));
    const QByteArray port = server.readLine().trimmed();
    const QString address = "127.0.0.1:" + port;
    QTemporaryDir folder;  // the server by its name in a servers file, with its configuration
    QFile servers(folder.filePath("servers.toml"));
    QVERIFY(servers.open(QIODevice::WriteOnly) &&
            servers.write("[servers.duel]\naddress = \"" + address.toUtf8() +
                          "\"\nconfiguration = \"server.cfg\"\n") > 0);
    servers.close();
    QFile configuration(folder.filePath("server.cfg"));
    QVERIFY(configuration.open(QIODevice::WriteOnly) &&
            configuration.write("seta zv_teamLock 20\n") > 0);
    configuration.close();
    qputenv("ZELVAR_SERVERS", servers.fileName().toUtf8());
    form->openServer("duel");
    qunsetenv("ZELVAR_SERVERS");
    QVERIFY(message().contains("duel (" + address + "): zv_wordFilter: absent on the server"));
    QCOMPARE(form->windowTitle(),
             "duel (" + address + ") \u2014 Zelvar 1.9 Bitrate Calculator V1.3");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(message(), "Nothing to send.\n");
    click("Command5");
    click("chkLock(0)");
    const QString sent = line();
    qunsetenv("ZELVAR_RCON_PASSWORD");  // now asked for, and typed into the dialog
    // The file is written at the first Save; then it holds the values, and
    // the confirmation offers to send them alone.
    const Answering answering("Save|Send", {"", "s3cret"});  // the first, Enter alone
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(message().contains("the password is empty"));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    // Written with the first Save, which sent nothing; sent now.
    QCOMPARE(message(),
             "Sent.\n" + configuration.fileName() + ": unchanged\n" + sent + ": applied\n");
    QVERIFY(configuration.open(QIODevice::ReadOnly));
    QCOMPARE(configuration.readAll(), "seta zv_teamLock " + sent.split(' ')[1].toUtf8() + "\n");
    configuration.close();
    QCOMPARE(answering.boxes, (QStringList{"no box", "no box"}));  // no keyring here

    zelvar::UdpTransport({"127.0.0.1", port.toUShort()}).send("\xFF\xFF\xFF\xFFsilence");
    click("chkLock(1)");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return form->windowTitle().startsWith("Sending to "); }, 5000));
    form->activateWindow();  // from the confirmation, closed
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    click("Command1");
    QCOMPARE(shownPanels(), QStringList{"Frame1(0)"});
    QTest::keyClick(form.get(), Qt::Key_Escape);
    const QString cancelled = message();  // the file written stays so, and is said so
    QVERIFY2(cancelled.startsWith("Written into \"" + configuration.fileName() +
                                  "\"; not sent to duel (" + address + "): the wait for " +
                                  address + " was cancelled\n--- a/"),
             qPrintable(cancelled));
    QCOMPARE(answering.boxes.size(), 2);
    server.closeWriteChannel();
    QVERIFY(server.waitForFinished(5000));
}

// Opened from a file that sets all three ranks: Knight chosen only to look
// shows its own line; with a weapon unchecked, the save key shows the change:
// Cancel leaves the file byte for byte, Save changes the weapon's line alone.
void TestWindow::aLookIsNoChange() {
    QTemporaryDir folder;
    QFile file(folder.filePath("server.cfg"));
    const QByteArray before = "seta zv_knightAllowedCMD 38\nseta zv_instructorAllowedCMD 8230\n"
                              "seta zv_councilAllowedCMD 536870910\nseta g_weaponDisable 40\n";
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();
    form->openArguments({file.fileName()});
    click("Command3");
    click("optJK");
    QCOMPARE(line(), "zv_knightAllowedCMD 38");
    click("Command1");
    click("chkWeapon(2)");
    for (const char *button : {"Cancel", "Save"}) {
        const Answering answering(button);
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
        form->activateWindow();  // from the confirmation, closed
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray now = file.readAll();
        file.close();
        QCOMPARE(now, *button == 'C' ? before : QByteArray(before).replace("40", "44"));
    }
    const QString said = message();
    QVERIFY2(said.startsWith("Saved.\n"), qPrintable(said));
}

// With a keyring of its own (keyring.py runs it so, having kept a wrong
// password there): a kept password the server refuses is asked for again,
// box ticked, and let go when the user clears it; a typed one is kept only
// when ticked and taken by the server (keyring.py then reads it).
void TestWindow::keptPassword() {
    const QString address = qEnvironmentVariable("ZELVAR_KEYRING_SERVER");
    if (address.isEmpty())
        QSKIP("run by keyring.py, with a keyring of its own");
    const QString refused = "refused the password (\"Bad rconpassword.\"); the password came from ";
    for (const auto &[from, typed, boxes] :
         {std::tuple{"the system keyring", QStringList{"s3cret-"}, QStringList{"ticked"}},
          std::tuple{"the password dialog", QStringList{"wrong+", "s3cret+"},
                     QStringList{"clear", "clear"}}}) {
        cleanup();
        init();
        const Answering answering("Try again", typed);
        form->openServer(address);
        QVERIFY(message().contains(refused + from));
        QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(message().contains("absent on the server"));
        QCOMPARE(answering.boxes, boxes);
    }
}

// Maximising or filling the screen, as a title bar or a platform may offer,
// leaves the window as it is.
void TestWindow::keepsItsSize() {
    for (const Qt::WindowState larger : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
        form->setWindowState(larger);
        QTest::qWait(50);
        QCOMPARE(form->size(), QSize(565, 391));
        QCOMPARE(form->windowState(), Qt::WindowNoState);
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
