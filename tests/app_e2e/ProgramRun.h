#pragma once
// One run of the built update tool as a real process, in a sandbox of its own: a fresh folder holds
// its home, settings store, Documents and temporary folders, so runs never see each other's files
// or the user's. The tool runs offscreen with the autopilot and, unless a test says otherwise,
// against the simulated keyboard with every delay scaled down.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "LogText.h"

namespace vorn::testing {

class ProgramRun {
 public:
  ProgramRun();
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // Environment of the run; set to "" to leave a variable out.
  std::map<std::string, std::string> environment;

  // Starts the tool with `arguments` and waits up to `limit` for it to end; its exit status, or
  // nothing when it had to be killed.
  std::optional<int> run(const std::vector<std::string>& arguments,
                         std::chrono::milliseconds limit = std::chrono::minutes(3));
  // Starts it without waiting; `stop` ends it.
  bool start(const std::vector<std::string>& arguments);
  void stop();

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path log_path() const;
  // The application log decoded from UTF-16 with plain line feeds; empty when there is no file.
  // `bom` tells whether it began with the byte-order mark, `crlf` whether every line feed followed
  // a carriage return.
  std::wstring log(bool* bom = nullptr, bool* crlf = nullptr) const;

 private:
  std::optional<int> wait(std::chrono::milliseconds limit);

  std::filesystem::path folder_;
  int pid_ = -1;
};

}  // namespace vorn::testing
