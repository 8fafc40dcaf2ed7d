#include "platform/Keyring.h"

#include "platform/win32/Win32Util.h"

#include <wincred.h>

namespace orb::platform
{

namespace
{

/// The Credential Manager's target name of an entry: one generic credential per service and key.
std::wstring TargetName(const std::string& Service, const std::string& Key)
{
    return win32::Wide(Service + "/" + Key);
}

[[noreturn]] void RaiseKeyringError(DWORD Code)
{
    throw EKeyringError(win32::ErrorText(Code));
}

} // namespace

TKeyringState KeyringState()
{
    // The Credential Manager is part of every Windows session.
    return TKeyringState::ksAvailable;
}

std::optional<std::string> ReadKeyring(const std::string& Service, const std::string& Key)
{
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(TargetName(Service, Key).c_str(), CRED_TYPE_GENERIC, 0, &credential))
    {
        const DWORD code = GetLastError();
        if (code == ERROR_NOT_FOUND)
            return std::nullopt;
        RaiseKeyringError(code);
    }
    std::string secret(reinterpret_cast<const char*>(credential->CredentialBlob), credential->CredentialBlobSize);
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return secret;
}

void WriteKeyring(const std::string& Service, const std::string& Key, const std::string& Secret)
{
    std::wstring target = TargetName(Service, Key);
    std::wstring user = win32::Wide(Key);
    std::string blob = Secret;
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const BOOL written = CredWriteW(&credential, 0);
    const DWORD code = GetLastError();
    SecureZeroMemory(blob.data(), blob.size());
    if (!written)
        RaiseKeyringError(code);
}

void ForgetKeyring(const std::string& Service, const std::string& Key)
{
    if (!CredDeleteW(TargetName(Service, Key).c_str(), CRED_TYPE_GENERIC, 0) && GetLastError() != ERROR_NOT_FOUND)
        RaiseKeyringError(GetLastError());
}

} // namespace orb::platform
