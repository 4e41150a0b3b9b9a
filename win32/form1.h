// The calculator's one window, on the Win32 API: the design's own platform,
// its standard controls and face.
//
// How a click flows: the window is built by walking the layout table and the
// option catalogue; each control's id says its group and index, or its rank.
// A button's BN_CLICKED, which only a user's click or key raises, reaches
// the window procedure (from a panel, through the panel's), which runs the
// control's procedure in the shared zelvar::Form. The procedures and the
// totals read the boxes and rank buttons back through this window (it is
// their Controls) and write the line into txtBitRate. BM_SETCHECK from code
// raises nothing. A run-time error ends the program with the runtime's
// standard report.
//
// The keys the design's platform gives a form are kept: Tab walks the
// controls by tab index, arrows move between the ranks, Space toggles.
// Opening what an administrator already has (arguments, --server, the paste
// key, a dropped file), the copy key and the save key are the shared Flows';
// this window gives them its keys and drops, and answers for them with the
// platform's standard dialogs (it is their Dialogs) and the Credential
// Manager.
#pragma once

#include "flows.h"
#include "form.h"
#include "keyring.h"
#include "layout.h"

#include <windows.h>

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct IPicture;

class Form1 final : private zelvar::Controls, private zelvar::app::Dialogs {
public:
    explicit Form1(HINSTANCE instance);
    ~Form1();
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    HWND window() const { return hwnd_; }
    // FILE | LINE | VARIABLE VALUE, as the program's arguments give them.
    void openArguments(std::span<const std::string> arguments);
    // The nine settings of the server HOST[:PORT]; the save key sends changes there.
    void openServer(const std::string &server);
    // The window's keys, before the controls see them; true when taken.
    bool preTranslate(MSG &message);

    // What the tests ask of the live window.
    std::string_view nameOf(HWND control) const;
    HWND control(std::string_view name) const;

private:
    std::wstring title() const;  // the window's, which its dialogs take
    static LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK panelProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK pictureProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);

    void build(std::span<const zelvar::ui::Control> controls, HWND container);
    void stack(std::span<const zelvar::ui::Control> controls);
    void buildBoxes(zelvar::Group group, HWND panel);
    HWND create(const wchar_t *kind, std::string_view name, std::string_view caption, DWORD style,
                const zelvar::TwipRect &rect, HWND container, int id, int tabIndex, HFONT font);
    void command(int id);
    void tab(bool forward);
    template <class Body> void run(Body body);

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
    void close() override;

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

    struct Named {
        HWND hwnd;
        std::string name;
        int tabIndex;
        bool focusable;
    };

    HWND hwnd_ = nullptr;
    bool busy_ = false;
    HFONT standard_ = nullptr;  // the panel buttons' face
    HFONT green_ = nullptr;     // the green-on-black style's face
    HFONT large_ = nullptr;     // Label2's
    HBRUSH black_ = nullptr;
    HBRUSH outputBrush_ = nullptr;
    COLORREF outputBackground_ = 0;
    IPicture *picture_ = nullptr;
    std::array<std::vector<HWND>, zelvar::kGroupCount> chk_{};  // the check-box arrays
    std::array<HWND, zelvar::kGroupCount> panels_{};
    std::array<HWND, zelvar::kRankCount> opt_{};  // optJK, optInstructor, optam, by rank
    HWND txtBitRate = nullptr;
    HWND PicBack = nullptr;
    std::vector<Named> controls_;  // every control, and by tab index those that have one
    bool shown_ = false;
    zelvar::Form form_{*this};
    zelvar::app::Flows flows_{form_, *this, &zelvar::systemKeyring()};
};
