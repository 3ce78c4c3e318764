#include "platform/PrivateFile.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>

#include "dovod/LastError.h"
#include "platform/WideText_win32.h"

namespace dovod::platform {
namespace {

bool fail(const char* what, DWORD error = GetLastError()) {
  set_last_error(ErrorCode::NotAvailable, error, what);
  return false;
}

// Opens the entry itself rather than what a link or junction points to, and keeps the handle only
// for a plain disk file.
HANDLE open_checked(const std::string& path, DWORD access, DWORD disposition) {
  HANDLE file = CreateFileW(to_wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fail("CreateFile failed");
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1) {
    CloseHandle(file);
    fail("not a plain file", ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace

std::FILE* PrivateFile::open_append(const std::string& path) {
  HANDLE file = open_checked(path, GENERIC_READ | FILE_APPEND_DATA, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_TEXT);
  if (fd < 0) {
    CloseHandle(file);
    fail("_open_osfhandle failed", ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "a+t");
  if (!stream) {
    _close(fd);
    fail("_fdopen failed", ERROR_TOO_MANY_OPEN_FILES);
  }
  return stream;
}

std::optional<std::string> PrivateFile::read(const std::string& path, std::size_t max_bytes) {
  HANDLE file = open_checked(path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    CloseHandle(file);
    fail("the file is too large", ERROR_FILE_TOO_LARGE);
    return std::nullopt;
  }
  std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t got = 0;
  while (got < content.size()) {
    DWORD n = 0;
    if (!ReadFile(file, content.data() + got, static_cast<DWORD>(content.size() - got), &n, nullptr)) {
      fail("ReadFile failed");
      CloseHandle(file);
      return std::nullopt;
    }
    if (n == 0) break;
    got += n;
  }
  CloseHandle(file);
  content.resize(got);
  return content;
}

bool PrivateFile::replace(const std::string& path, std::string_view content) {
  static std::atomic<unsigned> serial{0};
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temporary;
  // CREATE_NEW never opens an entry someone else made first; a taken name just moves on.
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = to_wide(path + "." + std::to_string(GetCurrentProcessId()) + "." +
                        std::to_string(GetTickCount64()) + "." + std::to_string(serial.fetch_add(1)) + ".tmp");
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return fail("CreateFile failed");
  bool ok = true;
  while (ok && !content.empty()) {
    DWORD chunk = content.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(content.size());
    DWORD written = 0;
    ok = WriteFile(file, content.data(), chunk, &written, nullptr) && written != 0;
    content.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (ok && !MoveFileExW(temporary.c_str(), to_wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temporary.c_str());
    return fail("replacing the file failed", error);
  }
  return true;
}

}  // namespace dovod::platform
