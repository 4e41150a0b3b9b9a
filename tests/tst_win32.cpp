// The Win32 window from inside, under wine. Prints a listing of the live
// window for windows.sh to compare with the reviewed data/win32.listing: one
// line per control (name, class, caption, place, check, visibility), then
// what each panel button and rank shows and writes and where Tab goes from
// it, as the Qt window's listing does. Then a seeded walk of clicks, Space
// and Tab against the oracle, the line read back through the clipboard after
// the copy key, the save key into a file named in the
// platform's dialog, the send key with the password typed unseen; and
// another program run with words it must read back. A failure says so and
// ends with status 1.
#include "form1.h"
#include "oracle.h"
#include "program.h"
#include "remote.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

Form1 *form = nullptr;

void pump() {
    MSG message;
    for (int n = 0; n < 100000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE; ++n)
        if (!form->preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
}

std::string text(HWND hwnd) {
    char buffer[256] = {};
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

std::string line() { return text(form->control("txtBitRate")); }

// A key as the window gets it, with Ctrl held when asked.
void key(WPARAM virtualKey, bool control = false) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_KEYDOWN, virtualKey, 0);
    PostMessageW(GetFocus(), WM_KEYUP, virtualKey, 0);
    pump();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

void click(const std::string &name) {
    SendMessageW(form->control(name), BM_CLICK, 0, 0);
    pump();
}

std::string shownPanel() {
    for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
        if (IsWindowVisible(form->control(g.panel)) != FALSE)
            return std::string(g.panel);
    return "none";
}

void describe(HWND hwnd, int depth) {
    char kind[64] = {};
    GetClassNameA(hwnd, kind, sizeof kind);
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT *>(&r), 2);
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    const LONG type = style & 0xF;
    std::printf("%*s%s | %s | \"%s\" |%s %ld,%ld %ldx%ld | %s\n", depth * 2, "",
                std::string(form->nameOf(hwnd)).c_str(), kind, text(hwnd).c_str(),
                std::string_view(kind) == "Button" && type != BS_PUSHBUTTON
                    ? (SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? " on |" : " off |")
                    : "",
                r.left, r.top, r.right - r.left, r.bottom - r.top,
                (style & WS_VISIBLE) != 0 ? "shown" : "hidden");
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        describe(child, depth + 1);
}

void listing() {
    HWND w = form->window();
    RECT client;
    GetClientRect(w, &client);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    std::printf("Form1 | \"%s\" | client %ldx%ld | caption %d sysmenu %d sizing %d minimise %d "
                "maximise %d | icon %d\n",
                text(w).c_str(), client.right, client.bottom, (style & WS_CAPTION) == WS_CAPTION,
                (style & WS_SYSMENU) != 0, (style & WS_THICKFRAME) != 0,
                (style & WS_MINIMIZEBOX) != 0, (style & WS_MAXIMIZEBOX) != 0,
                GetClassLongPtrW(w, GCLP_HICON) != 0);
    for (HWND child = GetWindow(w, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        describe(child, 1);
    for (const char *name :
         {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Command7",
          "Command3", "optJK", "optInstructor", "optam", "Right", "Right"}) {
        if (std::string_view(name) == "Right")
            key(VK_RIGHT);
        else
            click(name);
        std::string tabs;
        const HWND start = GetFocus();
        for (int n = 0; n < 200; ++n) {
            key(VK_TAB);
            tabs += ' ' + std::string(form->nameOf(GetFocus()));
            if (GetFocus() == start)
                break;
        }
        std::printf("after %s: shows %s | \"%s\" | tab%s\n", name, shownPanel().c_str(),
                    line().c_str(), tabs.c_str());
    }
}

bool randomWalk(unsigned seed) {
    std::mt19937 random(seed);
    Oracle oracle;
    for (int step = 0; step < 3000; ++step) {
        const std::string action = oracle.randomAction(random);
        if (action == "Space" || action == "Tab") {
            const std::string focus(form->nameOf(GetFocus()));
            key(action == "Tab" ? VK_TAB : VK_SPACE);
            if (action == "Space" && !focus.empty() && focus != "txtBitRate")
                oracle.press(focus);
        } else {
            click(action);
            oracle.press(action);
        }
        const std::string panel(zelvar::settingGroup(oracle.visible).panel);
        if (shownPanel() != panel || line() != oracle.line) {
            std::printf("walk, seed %u, step %d (%s): shows %s, \"%s\"; expected %s, \"%s\"\n",
                        seed, step, action.c_str(), shownPanel().c_str(), line().c_str(),
                        panel.c_str(), oracle.line.c_str());
            return false;
        }
    }
    return true;
}

bool copyKey() {
    SetFocus(form->control("chkAdmin(0)"));
    key('C', true);
    std::string copied;
    if (OpenClipboard(form->window()) != FALSE) {
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            copied = static_cast<const char *>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    if (copied != line())
        std::printf("copy key: the clipboard holds \"%s\", the line is \"%s\"\n", copied.c_str(),
                    line().c_str());
    return copied == line();
}

// A message, or the password dialog, is read and closed by a timer from
// within its own loop.
std::string said;
std::string password;     // typed into the password dialog
bool typedUnseen = true;  // the password box shows no character typed
int passwordsTyped = 0;
int keepTicked = 0;     // keep boxes the password dialog showed, each ticked
int confirming = IDOK;  // the answer to a confirmation

void CALLBACK readMessage(HWND /*window*/, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
    const HWND box = FindWindowW(L"#32770", nullptr);  // a dialog: titled as the window
    if (box == nullptr)
        return;
    if (const HWND field = GetDlgItem(box, 10)) {  // the password dialog: typed into
        typedUnseen = typedUnseen && (GetWindowLongW(field, GWL_STYLE) & ES_PASSWORD) != 0;
        SetWindowTextA(field, password.c_str());
        ++passwordsTyped;
        if (GetDlgItem(box, 11) != nullptr) {
            CheckDlgButton(box, 11, BST_CHECKED);
            ++keepTicked;
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
    }
    EnumChildWindows(
        box, [](HWND child, LPARAM) { return said += text(child) + '\n', TRUE; }, 0);
    const HWND cancel = GetDlgItem(box, IDCANCEL);
    const bool confirmation = cancel != nullptr && IsWindowVisible(cancel) != FALSE;
    if (!confirmation)  // a message: the last to read
        KillTimer(nullptr, timer);
    PostMessageW(box, WM_COMMAND, confirmation ? confirming : IDOK, 0);
}

// Opened from a file that sets all three ranks: Knight chosen only to look
// shows its own line; with a weapon unchecked, the save key shows the change:
// Cancel leaves the file byte for byte, OK changes the weapon's line alone.
bool aLookIsNoChange() {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "zelvar-ranks.cfg";
    const std::string before = "seta zv_knightAllowedCMD 38\r\nseta zv_instructorAllowedCMD "
                               "8230\r\nseta zv_councilAllowedCMD 536870910\r\nseta "
                               "g_weaponDisable 40\r\n";
    const auto contents = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::ofstream(path, std::ios::binary) << before;
    const std::string arguments[] = {path};
    form->openArguments(arguments);
    click("Command3");
    click("optJK");
    const std::string looked = line();
    click("Command1");
    click("chkWeapon(2)");
    bool kept = true;
    for (const int answer : {IDCANCEL, IDOK}) {
        confirming = answer;
        said.clear();
        const UINT_PTR reading = SetTimer(nullptr, 0, 100, readMessage);
        key('S', true);
        if (answer == IDCANCEL) {  // no message follows
            kept = contents() == before;
            KillTimer(nullptr, reading);
        }
    }
    std::string after = before;
    after.replace(after.find("40"), 2, "44");
    const bool passed = looked == "zv_knightAllowedCMD 38" && kept && contents() == after;
    std::remove(path.c_str());
    if (!passed)
        std::printf("a look: the line read \"%s\", the file %s, the message said \"%s\"\n",
                    looked.c_str(), kept ? "kept on Cancel" : "changed on Cancel", said.c_str());
    return passed;
}

// Pumps until `done`, for 10 s at most.
template <class Done> bool pumpUntil(Done done) {
    for (int n = 0; n < 1000 && !done(); ++n, Sleep(10))
        pump();
    return done();
}

// Opened from the scripted server that windows.sh runs, the save key sends
// the changed line there, with the password typed into its dialog, and the
// message says what the server answered. The password is kept for the
// window's life, and in the Credential Manager as the user ticked: with the
// server fallen silent, a send waits beside the window, which still takes
// clicks, until Escape ends it with nothing applied.
bool serverSaveKey() {
    const char *port = std::getenv("ZELVAR_TEST_SERVER_PORT");
    if (port == nullptr)
        return std::printf("server save key: no scripted server\n"), false;
    said.clear();
    SetTimer(nullptr, 0, 100, readMessage);  // what opening left out
    const std::string address = std::string("127.0.0.1:") + port;
    form->openServer(address);
    const bool absent = pumpUntil(
        [] { return said.find("g_forcePowerDisable: absent on the server") != std::string::npos; });
    click("Command5");
    click("chkLock(0)");
    said.clear();
    password = std::getenv("ZELVAR_RCON_PASSWORD");
    _putenv("ZELVAR_RCON_PASSWORD=");  // now asked for, and typed into the dialog
    SetTimer(nullptr, 0, 100, readMessage);
    key('S', true);
    const bool sent = pumpUntil(
        [] { return said.find("Sent.\n\n" + line() + ": applied") != std::string::npos; });
    zelvar::Kept found;
    zelvar::systemKeyring().find(address, [&found](zelvar::Kept k) { found = std::move(k); });
    const bool kept = keepTicked == 1 && found.password == password;
    zelvar::systemKeyring().forget(address, [](const std::string &) {});
    {  // wine sends a datagram of a socket closed at once only later
        zelvar::UdpTransport quiet({"127.0.0.1", static_cast<std::uint16_t>(std::atoi(port))});
        quiet.send("\xFF\xFF\xFF\xFFsilence");
        Sleep(300);
    }
    click("chkLock(1)");
    said.clear();
    passwordsTyped = 0;
    SetTimer(nullptr, 0, 100, readMessage);
    key('S', true);
    const bool waits = text(form->window()).starts_with("Sending to 127.0.0.1:");
    click("Command1");
    const bool answers = shownPanel() == "Frame1(0)";
    key(VK_ESCAPE);
    const bool stopped = pumpUntil([] {
        return said.find("Nothing was applied.\n\n") != std::string::npos &&
               said.find("cancelled") != std::string::npos;
    });
    _putenv(("ZELVAR_RCON_PASSWORD=" + password).c_str());
    const bool passed =
        absent && sent && kept && typedUnseen && waits && answers && stopped && passwordsTyped == 0;
    if (!passed)
        std::printf("server save key: the messages said \"%s\"%s; kept %d, waits %d, answers "
                    "%d, passwords typed again %d\n",
                    said.c_str(), typedUnseen ? "" : "; the password box showed what was typed",
                    kept, waits, answers, passwordsTyped);
    return passed;
}

// Opened from nothing, the save key asks for a file; a name with an accent,
// typed into the platform's dialog, is the file written.
std::wstring named;

void CALLBACK nameFile(HWND /*window*/, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND dialog, LPARAM) {
            HWND field = GetDlgItem(dialog, 1148);  // cmb13, or edt1 in older dialogs
            if (field == nullptr)
                field = GetDlgItem(dialog, 1152);
            if (field == nullptr)
                return TRUE;
            SetWindowTextW(field, named.c_str());
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            return FALSE;
        },
        0);
    if (!named.empty() && FindWindowW(nullptr, L"Save As") == nullptr)
        KillTimer(nullptr, timer);
}

bool namedFile() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    named = std::wstring(folder) + L"zelvar-s\u00E4ve.cfg";
    _wremove(named.c_str());
    said.clear();
    SetTimer(nullptr, 0, 100, nameFile);
    SetTimer(nullptr, 0, 100, readMessage);
    key('S', true);
    std::string written(256, '\0');
    if (std::FILE *f = _wfopen(named.c_str(), L"rb")) {
        written.resize(std::fread(written.data(), 1, written.size(), f));
        std::fclose(f);
        _wremove(named.c_str());
    } else {
        written.clear();
    }
    const std::string shown = line();
    const bool saved = written == "seta " + shown.substr(0, shown.find(' ')) + " \"" +
                                      shown.substr(shown.find(' ') + 1) + "\"\n";
    if (!saved)
        std::printf("named file: it holds \"%s\", the message said \"%s\"\n", written.c_str(),
                    said.c_str());
    return saved;
}

// What a person sees of a window, 0xRRGGBB from the top left: its client area
// as the screen shows it, or, for a control, as it draws itself alone.
std::vector<std::uint32_t> capture(HWND hwnd, bool alone = false) {
    RECT r;
    GetClientRect(hwnd, &r);
    std::vector<std::uint32_t> pixels(std::size_t(r.right * r.bottom));
    const HDC screen = GetDC(hwnd);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
    SelectObject(memory, bitmap);
    if (alone)
        PrintWindow(hwnd, memory, PW_CLIENTONLY);
    else
        BitBlt(memory, 0, 0, r.right, r.bottom, screen, 0, 0, SRCCOPY);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(memory, bitmap, 0, UINT(r.bottom), pixels.data(), &info, DIB_RGB_COLORS);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(hwnd, screen);
    return pixels;
}

// The start frame and each panel as the screen shows them, raw BGRA for
// windows.sh to compare with the reviewed images; and in each panel every
// check box's indicator, 13 pixels square at its left, as the box draws it alone.
bool looks() {
    bool whole = true;
    for (std::size_t panel = 0; panel <= zelvar::kGroupCount; ++panel) {
        if (panel > 0)
            click("Command" + std::to_string(panel));
        RedrawWindow(form->window(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pump();
        const std::vector<std::uint32_t> shown = capture(form->window());
        std::FILE *f = std::fopen(
            ("win32-look-" +
             (panel == 0 ? std::string("start") : "Command" + std::to_string(panel)) + ".bgra")
                .c_str(),
            "wb");
        std::fwrite(shown.data(), sizeof shown[0], shown.size(), f);
        std::fclose(f);
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            for (std::size_t i = 0; i < g.options.size(); ++i) {
                const HWND box =
                    form->control(std::string(g.array) + '(' + std::to_string(i) + ')');
                RECT r;
                GetClientRect(box, &r);
                POINT at{0, (r.bottom - 13) / 2};
                const std::vector<std::uint32_t> alone = capture(box, true);
                const LONG top = at.y;
                MapWindowPoints(box, form->window(), &at, 1);
                const auto pixel = [](const std::vector<std::uint32_t> &image, LONG width, LONG x,
                                      LONG y) {
                    return image[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x)] &
                           0xFFFFFFU;
                };
                for (LONG k = 0; IsWindowVisible(box) != FALSE && k < 13 * 13; ++k)
                    if (pixel(alone, r.right, k % 13, top + k / 13) !=
                        pixel(shown, 565, at.x + k % 13, at.y + k / 13)) {
                        std::printf("%s: the indicator of %s is not whole\n", g.panel.data(),
                                    std::string(g.options[i].caption).c_str());
                        whole = false;
                        break;
                    }
            }
    }
    return whole;
}

}  // namespace

// A window of its own for each part, as at start.
template <class Part> auto inFreshWindow(Part part) {
    Form1 window(GetModuleHandleW(nullptr));
    form = &window;
    ShowWindow(form->window(), SW_SHOW);
    pump();
    return part();
}

// Another program run as zelvar-bits runs OpenSSH's and curl's: random
// words with blanks, quotes and backslashes must reach it as they were, our
// passwords must not, and one that outlives its time is ended.
bool programs(unsigned seed) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    char kept[256] = {};
    const bool had = GetEnvironmentVariableA("ZELVAR_RCON_PASSWORD", kept, sizeof kept) != 0;
    SetEnvironmentVariableA("ZELVAR_RCON_PASSWORD", "hidden");
    std::mt19937 random(seed);
    constexpr std::string_view pieces[] = {"a", " ", "\t", "\"", "\\", "\\\"", "\\\\", "b c", ""};
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> words{self, "--words"};
        std::string expected;
        for (int w = static_cast<int>(random() % 4); w >= 0; --w) {
            std::string word;
            for (int n = static_cast<int>(random() % 5); n > 0; --n)
                word += pieces[random() % std::size(pieces)];
            words.push_back(word);
            expected += '[' + word + "]\n";
        }
        const zelvar::Ran ran = zelvar::runProgram(words, "in", std::chrono::seconds(20));
        if (ran.exit != 7 || ran.out != expected + "in, no password\n")
            return std::printf("programs: %s gave %d: %s\n", expected.c_str(),
                               ran.exit.value_or(-1), ran.out.c_str()),
                   false;
    }
    SetEnvironmentVariableA("ZELVAR_RCON_PASSWORD", had ? kept : nullptr);
    const zelvar::Ran waited =
        zelvar::runProgram({self, "--wait"}, {}, std::chrono::milliseconds(1500));
    if (!waited.timedOut || waited.exit)
        return std::printf("programs: one that outlives its time was not ended\n"), false;
    return zelvar::runProgram({"no-such-program"}, {}, std::chrono::seconds(5)).started
               ? (std::printf("programs: a missing one started\n"), false)
               : true;
}

int main(int argc, char **argv) {
    // The other end of programs(): its words, its input, and no password.
    if (argc > 1 && std::string_view(argv[1]) == "--words") {
        _setmode(_fileno(stdout), _O_BINARY);
        for (int i = 2; i < argc; ++i)
            std::printf("[%s]\n", argv[i]);
        std::string input((std::istreambuf_iterator<char>(std::cin)), {});
        std::printf("%s, %s\n", input.c_str(),
                    std::getenv("ZELVAR_RCON_PASSWORD") != nullptr ? "a password" : "no password");
        return 7;
    }
    if (argc > 1 && std::string_view(argv[1]) == "--wait")
        return Sleep(60000), 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    inFreshWindow([] {
        std::printf("start: \"%s\"\n", line().c_str());
        listing();
        return true;
    });
    const unsigned seed = argc > 1 ? static_cast<unsigned>(std::stoul(argv[1])) : 20261207U;
    const bool passed =
        inFreshWindow(looks) && inFreshWindow([seed] { return randomWalk(seed); }) &&
        inFreshWindow(copyKey) && inFreshWindow(namedFile) && inFreshWindow(aLookIsNoChange) &&
        inFreshWindow(serverSaveKey) && programs(seed);
    std::printf("%s\n", passed
                            ? "programs run, walk of 3000 actions, copy, save and send keys: passed"
                            : "FAILED");
    return passed ? 0 : 1;
}
