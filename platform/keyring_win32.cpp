// The Credential Manager: a generic credential a server, named
// "zelvar-rcon:ADDRESS", holding the password as UTF-8, kept on this
// machine for this user.
#include "keyring.h"

#include <windows.h>

#include <wincred.h>  // needs windows.h first

namespace zelvar {

namespace {

std::wstring targetName(const std::string &server) {
    const std::string name = std::string(kKeyringService) + ':' + server;
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(
                          CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                        static_cast<int>(wide.size()));
    return wide;
}

std::string lastError() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string said(text, length);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.'))
        said.pop_back();
    return said.empty() ? "error " + std::to_string(code) : said;
}

Kept lookUp(const std::string &server) {
    PCREDENTIALW found = nullptr;
    if (!CredReadW(targetName(server).c_str(), CRED_TYPE_GENERIC, 0, &found))
        return {std::nullopt, GetLastError() == ERROR_NOT_FOUND};
    Kept kept{std::string(reinterpret_cast<const char *>(found->CredentialBlob),
                          found->CredentialBlobSize),
              true};
    CredFree(found);
    return kept;
}

std::string keepIt(const std::string &server, const std::string &password) {
    std::wstring name = targetName(server);
    std::string blob = password;
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = name.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0) ? std::string() : lastError();
}

std::string forgetIt(const std::string &server) {
    if (CredDeleteW(targetName(server).c_str(), CRED_TYPE_GENERIC, 0) ||
        GetLastError() == ERROR_NOT_FOUND)
        return {};
    return lastError();
}

// The Credential Manager answers at once.
struct Credentials final : Keyring {
    void find(const std::string &server, std::function<void(Kept)> then) override {
        then(lookUp(server));
    }
    void keep(const std::string &server, const std::string &password, Done then) override {
        then(keepIt(server, password));
    }
    void forget(const std::string &server, Done then) override { then(forgetIt(server)); }
};

}  // namespace

Keyring &systemKeyring() {
    static Credentials keyring;
    return keyring;
}

}  // namespace zelvar
