#include "platform/Folders.h"

#include <windows.h>
#include <shlobj.h>

#include "dovod/LastError.h"
#include "platform/WideText_win32.h"

namespace dovod::platform {
namespace {

bool fail(const char* what) {
  set_last_error(ErrorCode::NotAvailable, GetLastError(), what);
  return false;
}

std::string with_separator(std::string path) {
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path;
}

}  // namespace

std::string Folders::temp_folder() {
  wchar_t buffer[MAX_PATH + 2];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) {
    fail("GetTempPath failed");
    return {};
  }
  return with_separator(to_utf8(std::wstring_view(buffer, n)));
}

std::string Folders::documents_folder() {
  PWSTR path = nullptr;
  HRESULT hr = SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path);
  std::string out;
  if (SUCCEEDED(hr) && path) out = with_separator(to_utf8(path));
  else set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(hr), "SHGetKnownFolderPath failed");
  CoTaskMemFree(path);
  return out;
}

bool Folders::create_directory(std::string_view path) {
  std::wstring w = to_wide(path);
  if (CreateDirectoryW(w.c_str(), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    SetLastError(ERROR_ALREADY_EXISTS);
  }
  return fail("CreateDirectory failed");
}

// The temporary folder under the user's profile is already the user's own.
std::string Folders::runtime_folder() { return temp_folder(); }

bool Folders::create_private_directory(std::string_view path) { return create_directory(path); }

std::vector<FileEntry> Folders::list_files(std::string_view folder, std::string_view pattern) {
  std::vector<FileEntry> files;
  WIN32_FIND_DATAW data;
  std::wstring query = to_wide(std::string(folder) + std::string(pattern));
  HANDLE find = FindFirstFileW(query.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::uint64_t t = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
    files.push_back(FileEntry{to_utf8(data.cFileName), t});
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return files;
}

bool Folders::delete_file(std::string_view path) {
  if (DeleteFileW(to_wide(path).c_str())) return true;
  return fail("DeleteFile failed");
}

}  // namespace dovod::platform
