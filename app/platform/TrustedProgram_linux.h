#pragma once
// Opens a program that the tool is about to start, when no one but root and its user could have
// put it there: the file and every folder above it must belong to root or that user, and none of
// them may be writable by anyone else. A folder such as /tmp, writable by all but sticky and
// root's, is let pass above the file's own folder, never as that folder itself. Symbolic links are
// not followed anywhere on the path. Linux only.

#include <sys/types.h>

#include <string>

namespace vorn::platform {

// An O_PATH descriptor of the program, to be started through it so that the file checked is the
// file started; -1 with the reason in `why` when the path is refused. `owner` is the one user
// besides root who may own the file and its folders; 0 lets root alone.
int open_trusted_program(const std::string& path, uid_t owner, std::string& why);

}  // namespace vorn::platform
