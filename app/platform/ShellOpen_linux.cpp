#include "app/platform/ShellOpen.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "app/WideText.h"

namespace vorn::platform {

bool ShellOpen(const std::wstring& path) {
  if (path.empty()) return false;
  const std::string file = Utf8FromWide(path);
  if (::access(file.c_str(), X_OK) != 0) return false;
  char* const argv[] = {const_cast<char*>(file.c_str()), nullptr};

  // Between fork and exec only async-signal-safe calls: the process may have other threads.
  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execv(file.c_str(), argv);
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vorn::platform
