#pragma once
// A snapshot of the running processes, read entry by entry: on Windows a Toolhelp32 snapshot, on
// Linux the numbered folders of /proc taken at construction, keeping only the processes of the user
// the tool runs for (see CallingUser_linux.h) whose executable can be read.

#include <cstdint>
#include <string>
#include <vector>

namespace vorn::platform {

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::wstring exe_name;  // the executable's file name, without folder
};

class ProcessSnapshot {
 public:
  ProcessSnapshot();
  ~ProcessSnapshot();
  ProcessSnapshot(const ProcessSnapshot&) = delete;
  ProcessSnapshot& operator=(const ProcessSnapshot&) = delete;

  // False when the snapshot could not be taken.
  bool valid() const;
  // The first entry; false when there is none or the snapshot is not valid.
  bool first(ProcessEntry& entry);
  bool next(ProcessEntry& entry);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  bool valid_ = false;
  std::vector<ProcessEntry> entries_;
  std::size_t next_ = 0;
#endif
};

}  // namespace vorn::platform
