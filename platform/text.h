// Text between the model's bytes and the Win32 API's UTF-16, for the Win32
// window and the Windows side of the platform layer.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline std::wstring wide(std::string_view text, UINT codePage = CP_UTF8) {
    std::wstring out(text.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            static_cast<int>(out.size()))));
    return out;
}

inline std::string narrow(std::wstring_view text, UINT codePage = CP_UTF8) {
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}
