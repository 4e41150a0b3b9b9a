// The calculator's one window, in Qt Widgets.
//
// How a click flows: the window is built by walking the layout table and the
// option catalogue. Each check-box array is a QButtonGroup whose id is the
// box's index; its idClicked signal, which only a user's click or key raises,
// runs the array's click procedure in the shared zelvar::Form, as panel and
// rank buttons run theirs. The procedures and the totals read the boxes and
// rank buttons back through this window (it is their Controls) and write the
// line into txtBitRate. Setting a state from code raises nothing. A run-time
// error ends the program with the runtime's standard report.
//
// Opening what an administrator already has (arguments, --server, the paste
// key, a drop), the copy key and the save key are the shared Flows'; this
// window gives them its keys and drops, and answers for them with Qt's
// standard dialogs (it is their Dialogs) and QtKeychain.
#pragma once

#include "flows.h"
#include "form.h"
#include "layout.h"
#include "qtkeyring.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class Picture;

class Form1 final : public QWidget, private zelvar::Controls, private zelvar::app::Dialogs {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);

    // FILE | LINE | VARIABLE VALUE, as the program's arguments give them.
    void openArguments(const QStringList &arguments);
    // The nine settings of the server HOST[:PORT].
    void openServer(const QString &server);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Building from the tables.
    struct Building;
    void build(std::span<const zelvar::ui::Control> controls, QWidget *container, Building &b);
    void buildBoxes(zelvar::Group group, QWidget *panel, Building &b);
    template <class Procedure> void connectClick(QAbstractButton *button, Procedure procedure);

    // What the procedures and the totals ask of the controls.
    bool checked(zelvar::Group group, int index) const override;
    bool rankSelected(zelvar::Rank rank) const override;
    void writeLine(std::string_view line) override;
    void setPanelVisible(zelvar::Group group, bool visible) override;
    void setChecked(zelvar::Group group, int index, bool checked) override;
    void setRankSelected(zelvar::Rank rank) override;
    void placePicture(int left, int top, int width, int height) override;
    int outerWidth() const override;
    int outerHeight() const override;
    void setOutputBackground(std::uint32_t rgb) override;

    template <class Body> void run(Body body);

    // What the shared flows ask of the window.
    std::optional<std::string> askSaveFile() override;
    std::optional<std::string> askPassword(const std::string &server,
                                           std::optional<bool> &keep) override;
    bool confirm(std::string_view heading, const std::string &details,
                 std::string_view action) override;
    Unsaved askUnsaved(std::string_view heading, const std::string &details) override;
    void message(bool fine, std::string_view heading, const std::string &details) override;
    std::string clipboardText() override;
    void setClipboardText(const std::string &text) override;
    void busy(std::string_view what) override;
    std::string line() const override;
    void post(std::function<void()> then) override;
    void setTitle(const std::string &title) override;
    void close() override { QWidget::close(); }

    std::array<QButtonGroup *, zelvar::kGroupCount> chk_{};  // the check-box arrays, by group
    std::array<QGroupBox *, zelvar::kGroupCount> panels_{};  // Frame1(0) ..., by group
    std::array<QRadioButton *, zelvar::kRankCount> opt_{};   // optJK, optInstructor, optam, by rank
    QLineEdit *txtBitRate = nullptr;
    Picture *PicBack = nullptr;
    bool painted_ = false;  // the first frame is on screen
    bool busy_ = false;
    zelvar::Form form_{*this};
    QtKeyring keyring_{this};
    zelvar::app::Flows flows_{form_, *this, &keyring_};
};
