#pragma once
// The current user's registry, as far as the library and the application use it: 4-byte numbers
// and strings under a key path such as "SOFTWARE\\Corvane\\xLog\\dovod\\Updater.exe". Key and value
// names compare ignoring ASCII case, as on Windows. Failures leave the reason in LastError.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dovod::platform {

class Registry {
 public:
  // A value that is missing, of another type or of the wrong size reads as absent.
  static std::optional<std::uint32_t> read_dword(std::string_view key, std::string_view name);

  // Strings are UTF-8. A string that does not fit in `max_bytes` with its terminating zero reads
  // as absent rather than cut, so a truncated setting is never mistaken for the stored one.
  static std::optional<std::string> read_string(std::string_view key, std::string_view name,
                                                std::size_t max_bytes);

  // Create the key when it is missing.
  static bool write_dword(std::string_view key, std::string_view name, std::uint32_t value);
  static bool write_string(std::string_view key, std::string_view name, std::string_view value);

  // Removes the key with its values and subkeys; true when it is gone afterwards.
  static bool delete_key(std::string_view key);
};

}  // namespace dovod::platform
