#include "form1.h"

#include "text.h"

#include <commdlg.h>
#include <olectl.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

using zelvar::Group;
using zelvar::Rank;
using zelvar::ui::Control;
using zelvar::ui::Kind;
using zelvar::ui::Look;

namespace {

using zelvar::slot;

// Control ids: what a BN_CLICKED is for.
constexpr int kPanelButtonId = 100;  // + group
constexpr int kRankId = 200;         // + rank
constexpr int kBoxId = 1000;         // + 100 * group + index
constexpr int kShown = WM_APP;       // the window is on screen
constexpr int kPosted = WM_APP + 1;  // a std::function<void()> *, to run and delete

// COLORREF holds its colours the other way round: 0x00BBGGRR.
constexpr COLORREF colorRef(std::uint32_t rgb) {
    return RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
}
constexpr COLORREF kGreen = colorRef(zelvar::ui::kGreen);
constexpr COLORREF kBlack = colorRef(zelvar::ui::kBlack);
constexpr COLORREF kWindowBackground = colorRef(zelvar::ui::kWindowBackground);

constexpr wchar_t kFormClass[] = L"Form1";
constexpr wchar_t kPanelClass[] = L"Frame";
constexpr wchar_t kPictureClass[] = L"PictureBox";

// A path as the model opens it: with the C library, which takes the ANSI code page.
std::string localName(std::wstring_view path) { return narrow(path, CP_ACP); }

// A dialog template built in memory: words, DWORD-aligned where the format
// wants it.
struct DialogTemplate {
    std::vector<WORD> words;
    void align() {
        if (words.size() % 2 != 0)
            words.push_back(0);
    }
    void add(DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    }
    void text(std::wstring_view s) {
        words.insert(words.end(), s.begin(), s.end());
        words.push_back(0);
    }
    void rect(short x, short y, short cx, short cy) {
        for (short v : {x, y, cx, cy})
            words.push_back(static_cast<WORD>(v));
    }
    // A control of a system class (0x80 button, 0x81 edit, 0x82 static).
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
              std::wstring_view caption) {
        align();
        add(style | WS_CHILD | WS_VISIBLE);
        add(0);
        rect(x, y, cx, cy);
        words.push_back(id);
        words.push_back(0xFFFF);
        words.push_back(atom);
        text(caption);
        words.push_back(0);
    }
};

constexpr WORD kPasswordBox = 10;
constexpr WORD kKeepBox = 11;

// What the dialog gives back: the password typed, and the keep box's state.
struct PasswordAsked {
    std::wstring typed;
    bool keep = false;
};

INT_PTR CALLBACK passwordProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, l);
        CheckDlgButton(dialog, kKeepBox,
                       reinterpret_cast<PasswordAsked *>(l)->keep ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(w) != IDOK && LOWORD(w) != IDCANCEL))
        return FALSE;
    if (LOWORD(w) == IDOK) {
        auto *asked = reinterpret_cast<PasswordAsked *>(GetWindowLongPtrW(dialog, DWLP_USER));
        std::wstring &typed = asked->typed;
        typed.assign(
            static_cast<std::size_t>(GetWindowTextLengthW(GetDlgItem(dialog, kPasswordBox))) + 1,
            L'\0');
        typed.resize(static_cast<std::size_t>(
            GetDlgItemTextW(dialog, kPasswordBox, typed.data(), static_cast<int>(typed.size()))));
        asked->keep = IsDlgButtonChecked(dialog, kKeepBox) == BST_CHECKED;
    }
    EndDialog(dialog, LOWORD(w));
    return TRUE;
}

// The password asked for in a dialog of its own, typed without being shown,
// with the keep box where there is a keyring; none when the user cancels.
std::optional<std::string> askPasswordDialog(HINSTANCE instance, HWND owner,
                                             const std::wstring &title, const std::string &server,
                                             std::optional<bool> &keep) {
    const short below = keep ? 16 : 0;  // room for the keep box
    DialogTemplate t;
    t.add(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.add(0);
    t.words.push_back(keep ? 5 : 4);  // controls
    t.rect(0, 0, 220, static_cast<short>(62 + below));
    t.words.push_back(0);  // no menu
    t.words.push_back(0);  // the standard class
    t.text(title);
    t.words.push_back(8);
    t.text(L"MS Shell Dlg");
    t.item(SS_LEFT, 7, 7, 206, 10, 0xFFFF, 0x82, wide(zelvar::passwordQuestion(server)));
    t.item(ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 20, 206, 13, kPasswordBox,
           0x81, L"");
    if (keep)
        t.item(BS_AUTOCHECKBOX | WS_TABSTOP, 7, 39, 206, 10, kKeepBox, 0x80,
               wide(zelvar::app::kKeepPasswordCaption));
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 109, static_cast<short>(41 + below), 50, 14, IDOK, 0x80,
           L"OK");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, 163, static_cast<short>(41 + below), 50, 14, IDCANCEL, 0x80,
           L"Cancel");
    PasswordAsked asked{{}, keep.value_or(false)};
    if (DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(t.words.data()), owner,
                                passwordProc, reinterpret_cast<LPARAM>(&asked)) != IDOK)
        return std::nullopt;
    if (keep)
        keep = asked.keep;
    return narrow(asked.typed);
}

// The design's face, at its point size on a 96-dpi screen.
HFONT designFont(int tenthsOfPoints, bool bold) {
    return CreateFontW(-MulDiv(tenthsOfPoints, 96, 720), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

// The picture, decoded by the platform from the program's own resource.
IPicture *loadPicture(HINSTANCE instance) {
    HRSRC found = FindResourceW(instance, L"PICBACK", MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr)
        return nullptr;
    const DWORD size = SizeofResource(instance, found);
    const void *bytes = LockResource(LoadResource(instance, found));
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (copy == nullptr || bytes == nullptr)
        return nullptr;
    CopyMemory(GlobalLock(copy), bytes, size);
    GlobalUnlock(copy);
    IStream *stream = nullptr;
    IPicture *picture = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                       reinterpret_cast<void **>(&picture));
        stream->Release();
    }
    return picture;
}

void registerClass(HINSTANCE instance, const wchar_t *name, WNDPROC procedure, HBRUSH background,
                   HICON icon = nullptr) {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = procedure;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    c.hbrBackground = background;
    c.hIcon = icon;
    c.lpszClassName = name;
    RegisterClassExW(&c);
}

template <class T> T *self(HWND hwnd, UINT message, LPARAM l) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams));
    return reinterpret_cast<T *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

Form1::Form1(HINSTANCE instance)
    : standard_(designFont(83, false)), green_(designFont(83, true)), large_(designFont(98, true)),
      black_(CreateSolidBrush(kBlack)) {
    picture_ = loadPicture(instance);
    registerClass(instance, kFormClass, formProc, CreateSolidBrush(kWindowBackground),
                  LoadIconW(instance, L"IDI_ICON1"));
    // A class outlives the window that registers it first: its brush is the
    // system's, never one that window deletes.
    registerClass(instance, kPanelClass, panelProc,
                  static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    registerClass(instance, kPictureClass, pictureProc, nullptr);

    // A fixed single border with a title, the system menu and the close button.
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const zelvar::TwipRect &area = zelvar::ui::kForm1ClientArea;
    RECT outer{0, 0, zelvar::ui::pixels(area.width), zelvar::ui::pixels(area.height)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, WS_EX_CONTROLPARENT);
    hwnd_ =
        CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, wide(zelvar::ui::kForm1Caption).c_str(),
                        kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                        outer.bottom - outer.top, nullptr, nullptr, instance, this);
    build(zelvar::ui::kForm1, hwnd_);
    stack(zelvar::ui::kForm1);
    // Tab walks the controls by tab index, which is also the order arrows
    // move in between the ranks.
    std::stable_sort(controls_.begin(), controls_.end(),
                     [](const Named &a, const Named &b) { return a.tabIndex < b.tabIndex; });
    DragAcceptFiles(hwnd_, TRUE);
    run([this] { form_.Form_Load(); });
}

Form1::~Form1() {
    if (picture_ != nullptr)
        picture_->Release();
    DestroyWindow(hwnd_);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(standard_), static_cast<HGDIOBJ>(green_),
                      static_cast<HGDIOBJ>(large_), static_cast<HGDIOBJ>(black_),
                      static_cast<HGDIOBJ>(outputBrush_)})
        if (o != nullptr)
            DeleteObject(o);
}

HWND Form1::create(const wchar_t *kind, std::string_view name, std::string_view caption,
                   DWORD style, const zelvar::TwipRect &rect, HWND container, int id, int tabIndex,
                   HFONT font) {
    using zelvar::ui::pixels;
    HWND hwnd = CreateWindowExW(
        kind == kPanelClass ? WS_EX_CONTROLPARENT : 0, kind, wide(caption).c_str(),
        WS_CHILD | WS_CLIPSIBLINGS | style, pixels(rect.left), pixels(rect.top), pixels(rect.width),
        pixels(rect.height), container, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)), this);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const bool focusable =
        std::wstring_view(kind) == L"BUTTON" || std::wstring_view(kind) == L"EDIT";
    controls_.push_back({hwnd, std::string(name), tabIndex, focusable});
    return hwnd;
}

void Form1::build(std::span<const Control> controls, HWND container) {
    for (const Control &c : controls) {
        switch (c.kind) {
        case Kind::Picture:
            PicBack =
                create(kPictureClass, c.name, {}, WS_VISIBLE, c.rect, container, 0, -1, green_);
            break;
        case Kind::Panel: {
            HWND panel = create(kPanelClass, c.name, c.caption, c.designState ? WS_VISIBLE : 0,
                                c.rect, container, 0, c.tabIndex, green_);
            panels_[slot(c.group)] = panel;
            build(c.contents, panel);
            break;
        }
        case Kind::PanelButton:
            create(L"BUTTON", c.name, c.caption, WS_VISIBLE | BS_PUSHBUTTON, c.rect, container,
                   kPanelButtonId + static_cast<int>(c.group), c.tabIndex, standard_);
            break;
        case Kind::TextBox:
            // Selectable and copyable, but a stray key must not corrupt the line.
            txtBitRate = create(L"EDIT", c.name, c.caption,
                                WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, c.rect,
                                container, 0, c.tabIndex, green_);
            break;
        case Kind::OptionButton: {
            // The first rank in tab order opens the group the arrows move in.
            const DWORD first = c.rank == Rank::Council ? WS_GROUP : 0;
            opt_[slot(c.rank)] =
                create(L"BUTTON", c.name, c.caption, WS_VISIBLE | BS_AUTORADIOBUTTON | first,
                       c.rect, container, kRankId + static_cast<int>(c.rank), c.tabIndex, green_);
            if (c.designState)
                SendMessageW(opt_[slot(c.rank)], BM_SETCHECK, BST_CHECKED, 0);
            break;
        }
        case Kind::Label:
            create(L"STATIC", c.name, c.caption,
                   WS_VISIBLE | (c.centred ? SS_CENTER : SS_LEFT) | SS_NOPREFIX, c.rect, container,
                   0, c.tabIndex, c.look == Look::GreenLarge ? large_ : green_);
            break;
        case Kind::CheckBoxes:
            buildBoxes(c.group, container);
            break;
        }
    }
}

// Each container stacks its controls front to back as the tables list them,
// a check-box array its last box in front, which keeps every indicator whole
// where the design's rectangles overlap (the layout's indicatorsShowWhole);
// the ranks, which overlap nothing, in tab order, the order arrows move in.
void Form1::stack(std::span<const Control> controls) {
    std::vector<HWND> order;
    std::vector<const Control *> ranks;
    for (const Control &c : controls) {
        if (c.kind == Kind::CheckBoxes)
            order.insert(order.end(), chk_[slot(c.group)].rbegin(), chk_[slot(c.group)].rend());
        else if (c.kind == Kind::OptionButton)
            ranks.push_back(&c);
        else
            order.push_back(control(c.name));
        stack(c.contents);
    }
    std::sort(ranks.begin(), ranks.end(),
              [](const Control *a, const Control *b) { return a->tabIndex < b->tabIndex; });
    std::transform(ranks.begin(), ranks.end(), std::inserter(order, order.begin()),
                   [this](const Control *c) { return control(c->name); });
    for (HWND hwnd : order)
        SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form1::buildBoxes(Group group, HWND panel) {
    const zelvar::SettingGroup &setting = zelvar::settingGroup(group);
    for (std::size_t i = 0; i < setting.options.size(); ++i) {
        const zelvar::Option &o = setting.options[i];
        HWND box =
            create(L"BUTTON", std::string(setting.array) + '(' + std::to_string(i) + ')', o.caption,
                   // The last box stands first: the array's group starts there.
                   WS_VISIBLE | BS_AUTOCHECKBOX | (i + 1 == setting.options.size() ? WS_GROUP : 0),
                   o.rect, panel, kBoxId + 100 * static_cast<int>(group) + static_cast<int>(i),
                   o.tabIndex, green_);
        if (setting.defaultChecked)
            SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
        chk_[slot(group)].push_back(box);
    }
}

LRESULT CALLBACK Form1::formProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto *form = self<Form1>(hwnd, message, l);
    if (form != nullptr && form->hwnd_ == hwnd)
        return form->handle(message, w, l);
    return DefWindowProcW(hwnd, message, w, l);
}

LRESULT Form1::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED)
            command(LOWORD(w));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        // The green-on-black style; the text box on its own background.
        auto *dc = reinterpret_cast<HDC>(w);
        const bool box = reinterpret_cast<HWND>(l) == txtBitRate;
        SetTextColor(dc, kGreen);
        SetBkColor(dc, box ? outputBackground_ : kBlack);
        return reinterpret_cast<LRESULT>(box && outputBrush_ != nullptr ? outputBrush_ : black_);
    }
    case WM_SIZE:
        if (PicBack != nullptr)
            run([this] { form_.Form_Resize(); });
        return 0;
    case WM_SHOWWINDOW:
        if (w != FALSE && !shown_) {
            shown_ = true;
            // The first stop in tab order has the focus, as on any form.
            SetFocus(hwnd_);
            tab(true);
            PostMessageW(hwnd_, kShown, 0, 0);
        }
        break;
    case kShown:
        run([this] { flows_.shown(); });
        return 0;
    case kPosted: {
        const std::unique_ptr<std::function<void()>> then(
            reinterpret_cast<std::function<void()> *>(l));
        run(*then);
        return 0;
    }
    case WM_SETCURSOR:
        if (!busy_)
            break;
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
    case WM_DROPFILES: {
        auto *drop = reinterpret_cast<HDROP>(w);
        std::vector<std::string> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
            path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
            paths.push_back(localName(path));
        }
        DragFinish(drop);
        run([&] { flows_.dropFiles(paths); });
        return 0;
    }
    case WM_CLOSE: {
        bool may = true;
        run([&] { may = flows_.mayClose(); });
        if (may)
            DestroyWindow(hwnd_);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, w, l);
}

// A panel passes its controls' clicks and colours to the window.
LRESULT CALLBACK Form1::panelProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto *form = self<Form1>(hwnd, message, l);
    if (form == nullptr)
        return DefWindowProcW(hwnd, message, w, l);
    switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        return form->handle(message, w, l);
    case WM_PAINT: {
        // A black frame whose caption keeps the standard text colour, and so
        // cannot be read, with an etched border below the caption's middle.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT r;
        GetClientRect(hwnd, &r);
        SelectObject(dc, form->green_);
        TEXTMETRICW metrics;
        GetTextMetricsW(dc, &metrics);
        r.top += metrics.tmHeight / 2;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        std::wstring caption(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
        caption.resize(static_cast<std::size_t>(
            GetWindowTextW(hwnd, caption.data(), static_cast<int>(caption.size()))));
        SetBkColor(dc, kBlack);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        TextOutW(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
        EndPaint(hwnd, &paint);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, w, l);
    }
}

// Stretched over the control's own rectangle without smoothing, as the
// design's platform stretches a picture.
LRESULT CALLBACK Form1::pictureProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto *form = self<Form1>(hwnd, message, l);
    if (form != nullptr && message == WM_ERASEBKGND)
        return 1;
    if (form == nullptr || message != WM_PAINT)
        return DefWindowProcW(hwnd, message, w, l);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT r;
    GetClientRect(hwnd, &r);
    if (form->picture_ != nullptr) {
        OLE_XSIZE_HIMETRIC width = 0;
        OLE_YSIZE_HIMETRIC height = 0;
        form->picture_->get_Width(&width);
        form->picture_->get_Height(&height);
        SetStretchBltMode(dc, COLORONCOLOR);
        form->picture_->Render(dc, 0, 0, r.right, r.bottom, 0, height, width, -height, &r);
    }
    EndPaint(hwnd, &paint);
    return 0;
}

void Form1::command(int id) {
    if (id >= kBoxId) {
        const auto group = static_cast<Group>((id - kBoxId) / 100);
        run([&] { form_.checkBoxClick(group, (id - kBoxId) % 100); });
    } else if (id >= kRankId && id < kRankId + static_cast<int>(zelvar::kRankCount)) {
        run([&] { flows_.rankClick(static_cast<Rank>(id - kRankId)); });
    } else if (id >= kPanelButtonId &&
               id < kPanelButtonId + static_cast<int>(zelvar::kGroupCount)) {
        run([&] { form_.panelButtonClick(static_cast<Group>(id - kPanelButtonId)); });
    }
}

// The program must never go on past a run-time error: the runtime's report, then the end.
template <class Body> void Form1::run(Body body) {
    auto end = [this](const zelvar::RuntimeError &error) {
        MessageBoxW(hwnd_, wide(error.report()).c_str(), L"zelvar-bitrate", MB_OK | MB_ICONERROR);
        ExitProcess(static_cast<UINT>(error.number()));
    };
    try {
        body();
    } catch (const zelvar::RuntimeError &error) {
        end(error);
    } catch (const std::exception &) {
        end(zelvar::RuntimeError(zelvar::RuntimeError::Internal));
    }
}

bool Form1::preTranslate(MSG &message) {
    if (message.message == WM_KEYDOWN && (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd))) {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        const bool shift = GetKeyState(VK_SHIFT) < 0;
        if (message.wParam == VK_TAB && !control) {
            tab(!shift);
            return true;
        }
        if ((control && message.wParam == 'V') || (shift && message.wParam == VK_INSERT)) {
            run([this] { flows_.pasteKey(); });
            return true;
        }
        if (control && message.wParam == 'S') {
            run([this] { flows_.saveKey(); });
            return true;
        }
        if (message.wParam == VK_ESCAPE && flows_.waiting()) {
            run([this] { flows_.escapeKey(); });
            return true;
        }
        if (control && message.wParam == 'C') {
            DWORD from = 0;
            DWORD to = 0;
            SendMessageW(txtBitRate, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                         reinterpret_cast<LPARAM>(&to));
            if (message.hwnd != txtBitRate || from == to) {
                run([this] { flows_.copyKey(); });
                return true;
            }
        }
    }
    return IsDialogMessageW(hwnd_, &message) != FALSE;
}

// Tab walks every control that takes the focus by tab index, whatever its
// container; of the ranks only the selected one is a stop.
void Form1::tab(bool forward) {
    const HWND focus = GetFocus();
    const auto at = std::find_if(controls_.begin(), controls_.end(),
                                 [focus](const Named &c) { return c.hwnd == focus; });
    const auto n = static_cast<std::ptrdiff_t>(controls_.size());
    const std::ptrdiff_t start = at == controls_.end() ? -1 : at - controls_.begin();
    for (std::ptrdiff_t step = 1; step <= n; ++step) {
        const Named &c = controls_[static_cast<std::size_t>(
            ((forward ? start + step : start - step) % n + n) % n)];
        const bool radio = (GetWindowLongW(c.hwnd, GWL_STYLE) & 0xF) == BS_AUTORADIOBUTTON;
        if (c.focusable && IsWindowVisible(c.hwnd) && IsWindowEnabled(c.hwnd) &&
            (!radio || SendMessageW(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED)) {
            SetFocus(c.hwnd);
            return;
        }
    }
}

void Form1::openArguments(std::span<const std::string> arguments) {
    run([&] { flows_.openArguments(arguments); });
}

void Form1::openServer(const std::string &server) {
    run([&] { flows_.openServer(server); });
}

std::optional<std::string> Form1::askSaveFile() {
    wchar_t chosen[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = L"Configurations (*.cfg)\0*.cfg\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"cfg";
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetSaveFileNameW(&dialog) == FALSE)
        return std::nullopt;
    return localName(chosen);
}

std::optional<std::string> Form1::askPassword(const std::string &server,
                                              std::optional<bool> &keep) {
    return askPasswordDialog(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)),
                             shown_ ? hwnd_ : nullptr, title(), server, keep);
}

// A dialog is titled as the window, which names what it holds.
std::wstring Form1::title() const {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool Form1::confirm(std::string_view heading, const std::string &details,
                    std::string_view /*action*/) {
    return MessageBoxW(hwnd_, wide(std::string(heading) + "\n\n" + details).c_str(),
                       title().c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

zelvar::app::Dialogs::Unsaved Form1::askUnsaved(std::string_view heading,
                                                const std::string &details) {
    const int chosen = MessageBoxW(hwnd_, wide(std::string(heading) + "\n\n" + details).c_str(),
                                   title().c_str(), MB_YESNOCANCEL | MB_ICONWARNING);
    return chosen == IDYES ? Unsaved::Save : chosen == IDNO ? Unsaved::Discard : Unsaved::Cancel;
}

void Form1::message(bool fine, std::string_view heading, const std::string &details) {
    MessageBoxW(hwnd_, wide(std::string(heading) + "\n\n" + details).c_str(), title().c_str(),
                MB_OK | (fine ? MB_ICONINFORMATION : MB_ICONWARNING));
}

std::string Form1::clipboardText() {
    std::string text;
    if (OpenClipboard(hwnd_) != FALSE) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto *chars = static_cast<const wchar_t *>(GlobalLock(data))) {
                text = narrow(chars);
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    return text;
}

void Form1::setClipboardText(const std::string &text) {
    const std::wstring line = wide(text);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, (line.size() + 1) * sizeof(wchar_t));
    if (copy == nullptr || OpenClipboard(hwnd_) == FALSE)
        return;
    CopyMemory(GlobalLock(copy), line.c_str(), (line.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(copy);
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, copy);
    CloseClipboard();
}

void Form1::busy(std::string_view what) {
    busy_ = !what.empty();
    SetCursor(LoadCursorW(nullptr,
                          MAKEINTRESOURCEW(busy_ ? 32514 : 32512)));  // IDC_WAIT, IDC_ARROW
}

void Form1::post(std::function<void()> then) {
    auto *posted = new std::function<void()>(std::move(then));
    if (PostMessageW(hwnd_, kPosted, 0, reinterpret_cast<LPARAM>(posted)) == FALSE)
        delete posted;  // the window is gone, and with it what the work was for
}

void Form1::setTitle(const std::string &title) { SetWindowTextW(hwnd_, wide(title).c_str()); }

void Form1::close() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

std::string Form1::line() const {
    std::wstring line(static_cast<std::size_t>(GetWindowTextLengthW(txtBitRate)) + 1, L'\0');
    line.resize(static_cast<std::size_t>(
        GetWindowTextW(txtBitRate, line.data(), static_cast<int>(line.size()))));
    return narrow(line);
}

std::string_view Form1::nameOf(HWND control) const {
    const auto c = std::find_if(controls_.begin(), controls_.end(),
                                [control](const Named &n) { return n.hwnd == control; });
    return c == controls_.end() ? std::string_view() : std::string_view(c->name);
}

HWND Form1::control(std::string_view name) const {
    const auto c = std::find_if(controls_.begin(), controls_.end(),
                                [name](const Named &n) { return n.name == name; });
    return c == controls_.end() ? nullptr : c->hwnd;
}

bool Form1::checked(Group group, int index) const {
    return SendMessageW(chk_[slot(group)][slot(index)], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Form1::rankSelected(Rank rank) const {
    return SendMessageW(opt_[slot(rank)], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1::writeLine(std::string_view line) { SetWindowTextW(txtBitRate, wide(line).c_str()); }

void Form1::setPanelVisible(Group group, bool visible) {
    ShowWindow(panels_[slot(group)], visible ? SW_SHOW : SW_HIDE);
}

void Form1::setChecked(Group group, int index, bool checked) {
    SendMessageW(chk_[slot(group)][slot(index)], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                 0);
}

void Form1::setRankSelected(Rank rank) {
    for (std::size_t r = 0; r < opt_.size(); ++r)
        SendMessageW(opt_[r], BM_SETCHECK, r == slot(rank) ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Form1::placePicture(int left, int top, int width, int height) {
    MoveWindow(PicBack, left, top, width, height, TRUE);
}

int Form1::outerWidth() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return r.right - r.left;
}

int Form1::outerHeight() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return r.bottom - r.top;
}

void Form1::setOutputBackground(std::uint32_t rgb) {
    outputBackground_ = colorRef(rgb);
    if (outputBrush_ != nullptr)
        DeleteObject(outputBrush_);
    outputBrush_ = CreateSolidBrush(outputBackground_);
    InvalidateRect(txtBitRate, nullptr, TRUE);
}
