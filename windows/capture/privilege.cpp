// The Administrators membership check: does the access token of this
// process hold the builtin Administrators group (S-1-5-32-544)? Only the
// group identifiers are compared, not their attributes.
#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "capture/privilege.h"

namespace pw {

namespace {

// The group list is read into a buffer of 1,024 bytes first and grown to
// the size the system asks for; a token whose list keeps growing between
// two reads is given up on after this many reads instead of looping.
constexpr DWORD kFirstGroupBufferSize = 1024;
constexpr int kMaxGroupReads = 16;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using TokenHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct SidFreer {
  void operator()(PSID sid) const { FreeSid(sid); }
};
using UniqueSid = std::unique_ptr<std::remove_pointer_t<PSID>, SidFreer>;

// Room for a TOKEN_GROUPS record of `size` bytes, aligned for its pointers.
class GroupBuffer {
 public:
  void resize(DWORD size) { words_.assign((size + sizeof(Word) - 1) / sizeof(Word), 0); }
  void* data() { return words_.data(); }
  DWORD size() const { return static_cast<DWORD>(words_.size() * sizeof(Word)); }
  const TOKEN_GROUPS& groups() const {
    return *reinterpret_cast<const TOKEN_GROUPS*>(words_.data());
  }

 private:
  using Word = unsigned long long;
  std::vector<Word> words_;
};

UniqueSid AdministratorsSid() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
    return nullptr;
  }
  return UniqueSid(sid);
}

TokenHandle ProcessToken() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  return TokenHandle(token);
}

// Reads the token's groups into `buffer`, growing it as the system asks.
bool ReadGroups(HANDLE token, GroupBuffer& buffer) {
  DWORD size = kFirstGroupBufferSize;
  for (int attempt = 0; attempt < kMaxGroupReads; ++attempt) {
    buffer.resize(size);
    if (GetTokenInformation(token, TokenGroups, buffer.data(), buffer.size(), &size)) {
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  return false;
}

class AdministratorsCheck final : public PrivilegeCheck {
 public:
  PrivilegeResult check() override {
    const UniqueSid administrators = AdministratorsSid();
    if (!administrators) return {false, false};
    const TokenHandle token = ProcessToken();
    if (!token) return {false, false};
    GroupBuffer buffer;
    if (!ReadGroups(token.get(), buffer)) return {false, false};
    const TOKEN_GROUPS& list = buffer.groups();
    for (DWORD i = 0; i < list.GroupCount; ++i) {
      if (EqualSid(list.Groups[i].Sid, administrators.get())) return {true, true};
    }
    return {true, false};
  }
};

}  // namespace

PrivilegeCheck& SystemPrivilegeCheck() {
  static AdministratorsCheck check;
  return check;
}

}  // namespace pw
