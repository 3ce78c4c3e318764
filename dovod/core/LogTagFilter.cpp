#include "core/LogTagFilter.h"

namespace dovod::log {

TagFilter::TagFilter(std::string_view tokens) {
  if (tokens.empty()) return;
  all_off_ = false;
  std::size_t start = 0;
  while (start <= tokens.size()) {
    std::size_t end = tokens.find(' ', start);
    if (end == std::string_view::npos) end = tokens.size();
    std::string_view token = tokens.substr(start, end - start);
    start = end + 1;
    if (token == "-*") {
      all_off_ = true;
      enabled_.clear();
      disabled_.clear();
    } else if (token.size() > 1 && token[0] == '+') {
      std::string name(token.substr(1));
      disabled_.erase(name);
      enabled_.insert(std::move(name));
    } else if (token.size() > 1 && token[0] == '-') {
      std::string name(token.substr(1));
      enabled_.erase(name);
      disabled_.insert(std::move(name));
    }
  }
}

bool TagFilter::passes(std::string_view tag) const {
  if (disabled_.find(tag) != disabled_.end()) return false;
  return !all_off_ || enabled_.find(tag) != enabled_.end();
}

std::string TagFilter::describe() const {
  std::string out = all_off_ ? " -*" : "";
  for (const std::string& name : enabled_) out += " +" + name;
  for (const std::string& name : disabled_) out += " -" + name;
  return out;
}

}  // namespace dovod::log
