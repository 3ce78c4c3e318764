#include "app/platform/AppendFile.h"

#include <windows.h>

namespace vorn::platform {

AppendFile::~AppendFile() { close(); }

bool AppendFile::open(const std::wstring& path, std::uint64_t& size_before) {
  close();
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END)) {
    CloseHandle(file);
    return false;
  }
  handle_ = file;
  size_before = static_cast<std::uint64_t>(end.QuadPart);
  return true;
}

bool AppendFile::is_open() const { return handle_ != nullptr; }

bool AppendFile::write(std::string_view bytes) {
  if (!handle_) return false;
  const HANDLE file = static_cast<HANDLE>(handle_);
  LARGE_INTEGER start{};
  const bool have_start = SetFilePointerEx(file, LARGE_INTEGER{}, &start, FILE_CURRENT);
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      // Part of a line that a full disk cut short is taken back: in a UTF-16 file an odd byte left
      // behind would garble every line written once there is room again.
      if (have_start && SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) SetEndOfFile(file);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

void AppendFile::close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace vorn::platform
