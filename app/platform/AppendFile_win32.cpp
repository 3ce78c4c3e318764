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
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data(), chunk, &written, nullptr) || written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

void AppendFile::close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace vorn::platform
