#pragma once
// The application's two values under its registry key of the current user: where the host
// software was started from, and how often the tool has been started. Registry failures are
// silent, as nothing the tool decides depends on them.

#include <optional>
#include <string>
#include <string_view>

namespace vorn {

inline constexpr std::string_view kSettingsKey = "Software\\Corvane\\Vorn Firmware Update v17";
inline constexpr std::string_view kHostPathValue = "HubcastPath";
inline constexpr std::string_view kRunCountValue = "NumRetries";

// Room for the host path when it is read back: 260 wide characters with the terminating zero.
inline constexpr std::size_t kHostPathRoom = 260;

class Settings {
 public:
  explicit Settings(std::string key = std::string(kSettingsKey)) : key_(std::move(key)) {}

  // Writes "HubcastPath" when the path is not empty; false when the registry refuses.
  bool StoreHostPath(const std::wstring& path) const;

  // The stored host path; nothing when it is missing, not a string, or longer than kHostPathRoom.
  std::optional<std::wstring> ReadHostPath() const;

  // "NumRetries" + 1, counting from 0 when the value is missing or unreadable.
  void CountRun() const;

  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

}  // namespace vorn
