// The Win32 calculator's entry: arguments, the window, its message loop.
#include "flows.h"
#include "form1.h"
#include "text.h"
#include "version.h"

#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace {

int say(const std::string &text, UINT icon = MB_ICONINFORMATION) {
    MessageBoxW(nullptr, wide(text).c_str(), L"zelvar-bitrate", MB_OK | icon);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int nShowCmd) {
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    std::optional<std::string> server;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view a = argv[i];
        if (a == L"--server" && i + 1 < count) {
            server = narrow(argv[++i]);
            continue;
        }
        if (a.starts_with(L"--server=")) {
            server = narrow(a.substr(9));
            continue;
        }
        if (a == L"--help" || a == L"-h" || a == L"/?")
            return say(zelvar::app::windowHelp());
        if (a == L"--version" || a == L"-v")
            return say("zelvar-bitrate " + std::string(zelvar::kVersion));
        // The model opens files with the C library, which takes the ANSI code page.
        arguments.push_back(narrow(argv[i], CP_ACP));
    }
    LocalFree(argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return say("zelvar-bitrate: COM does not start", MB_ICONERROR), 1;

    Form1 form(hInstance);
    form.openArguments(arguments);
    if (server)
        form.openServer(*server);
    ShowWindow(form.window(), nShowCmd);
    UpdateWindow(form.window());
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        if (!form.preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    CoUninitialize();
    return static_cast<int>(message.wParam);
}
