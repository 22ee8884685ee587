// The Administrators membership check: does the access token of this
// process hold the builtin Administrators group (S-1-5-32-544)? Only the
// group identifiers are compared, not their attributes.
#include <windows.h>

#include <cstdlib>

#include "capture/privilege.h"

namespace pw {

namespace {

// The group list is read into a buffer of 1,024 bytes first and grown to
// the size the system asks for; a token whose list keeps growing between
// two reads is given up on after this many reads instead of looping.
constexpr DWORD kFirstGroupBufferSize = 1024;
constexpr int kMaxGroupReads = 16;

class AdministratorsCheck final : public PrivilegeCheck {
 public:
  PrivilegeResult check() override {
    PrivilegeResult result{false, false};
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    HANDLE token = nullptr;
    void* groups = nullptr;

    bool read = false;
    if (AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                 DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &administrators) &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      DWORD size = kFirstGroupBufferSize;
      for (int attempt = 0; attempt < kMaxGroupReads; ++attempt) {
        std::free(groups);
        groups = std::malloc(size);
        if (groups == nullptr) break;
        SetLastError(0);
        const BOOL ok = GetTokenInformation(token, TokenGroups, groups, size, &size);
        const DWORD error = GetLastError();
        if (!ok && error != ERROR_INSUFFICIENT_BUFFER) break;
        if (error == 0) {
          read = true;
          break;
        }
      }
    }
    if (read) {
      result.checked = true;
      const TOKEN_GROUPS* list = static_cast<const TOKEN_GROUPS*>(groups);
      for (DWORD i = 0; i < list->GroupCount; ++i) {
        if (EqualSid(list->Groups[i].Sid, administrators)) {
          result.allowed = true;
          break;
        }
      }
    }

    if (token != nullptr) CloseHandle(token);
    std::free(groups);
    if (administrators != nullptr) FreeSid(administrators);
    return result;
  }
};

}  // namespace

PrivilegeCheck& SystemPrivilegeCheck() {
  static AdministratorsCheck check;
  return check;
}

}  // namespace pw
