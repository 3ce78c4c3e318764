#include "app/platform/CallingUser_linux.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>

namespace vorn::platform {
namespace {

// A decimal id as sudo and pkexec write it; anything else, or the "no id" value, is not an id.
std::optional<unsigned long> id_from(const char* text) {
  if (!text || !*text) return std::nullopt;
  unsigned long value = 0;
  for (char c : std::string_view(text)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value >= static_cast<unsigned long>(static_cast<uid_t>(-1))) return std::nullopt;
  }
  return value;
}

gid_t primary_group(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_gid != 0)
    return found->pw_gid;
  // An id without an account (or one in root's group) gets the group of its own number, never root's.
  return static_cast<gid_t>(uid);
}

}  // namespace

CallingUser calling_user() {
  CallingUser user;
  const uid_t real = getuid();
  if (real != 0) {
    user.uid = real;
    user.gid = getgid();
    user.elevated = geteuid() == 0;
    return user;
  }
  std::optional<unsigned long> uid = id_from(std::getenv("SUDO_UID"));
  std::optional<unsigned long> gid = uid ? id_from(std::getenv("SUDO_GID")) : std::nullopt;
  if (gid == 0ul) gid.reset();
  if (!uid) uid = id_from(std::getenv("PKEXEC_UID"));
  if (!uid || *uid == 0) return user;
  user.uid = static_cast<uid_t>(*uid);
  user.gid = gid ? static_cast<gid_t>(*gid) : primary_group(user.uid);
  user.elevated = true;
  return user;
}

}  // namespace vorn::platform
