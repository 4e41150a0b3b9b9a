#include "form1.h"

#include "picture.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <bit>
#include <exception>
#include <string>
#include <utility>
#include <vector>

using zelvar::Group;
using zelvar::Rank;
using zelvar::ui::Control;
using zelvar::ui::Kind;
using zelvar::ui::Look;

namespace {

using zelvar::slot;

constexpr auto kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint;

const QColor kWindowBackground = QColor::fromRgb(zelvar::ui::kWindowBackground);
const QColor kGreen = QColor::fromRgb(zelvar::ui::kGreen);
const QColor kBlack = QColor::fromRgb(zelvar::ui::kBlack);

// The design's face, with a stand-in of the same proportions where it is missing.
const QString kFace = QStringLiteral("MS Sans Serif");

QFont designFont(qreal points, QFont::Weight weight, int letterSpacing = 100) {
    QFont font(kFace);
    font.setPointSizeF(points);
    font.setWeight(weight);
    font.setLetterSpacing(QFont::PercentageSpacing, letterSpacing);
    // Every caption is plain ASCII, which the face has: no fallback faces to
    // look up for glyphs it might lack.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

QRect pixelRect(const zelvar::TwipRect &twips) {
    using zelvar::ui::pixels;
    return {pixels(twips.left), pixels(twips.top), pixels(twips.width), pixels(twips.height)};
}

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget *placed(QWidget *widget, std::string_view name, const zelvar::TwipRect &rect) {
    widget->setObjectName(latin1(name));
    widget->setGeometry(pixelRect(rect));
    return widget;
}

// Paths as the file system spells them.
std::vector<std::string> localNames(const QStringList &names) {
    std::vector<std::string> bytes;
    for (const QString &name : names)
        bytes.push_back(QFile::encodeName(name).toStdString());
    return bytes;
}

void report(const std::string &text, QWidget *parent) {
    QMessageBox::critical(parent, QCoreApplication::applicationName(),
                          QString::fromStdString(text));
}

// Assistive technology meets the window as a frame named by its title, and
// never meets the picture, which only decorates.
class AccessibleForm final : public QAccessibleWidget {
public:
    explicit AccessibleForm(QWidget *form) : QAccessibleWidget(form, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(children().size()); }
    QAccessibleInterface *child(int index) const override {
        return QAccessible::queryAccessibleInterface(children().value(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return static_cast<int>(children().indexOf(qobject_cast<QWidget *>(child->object())));
    }

private:
    QWidgetList children() const {
        QWidgetList list;
        for (QObject *object : widget()->children())
            if (auto *w = qobject_cast<QWidget *>(object);
                w != nullptr && !w->isWindow() && dynamic_cast<Picture *>(w) == nullptr)
                list << w;
        return list;
    }
};

QAccessibleInterface *accessibleForm(const QString & /*className*/, QObject *object) {
    auto *form = qobject_cast<Form1 *>(object);
    return form == nullptr ? nullptr : new AccessibleForm(form);
}

}  // namespace

// What building passes down: the looks the window does not pass on by
// itself, and the controls by tab index.
struct Form1::Building {
    QFont green = designFont(8.25, QFont::Bold);
    QFont large = designFont(9.75, QFont::Bold);
    QPalette panel;
    QPalette greenOnBlack;
    QPalette outputBox;
    std::array<QWidget *, zelvar::kTabStops> tabs{};

    explicit Building(QPalette standard) : panel(std::move(standard)) {
        // A panel is black, and its caption keeps the standard text colour:
        // on the black panel it cannot be read.
        panel.setColor(QPalette::Window, kBlack);
        greenOnBlack = panel;
        greenOnBlack.setColor(QPalette::Button, kBlack);  // what buttons fill their background with
        greenOnBlack.setColor(QPalette::WindowText, kGreen);
        outputBox = greenOnBlack;
        outputBox.setColor(QPalette::Base, kBlack);
        outputBox.setColor(QPalette::Text, kGreen);
    }
};

// Controls take their font from their container unless it differs: a font of
// a control's own costs a look-up each. So a panel carries the bold face its
// controls use, though its own caption, which cannot be read, shows in it too.
//
// The panel buttons take the window's face. The stand-in face is a little
// wider than the design's, and under styles with a deep bevel "Admin Command
// Disable" would touch its button's edges, so the window's face sets its
// letters a little closer.
Form1::Form1(QWidget *parent) : QWidget(parent, kWindowFlags) {
    static const bool accessible = (QAccessible::installFactory(&accessibleForm), true);
    Q_UNUSED(accessible);
    QFont::insertSubstitution(kFace, QStringLiteral("Liberation Sans"));
    // Qt lays out some text in the application's face before a control has
    // its own (the text box does); with the design's face there, no other
    // face is ever loaded.
    QApplication::setFont(designFont(8.25, QFont::Normal));
    setWindowTitle(latin1(zelvar::ui::kForm1Caption));
    setWindowIcon(QIcon(QStringLiteral(":/icon.png")));
    const QRect client = pixelRect(zelvar::ui::kForm1ClientArea);
    setFixedSize(client.size());
    setFont(designFont(8.25, QFont::Normal, 97));
    Building building(palette());
    QPalette background = palette();
    background.setColor(QPalette::Window, kWindowBackground);
    setPalette(background);

    build(zelvar::ui::kForm1, this, building);
    QWidget *previous = nullptr;
    for (QWidget *widget : building.tabs) {
        if (widget == nullptr || !(widget->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous != nullptr)
            setTabOrder(previous, widget);
        previous = widget;
    }

    // The standard keys, anywhere in the window; the text box keeps its own
    // copy of a selection (see eventFilter), and reads no paste.
    txtBitRate->installEventFilter(this);
    txtBitRate->setAcceptDrops(false);
    setAcceptDrops(true);
    const auto bind = [this](QKeySequence::StandardKey key, void (zelvar::app::Flows::*flow)()) {
        connect(new QShortcut(key, this), &QShortcut::activated, this,
                [this, flow] { run([this, flow] { (flows_.*flow)(); }); });
    };
    bind(QKeySequence::Paste, &zelvar::app::Flows::pasteKey);
    bind(QKeySequence::Copy, &zelvar::app::Flows::copyKey);
    bind(QKeySequence::Save, &zelvar::app::Flows::saveKey);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { run([this] { flows_.escapeKey(); }); });

    run([this] { form_.Form_Load(); });
}

// The tables list controls front to back, and Qt stacks later siblings in
// front, so each container is built from its last control to its first.
void Form1::build(std::span<const Control> controls, QWidget *container, Building &b) {
    for (std::size_t i = controls.size(); i-- > 0;) {
        const Control &c = controls[i];
        QWidget *widget = nullptr;
        switch (c.kind) {
        case Kind::Picture:
            PicBack = new Picture(QStringLiteral(":/backdrop.jpg"), container);
            widget = placed(PicBack, c.name, c.rect);
            break;
        case Kind::Panel: {
            auto *frame = new QGroupBox(latin1(c.caption), container);
            widget = placed(frame, c.name, c.rect);
            frame->setPalette(b.panel);
            frame->setFont(b.green);
            frame->setAutoFillBackground(true);
            build(c.contents, frame, b);
            frame->setVisible(c.designState);
            panels_[slot(c.group)] = frame;
            break;
        }
        case Kind::PanelButton: {
            auto *button = new QPushButton(latin1(c.caption), container);
            widget = placed(button, c.name, c.rect);
            connectClick(button, [this, group = c.group] { form_.panelButtonClick(group); });
            break;
        }
        case Kind::TextBox:
            txtBitRate = new QLineEdit(latin1(c.caption), container);
            // Selectable and copyable, but a stray key must not corrupt the line.
            txtBitRate->setReadOnly(true);
            txtBitRate->setAccessibleName(latin1(zelvar::ui::kLineBoxName));
            txtBitRate->setPalette(b.outputBox);
            txtBitRate->setFont(b.green);
            widget = placed(txtBitRate, c.name, c.rect);
            break;
        case Kind::OptionButton: {
            auto *option = new QRadioButton(latin1(c.caption), container);
            option->setChecked(c.designState);
            option->setPalette(b.greenOnBlack);
            option->setAutoFillBackground(true);
            opt_[slot(c.rank)] = option;
            widget = placed(option, c.name, c.rect);
            connectClick(option, [this, rank = c.rank] { flows_.rankClick(rank); });
            break;
        }
        case Kind::Label: {
            auto *label = new QLabel(latin1(c.caption), container);
            label->setAlignment(c.centred ? Qt::AlignHCenter | Qt::AlignTop
                                          : Qt::AlignLeft | Qt::AlignTop);
            if (c.look == Look::GreenLarge)
                label->setFont(b.large);
            label->setPalette(b.greenOnBlack);
            label->setAutoFillBackground(true);
            widget = placed(label, c.name, c.rect);
            break;
        }
        case Kind::CheckBoxes:
            buildBoxes(c.group, container, b);
            break;
        }
        if (widget != nullptr && c.tabIndex >= 0)
            b.tabs[slot(c.tabIndex)] = widget;
    }
}

void Form1::buildBoxes(Group group, QWidget *panel, Building &b) {
    const zelvar::SettingGroup &setting = zelvar::settingGroup(group);

    auto *array = new QButtonGroup(this);
    array->setExclusive(false);
    chk_[slot(group)] = array;
    const QString name = latin1(setting.array) + QStringLiteral("(%1)");
    // Made first to last, so that a later box stands in front of an earlier
    // one, as the layout's indicatorsShowWhole holds every front-end to.
    for (int index = 0; index < static_cast<int>(setting.options.size()); ++index) {
        const zelvar::Option &option = setting.options[slot(index)];
        auto *box = new QCheckBox(latin1(option.caption), panel);
        box->setChecked(setting.defaultChecked);
        box->setGeometry(pixelRect(option.rect));
        box->setObjectName(name.arg(index));
        box->setPalette(b.greenOnBlack);
        box->setAutoFillBackground(true);
        // What a screen reader or a hovering pointer tells besides the caption.
        const std::int64_t value = zelvar::catalogueValue(option.valueText);
        const QString bit = QStringLiteral("bit %1, value %2")
                                .arg(std::countr_zero(static_cast<std::uint64_t>(value)))
                                .arg(value);
        box->setAccessibleDescription(bit);
        box->setToolTip(bit);
        array->addButton(box, index);
        b.tabs[slot(option.tabIndex)] = box;
    }
    connect(array, &QButtonGroup::idClicked, this,
            [this, group](int index) { run([&] { form_.checkBoxClick(group, index); }); });
}

template <class Procedure> void Form1::connectClick(QAbstractButton *button, Procedure procedure) {
    connect(button, &QAbstractButton::clicked, this, [this, procedure] { run(procedure); });
}

// Qt must never see an exception: the runtime's report, then the end.
template <class Body> void Form1::run(Body body) {
    auto end = [this](const zelvar::RuntimeError &error) {
        report(error.report(), this);
        QCoreApplication::exit(error.number());
    };
    try {
        body();
    } catch (const zelvar::RuntimeError &error) {
        end(error);
    } catch (const std::exception &) {
        end(zelvar::RuntimeError(zelvar::RuntimeError::Internal));
    }
}

void Form1::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    form_.Form_Resize();
}

// The window has one size. A platform, or a title bar that Qt draws itself
// (on Wayland, with buttons this window does not ask for), may still offer
// to maximise it or fill the screen: the window declines and stays as it is.
void Form1::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    constexpr Qt::WindowStates kLarger = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & kLarger))
        setWindowState(windowState() & ~kLarger);
}

// Qt makes a whole button group one tab stop (a box taking focus strips the
// tab stop from the others of its group), but each box of an array is a tab
// stop of its own here, so Tab walks the focus chain itself. Of the rank
// buttons only the selected one is a stop, as with any group of option buttons.
bool Form1::focusNextPrevChild(bool next) {
    QWidget *from = focusWidget();
    if (from == nullptr)
        return QWidget::focusNextPrevChild(next);
    auto step = [next](QWidget *w) {
        return next ? w->nextInFocusChain() : w->previousInFocusChain();
    };
    for (QWidget *candidate = step(from); candidate != from; candidate = step(candidate)) {
        const auto *radio = qobject_cast<QRadioButton *>(candidate);
        if (candidate->focusPolicy() != Qt::NoFocus && candidate->isVisibleTo(this) &&
            candidate->isEnabled() && (radio == nullptr || radio->isChecked())) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void Form1::openArguments(const QStringList &arguments) {
    run([&] { flows_.openArguments(localNames(arguments)); });
}

void Form1::openServer(const QString &server) {
    run([&] { flows_.openServer(server.toStdString()); });
}

// With part of the line selected, the text box copies that part itself;
// otherwise its copy key is the window's.
bool Form1::eventFilter(QObject *watched, QEvent *event) {
    if (watched == txtBitRate && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy) &&
        !txtBitRate->hasSelectedText())
        return true;
    return QWidget::eventFilter(watched, event);
}

void Form1::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event) {
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (files.isEmpty() && !event->mimeData()->hasText())
        return;
    event->acceptProposedAction();
    if (files.isEmpty())
        run([&] { flows_.dropText(event->mimeData()->text().toStdString()); });
    else
        run([&] { flows_.dropFiles(localNames(files)); });
}

// A message opens over the window, which must be on screen first:
// arguments are opened before it shows.
void Form1::paintEvent(QPaintEvent *event) {
    QWidget::paintEvent(event);
    if (painted_)
        return;
    painted_ = true;
    QMetaObject::invokeMethod(
        this, [this] { run([this] { flows_.shown(); }); }, Qt::QueuedConnection);
}

std::optional<std::string> Form1::askSaveFile() {
    const QString chosen = QFileDialog::getSaveFileName(
        this, tr("Save the line into a configuration"), QString(),
        tr("Configurations (*.cfg);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

std::optional<std::string> Form1::askPassword(const std::string &server,
                                              std::optional<bool> &keep) {
    QDialog dialog(isVisible() ? this : nullptr);
    dialog.setObjectName("passwordDialog");
    dialog.setWindowTitle(windowTitle());
    auto *column = new QVBoxLayout(&dialog);
    auto *typed = new QLineEdit(&dialog);
    typed->setEchoMode(QLineEdit::Password);
    auto *label = new QLabel(QString::fromStdString(zelvar::passwordQuestion(server)), &dialog);
    label->setBuddy(typed);
    column->addWidget(label);
    column->addWidget(typed);
    QCheckBox *kept = nullptr;
    if (keep) {
        kept = new QCheckBox(latin1(zelvar::app::kKeepPasswordCaption), &dialog);
        kept->setChecked(*keep);
        column->addWidget(kept);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    column->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (kept != nullptr)
        keep = kept->isChecked();
    return typed->text().toStdString();
}

bool Form1::confirm(std::string_view heading, const std::string &details, std::string_view action) {
    QMessageBox box(QMessageBox::Question, windowTitle(), latin1(heading), QMessageBox::Cancel,
                    this);
    // What will change shows in the dialog itself, as the diff reads, in a
    // fixed face; a long one in full behind Show Details.
    constexpr qsizetype kShownLines = 24;
    const QString all = QString::fromStdString(details);
    QStringList lines = all.split('\n');
    const bool cut = lines.size() > kShownLines;
    if (cut) {
        lines.resize(kShownLines);
        lines << QStringLiteral("\u2026");
        box.setDetailedText(all);
    }
    // Long lines wrap between words, as a terminal would not cut them.
    box.setInformativeText("<p style=\"white-space: pre-wrap; font-family: monospace\">" +
                           lines.join('\n').toHtmlEscaped() + "</p>");
    QPushButton *go = box.addButton(latin1(action), QMessageBox::AcceptRole);
    box.setDefaultButton(go);
    box.exec();
    return box.clickedButton() == go;
}

zelvar::app::Dialogs::Unsaved Form1::askUnsaved(std::string_view heading,
                                                const std::string &details) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), latin1(heading),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(QString::fromStdString(details));
    box.setDefaultButton(QMessageBox::Save);
    const int chosen = box.exec();
    return chosen == QMessageBox::Save      ? Unsaved::Save
           : chosen == QMessageBox::Discard ? Unsaved::Discard
                                            : Unsaved::Cancel;
}

void Form1::closeEvent(QCloseEvent *event) {
    bool may = true;
    run([&] { may = flows_.mayClose(); });
    if (may)
        event->accept();
    else
        event->ignore();
}

void Form1::message(bool fine, std::string_view heading, const std::string &details) {
    auto *box = new QMessageBox(fine ? QMessageBox::Information : QMessageBox::Warning,
                                windowTitle(), latin1(heading), QMessageBox::Ok, this);
    box->setInformativeText(QString::fromStdString(details));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

std::string Form1::clipboardText() { return QGuiApplication::clipboard()->text().toStdString(); }

void Form1::setClipboardText(const std::string &text) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void Form1::busy(std::string_view what) {
    if (busy_)
        QGuiApplication::restoreOverrideCursor();
    busy_ = !what.empty();
    if (busy_)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

std::string Form1::line() const { return txtBitRate->text().toStdString(); }

void Form1::post(std::function<void()> then) {
    QMetaObject::invokeMethod(
        this, [this, then = std::move(then)] { run(then); }, Qt::QueuedConnection);
}

void Form1::setTitle(const std::string &title) { setWindowTitle(QString::fromStdString(title)); }

bool Form1::checked(Group group, int index) const {
    return chk_[slot(group)]->button(index)->isChecked();
}

bool Form1::rankSelected(Rank rank) const { return opt_[slot(rank)]->isChecked(); }

void Form1::writeLine(std::string_view line) { txtBitRate->setText(latin1(line)); }

void Form1::setPanelVisible(Group group, bool visible) {
    panels_[slot(group)]->setVisible(visible);
}

void Form1::setChecked(Group group, int index, bool checked) {
    chk_[slot(group)]->button(index)->setChecked(checked);
}

void Form1::setRankSelected(Rank rank) { opt_[slot(rank)]->setChecked(true); }

void Form1::placePicture(int left, int top, int width, int height) {
    PicBack->setGeometry(left, top, width, height);
}

int Form1::outerWidth() const { return frameGeometry().width(); }
int Form1::outerHeight() const { return frameGeometry().height(); }

void Form1::setOutputBackground(std::uint32_t rgb) {
    QPalette box = txtBitRate->palette();
    box.setColor(QPalette::Base, QColor::fromRgb(rgb));
    txtBitRate->setPalette(box);
}
