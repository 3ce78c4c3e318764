#pragma once
// The user on whose behalf the tool runs. Whose host software it looks for and signals, and as whom
// it starts the host software again, all follow from this one answer.

#include <sys/types.h>

namespace vorn::platform {

struct CallingUser {
  uid_t uid = 0;
  gid_t gid = 0;
  // The tool runs as root for `uid`: what it starts must drop to that user first.
  bool elevated = false;
};

// Without root it is the real user. As root it is the user who asked for root: sudo leaves
// SUDO_UID/SUDO_GID and pkexec PKEXEC_UID in the environment, which only root could have set when
// the real uid is root. Root with neither (or naming root itself) acts for root alone, and `elevated`
// stays false. A set-user-id root program acts for its real user.
CallingUser calling_user();

}  // namespace vorn::platform
