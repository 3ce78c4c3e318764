#pragma once
// The user's folders and the few file operations the library needs. Paths are UTF-8; a folder
// path ends in the platform's separator. Failures leave the reason (with the system's error
// number) in LastError.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dovod::platform {

struct FileEntry {
  std::string name;          // the file name, without folder
  std::uint64_t last_write;  // 100-nanosecond units since 1601-01-01 UTC
};

class Folders {
 public:
  // The folder separator of the platform.
  static constexpr char separator =
#ifdef _WIN32
      '\\';
#else
      '/';
#endif

  // The user's temporary folder with a trailing separator; empty when there is none. On Linux it
  // is a folder of the user's own under the shared one, checked as create_private_directory does
  // each time it is asked for, since another user may have made the name first.
  static std::string temp_folder();

  // A folder for the user's sockets and locks with a trailing separator: $XDG_RUNTIME_DIR when the
  // session has one that passes the same checks, else the temporary folder; empty when neither.
  static std::string runtime_folder();

  // The user's Documents folder with a trailing separator; empty when there is none.
  static std::string documents_folder();

  // True when the folder exists afterwards (created now or already there).
  static bool create_directory(std::string_view path);

  // Like create_directory, and on Linux true only for a real folder (not a link) that belongs to
  // the effective user and that no one else may enter; error code NotAvailable otherwise.
  static bool create_private_directory(std::string_view path);

  // The plain files of `folder` (with trailing separator) whose names match `pattern`, where '*'
  // stands for any run of characters and '?' for one character; in no particular order.
  static std::vector<FileEntry> list_files(std::string_view folder, std::string_view pattern);

  static bool delete_file(std::string_view path);

  // `name` as one file name: characters other than letters, digits, '-' and '_' written as %XX,
  // so that no name climbs out of its folder or meets another name's file.
  static std::string escaped_file_name(std::string_view name);
};

}  // namespace dovod::platform
