// Running another program on Windows: its command line built so that the C
// runtime's reading gives back each word as it was; the program found by
// name on PATH only (never in the current folder, where anyone's file may
// lie); only its three pipes inherited, so that programs started at once
// for several servers never hold each other's; and all it starts kept in
// one job, which ends with it or when its time is up.
#include "program.h"

#include "text.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

namespace zelvar {

namespace {

std::wstring wide(std::string_view text) { return ::wide(text, CP_ACP); }

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { close(); }
    void close() {
        if (h != nullptr)
            CloseHandle(h);
        h = nullptr;
    }
};

// The reading of the Microsoft C runtime (and CommandLineToArgvW): a word
// with a blank or a quote goes in quotes, a quote in it escaped, and the
// backslashes before a quote, or before the closing one, doubled.
std::wstring quotedWord(const std::wstring &word) {
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return word;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L'"';
}

// A name without a folder, as a shell would find it on PATH, ".exe" added.
std::wstring located(const std::wstring &name) {
    if (name.find_first_of(L"\\/:") != std::wstring::npos)
        return name;
    const std::wstring file = name.ends_with(L".exe") ? name : name + L".exe";
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(size, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), size));
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find(L';', at);
        end = end == std::wstring::npos ? path.size() : end;
        const std::wstring folder = path.substr(at, end - at);
        at = end + 1;
        if (folder.empty())
            continue;
        std::error_code error;
        const std::filesystem::path candidate = std::filesystem::path(folder) / file;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate.wstring();
    }
    return {};
}

// Our environment, less our passwords: a program's may travel on (ssh's SendEnv).
std::wstring environmentWithoutPasswords() {
    std::wstring block;
    wchar_t *all = GetEnvironmentStringsW();
    for (const wchar_t *e = all; e != nullptr && *e != L'\0'; e += wcslen(e) + 1) {
        std::wstring name(e, std::wstring_view(e).find(L'=', 1));
        for (wchar_t &c : name)
            c = static_cast<wchar_t>(towupper(c));
        if (!name.starts_with(L"ZELVAR_") || !name.ends_with(L"PASSWORD"))
            (block += e) += L'\0';
    }
    FreeEnvironmentStringsW(all);
    return block + L'\0';
}

// One pipe's reading or writing, in a thread of its own, so that a program
// filling one pipe never waits on us serving another. A program it started
// may hold the pipe after it ended; once that is ended too, a read or write
// still waiting is cut short.
class Piping {
public:
    explicit Piping(std::function<void()> work)
        : thread_([this, work = std::move(work)] {
              HANDLE self = nullptr;
              DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                              0, FALSE, DUPLICATE_SAME_ACCESS);
              self_.store(self);
              work();
              done_ = true;
          }) {}
    Piping(const Piping &) = delete;
    Piping &operator=(const Piping &) = delete;
    ~Piping() {
        thread_.join();
        if (HANDLE self = self_.load())
            CloseHandle(self);
    }
    void cancel() {
        if (HANDLE self = self_.load(); !done_ && self != nullptr)
            CancelSynchronousIo(self);
    }
    bool done() const { return done_; }

private:
    std::atomic<HANDLE> self_{nullptr};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

void readInto(HANDLE pipe, std::string &into, std::size_t largest) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) != FALSE && got > 0)
        if (into.size() < largest)
            into.append(chunk, got);
}

}  // namespace

// The user's own temporary folder, which no other user may enter.
std::optional<std::string> privateFolder(std::string_view prefix) {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    std::random_device random;
    for (int tries = 0; !error && tries < 10; ++tries) {
        const std::filesystem::path made = temp / (std::string(prefix) + std::to_string(random()));
        if (std::filesystem::create_directory(made, error))
            return made.generic_string();
    }
    return std::nullopt;
}

std::optional<std::string> shippedWithWindows(std::string_view path) {
    const char *windows = std::getenv("SystemRoot");
    if (windows == nullptr)
        return std::nullopt;
    return (std::filesystem::path(windows) / "System32" / std::filesystem::path(path)).string();
}

Ran runProgram(const std::vector<std::string> &words, std::string_view input,
               std::chrono::milliseconds within, std::size_t largest, const std::string &workIn,
               const std::function<bool()> &givenUp) {
    Ran ran;
    if (words.empty())
        return ran;
    const std::wstring program = located(wide(words.front()));
    if (program.empty())
        return ran;
    std::wstring line = quotedWord(program);
    for (std::size_t i = 1; i < words.size(); ++i)
        (line += L' ') += quotedWord(wide(words[i]));

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE ends[6] = {};
    for (std::size_t i = 0; i < 3; ++i)
        if (CreatePipe(&ends[2 * i], &ends[2 * i + 1], &inherited, 0) == FALSE) {
            for (HANDLE h : ends)
                if (h != nullptr)
                    CloseHandle(h);
            return ran;
        }
    // The child's ends: stdin's read end, stdout's and stderr's write ends.
    Handle childIn(ends[0]);
    Handle toChild(ends[1]);
    Handle fromOut(ends[2]);
    Handle childOut(ends[3]);
    Handle fromErr(ends[4]);
    Handle childErr(ends[5]);
    for (HANDLE ours : {toChild.h, fromOut.h, fromErr.h})
        SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> storage(size);
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    HANDLE only[3] = {childIn.h, childOut.h, childErr.h};
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &size) == FALSE)
        return ran;
    const bool listed = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  only, sizeof only, nullptr, nullptr) != FALSE;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childIn.h;
    startup.StartupInfo.hStdOutput = childOut.h;
    startup.StartupInfo.hStdError = childErr.h;
    startup.lpAttributeList = listed ? attributes : nullptr;

    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job.h != nullptr)
        SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    std::wstring environment = environmentWithoutPasswords();
    const std::wstring folder = wide(workIn);
    PROCESS_INFORMATION process{};
    ran.started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                                     (listed ? EXTENDED_STARTUPINFO_PRESENT : 0),
                                 environment.data(), folder.empty() ? nullptr : folder.c_str(),
                                 &startup.StartupInfo, &process) != FALSE;
    DeleteProcThreadAttributeList(attributes);
    childIn.close();
    childOut.close();
    childErr.close();
    if (!ran.started)
        return ran;
    const Handle child(process.hProcess);
    const Handle thread(process.hThread);
    if (job.h != nullptr)
        AssignProcessToJobObject(job.h, child.h);
    ResumeThread(thread.h);

    bool exited = false;
    {
        Piping out([&] { readInto(fromOut.h, ran.out, largest); });
        Piping err([&] { readInto(fromErr.h, ran.err, largest); });
        Piping in([&] {
            std::size_t written = 0;
            DWORD put = 0;
            while (written < input.size() && WriteFile(toChild.h, input.data() + written,
                                                       static_cast<DWORD>(std::min<std::size_t>(
                                                           input.size() - written, 1 << 16)),
                                                       &put, nullptr) != FALSE)
                written += put;
            toChild.close();
        });
        const auto until = std::chrono::steady_clock::now() + within;
        while (!exited && !ran.stopped && std::chrono::steady_clock::now() < until) {
            exited = WaitForSingleObject(child.h, 50) == WAIT_OBJECT_0;
            ran.stopped = !exited && givenUp && givenUp();
        }
        ran.timedOut = !exited && !ran.stopped;
        const auto served = [&] { return out.done() && err.done() && in.done(); };
        // What it wrote before it ended, without waiting long for those it left.
        for (int i = 0; exited && i < 40 && !served(); ++i)
            Sleep(50);
        if (job.h != nullptr)
            TerminateJobObject(job.h, 1);
        if (!exited)
            TerminateProcess(child.h, 1);
        for (int i = 0; i < 20 && !served(); ++i)
            Sleep(50);
        for (Piping *p : {&out, &err, &in})
            p->cancel();
    }
    DWORD code = 0;
    if (exited && GetExitCodeProcess(child.h, &code) != FALSE)
        ran.exit = static_cast<int>(code);
    return ran;
}

}  // namespace zelvar
