#pragma once
// The application log as the end-to-end tests read it, and the check that its lines come in order;
// shared by the runs of the Linux and the Windows program.

#include <filesystem>
#include <string>
#include <vector>

namespace vorn::testing {

// The log file decoded from UTF-16 with plain line feeds; empty when there is no file. `bom` tells
// whether it began with the byte-order mark, `crlf` whether every line feed followed a carriage
// return.
std::wstring ReadApplicationLog(const std::filesystem::path& path, bool* bom = nullptr, bool* crlf = nullptr);

// Whether `text` holds every one of `parts` in this order.
bool InOrder(const std::wstring& text, const std::vector<std::wstring>& parts, std::wstring* missing = nullptr);

}  // namespace vorn::testing
