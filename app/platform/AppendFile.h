#pragma once
// A file that is opened or created and then written at its end, unbuffered, so that every line
// written reaches the system at once. Other programs of the user may read it meanwhile; on Linux
// it is the user's alone (mode 0600), and a link, FIFO or another user's file at its name is refused.

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::platform {

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens the file for reading and writing, creating it when absent and keeping its contents; a
  // file already open here is closed first. Reports the size it had. False when it cannot be opened.
  bool open(const std::wstring& path, std::uint64_t& size_before);
  bool is_open() const;
  // Appends all bytes; false on a write error.
  bool write(std::string_view bytes);
  void close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace vorn::platform
