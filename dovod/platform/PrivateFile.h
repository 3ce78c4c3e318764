#pragma once
// Files of the user's own in folders that others may share or may have prepared: nothing is read
// or written through a link, a FIFO, a device, a file with a second name or a file that another
// user owns, and files made here are readable by the user alone. Paths are UTF-8. Failures leave
// the reason (with the system's error number) in LastError, code NotAvailable.

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace dovod::platform {

class PrivateFile {
 public:
  // Opens `path` for appending text (and reading), creating it when missing; an existing file of
  // the user's own that others could read is made private first. The stream is not inherited by
  // child processes. nullptr when the entry is refused or cannot be opened.
  static std::FILE* open_append(const std::string& path);

  // The whole content of the file; empty when it is missing, refused, unreadable or longer than
  // `max_bytes`. Never waits for a writer.
  static std::optional<std::string> read(const std::string& path, std::size_t max_bytes);

  // Replaces the file as a whole: the content goes to a new file of a name no one can foresee in
  // the same folder, reaches the disk, and then takes the name, so a reader sees the old or the
  // new file and nothing between. False (and the name untouched) when any step fails.
  static bool replace(const std::string& path, std::string_view content);
};

}  // namespace dovod::platform
