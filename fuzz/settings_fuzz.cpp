// Feeds arbitrary bytes to the settings store as the file of the application's key, which anything
// running as the user may have edited. Besides not crashing: a host path read back fits its room,
// counting a run stores one more than was read, and rewriting the key for that keeps the host path.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/Settings.h"
#include "app/WideText.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kKey = "Software\\Fuzz\\Settings";
std::string values_path;

}  // namespace

// The store lives in a fresh private folder, on a memory file system when there is one, since every
// input is written and replaced there.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
  std::string folder = base + "/vorn_settings_fuzz_XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  if (!dovod::platform::Registry::write_dword(kKey, "NumRetries", 0)) std::abort();
  values_path = folder + "/dovod-registry/software/fuzz/settings/values";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = open(values_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0) std::abort();

  vorn::Settings settings{std::string(kKey)};
  const auto path = settings.ReadHostPath();
  if (path && vorn::Utf16FromWide(*path).size() + 1 > vorn::kHostPathRoom) std::abort();
  const auto count = dovod::platform::Registry::read_dword(kKey, vorn::kRunCountValue);

  settings.CountRun();
  // Escaping can triple the file on rewriting; past the store's size the write is refused instead.
  if (size > (1 << 20) / 3) return 0;
  if (dovod::platform::Registry::read_dword(kKey, vorn::kRunCountValue) != count.value_or(0) + 1u) std::abort();
  if (settings.ReadHostPath() != path) std::abort();
  return 0;
}
