#include "platform/Folders.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "dovod/LastError.h"

namespace dovod::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01, so that times read the same as on Windows.
constexpr std::uint64_t kEpochDifference = 11644473600ull;

bool fail(int error, const char* what) {
  set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(error), what);
  return false;
}

std::string with_separator(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

}  // namespace

std::string Folders::temp_folder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = with_separator((tmp && *tmp) ? tmp : "/tmp") + "dovod-" + std::to_string(geteuid());
  if (!create_private_directory(folder)) return {};
  return folder + '/';
}

std::string Folders::runtime_folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && create_private_directory(runtime)) return with_separator(runtime);
  return temp_folder();
}

std::string Folders::documents_folder() {
  const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
  if (docs && *docs) return with_separator(docs);
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    fail(ENOENT, "no home folder");
    return {};
  }
  return with_separator(std::string(home) + "/Documents");
}

bool Folders::create_directory(std::string_view path) {
  std::string p(path);
  if (mkdir(p.c_str(), 0700) == 0) return true;
  int error = errno;
  struct stat st;
  if (error == EEXIST && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  return fail(error, "mkdir failed");
}

bool Folders::create_private_directory(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return fail(errno, "mkdir failed");
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return fail(errno, "cannot inspect the folder");
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    return fail(EPERM, "the folder is not the user's own");
  }
  return true;
}

std::vector<FileEntry> Folders::list_files(std::string_view folder, std::string_view pattern) {
  std::vector<FileEntry> files;
  std::string dir(folder);
  std::string glob(pattern);
  DIR* d = opendir(dir.c_str());
  if (!d) return files;
  while (dirent* entry = readdir(d)) {
    if (fnmatch(glob.c_str(), entry->d_name, FNM_PERIOD) != 0) continue;
    struct stat st;
    if (stat((dir + entry->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::uint64_t t = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + kEpochDifference) * 10000000ull +
                      static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
    files.push_back(FileEntry{entry->d_name, t});
  }
  closedir(d);
  return files;
}

bool Folders::delete_file(std::string_view path) {
  if (unlink(std::string(path).c_str()) == 0) return true;
  return fail(errno, "unlink failed");
}

}  // namespace dovod::platform
