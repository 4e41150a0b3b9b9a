#include "replace.h"

#include "text.h"
#include "textfile.h"

#include <memory>
#include <utility>

namespace zelvar {

namespace {

// Paths come in the ANSI code page, as the C library opens them.
std::wstring wide(std::string_view text) { return ::wide(text, CP_ACP); }
std::string narrow(std::wstring_view text) { return ::narrow(text, CP_ACP); }

std::string failed(std::string_view what, std::string_view name) {
    const DWORD code = GetLastError();
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string why = text != nullptr ? narrow(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == '.'))
        why.pop_back();
    return "cannot " + std::string(what) + ' ' + std::string(name) + ": " + why;
}

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    bool close() { return CloseHandle(std::exchange(h, INVALID_HANDLE_VALUE)) != FALSE; }
};

// Opened through links, which Windows follows unless asked not to.
std::variant<Snapshot, std::string> readState(const std::wstring &path, std::string_view name,
                                              std::size_t largest) {
    Snapshot s;
    s.target = narrow(path);
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return s;  // a file to create
        SetLastError(code);
        return failed("read", name);
    }
    std::wstring target(MAX_PATH, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(file.h, target.data(), static_cast<DWORD>(target.size()), 0);
    if (length > 0 && length < target.size()) {
        target.resize(length);
        s.target = narrow(target.starts_with(L"\\\\?\\") ? target.substr(4) : target);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file.h, &info) == FALSE)
        return failed("read", name);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::string(name) + " is a folder, not a configuration";
    if (info.nNumberOfLinks > 1)
        return std::string(name) + " has " + std::to_string(info.nNumberOfLinks) +
               " hard links, which replacing it would part";
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > largest)
        return std::string(name) + " is too large for a configuration";
    s.bytes.resize(static_cast<std::size_t>(size) + 1);
    DWORD got = 0;
    if (ReadFile(file.h, s.bytes.data(), static_cast<DWORD>(s.bytes.size()), &got, nullptr) ==
        FALSE)
        return failed("read", name);
    s.bytes.resize(got);
    s.digest = digestOf(s.bytes);
    s.exists = true;
    s.size = size;
    s.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return s;
}

}  // namespace

std::variant<Snapshot, std::string> takeSnapshot(const std::string &path, std::string_view name,
                                                 std::size_t largest) {
    const std::wstring wpath = wide(path);
    const DWORD attributes = GetFileAttributesW(wpath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        const Handle target(CreateFileW(wpath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (target.h == INVALID_HANDLE_VALUE)
            return std::string(name) + " is a symbolic link to nothing";
    }
    return readState(wpath, name, largest);
}

std::variant<WrittenAs, std::string> replaceFile(const Snapshot &was, std::string_view name,
                                                 std::string_view bytes) {
    const std::wstring target = wide(was.target);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempFileNameW(folder.c_str(), L"zel", 0, temp) == 0)
        return failed("write", name) + "; it is as it was";
    const auto undo = [&](std::string why) {
        DeleteFileW(temp);
        return std::move(why) + "; it is as it was";
    };
    {
        Handle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (file.h == INVALID_HANDLE_VALUE ||
            WriteFile(file.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ==
                FALSE ||
            written != bytes.size() || FlushFileBuffers(file.h) == FALSE || !file.close())
            return undo(failed("write", name));
    }
    const auto now = readState(target, name, was.size + bytes.size() + 1);
    const auto *same = std::get_if<Snapshot>(&now);
    if (same == nullptr || same->exists != was.exists || same->size != was.size ||
        same->modified != was.modified || same->digest != was.digest)
        return undo(std::string(name) + ' ' + std::string(kChangedOnDisk));
    // Another program may hold the file a moment (an editor, a scanner): a
    // few tries within about a second.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
            FALSE)
            return WrittenAs::Replaced;
        const DWORD code = GetLastError();
        if (attempt == 10 || (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
                              code != ERROR_LOCK_VIOLATION)) {
            SetLastError(code);
            return undo(failed("write", name) +
                        (code == ERROR_SHARING_VIOLATION ? ", which another program holds" : ""));
        }
        Sleep(100);
    }
}

}  // namespace zelvar
