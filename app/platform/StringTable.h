#pragma once
// The string tables of the running executable, one per language, as the resource loader sees
// them: on Windows its STRINGTABLE resources, on Linux the table generated from the same source
// and linked in (LinkedStrings.h).

#include <cstdint>
#include <optional>
#include <string>

namespace vorn::platform {

// A Windows language id: the primary language in the low 10 bits, the sublanguage above them.
using LanguageId = std::uint16_t;

inline constexpr LanguageId PrimaryLanguage(LanguageId language) { return language & 0x3FF; }

class StringTable {
 public:
  virtual ~StringTable() = default;

  // String `id` of the table of exactly `language` (no fallback to another language); nullopt when
  // that language has no table, the table has no such string, or the resource cannot be read.
  // Callable from any thread.
  virtual std::optional<std::wstring> Find(LanguageId language, int id) const = 0;
};

// The executable's own tables; lives as long as the program.
const StringTable& ModuleStringTable();

}  // namespace vorn::platform
