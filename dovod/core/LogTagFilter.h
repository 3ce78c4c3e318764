#pragma once
// Which tags may show on the console and debugger above the console level, from the "LogTags"
// setting: "-*" turns every tag off, "+Name" enables a tag, "-Name" disables it.

#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace dovod::log {

class TagFilter {
 public:
  // Without any setting every tag is off. Tokens apply in order; unknown ones are ignored.
  TagFilter() = default;
  explicit TagFilter(std::string_view tokens);

  bool passes(std::string_view tag) const;

  // " -*" when all are off, then " +Name" and " -Name" in name order, for the "tags=" line.
  std::string describe() const;

 private:
  std::set<std::string, std::less<>> enabled_;
  std::set<std::string, std::less<>> disabled_;
  bool all_off_ = true;
};

}  // namespace dovod::log
