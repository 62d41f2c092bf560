#include "platform/windows/FileSecurity.h"

#include <sddl.h>

#include <string>
#include <vector>

namespace platform::windows {

namespace {

// The current user's SID in text form ("S-1-5-21-..."); empty when the token cannot tell.
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    std::string result;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    char* text = nullptr;
    if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        result = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return result;
}

// A descriptor from its text form (SDDL); null when it cannot be made. Freed with LocalFree.
PSECURITY_DESCRIPTOR DescriptorFrom(const std::string& text) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return nullptr;
    }
    return descriptor;
}

}  // namespace

// P: protected, nothing inherited from the folder; one entry: full access (FA) for the user.
OwnerOnlySecurity::OwnerOnlySecurity() {
    const std::string user = CurrentUserSid();
    if (!user.empty()) {
        descriptor = DescriptorFrom("D:P(A;;FA;;;" + user + ")");
    }
}

OwnerOnlySecurity::~OwnerOnlySecurity() {
    LocalFree(descriptor);
}

}  // namespace platform::windows
