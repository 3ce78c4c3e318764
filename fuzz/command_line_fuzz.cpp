// Feeds arbitrary command lines to the option parser: whoever starts the tool chooses them.
// Input: byte 0 selects the form (bit 0 clear: UTF-8 arguments as Linux passes them, through the
// platform's tokeniser; set: raw wide units, 4 bytes each, any value), then the tokens, separated by
// zero. Besides not crashing, parsing must be settled: the same tokens again change nothing, and a
// force directory always comes with force.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/platform/CommandLine.h"

namespace {

bool same(const vorn::AppOptions& a, const vorn::AppOptions& b) {
  return a.force == b.force && a.log == b.log && a.skip_device == b.skip_device &&
         a.force_directory == b.force_directory && a.fail_device == b.fail_device;
}

std::vector<std::wstring> utf8_tokens(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"vorn-firmware-update"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  args.push_back(std::move(current));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return vorn::platform::CommandLineTokens(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::wstring> wide_tokens(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> tokens(1);
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::uint32_t unit;
    std::memcpy(&unit, data + i, 4);
    if (unit == 0) tokens.emplace_back();
    else tokens.back().push_back(static_cast<wchar_t>(unit));
  }
  return tokens;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<std::wstring> tokens = (data[0] & 1) ? wide_tokens(data + 1, size - 1) : utf8_tokens(data + 1, size - 1);
  std::vector<const wchar_t*> pointers;
  for (const std::wstring& token : tokens) pointers.push_back(token.c_str());

  vorn::AppOptions once;
  if (!vorn::ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), once)) std::abort();
  if (!once.force_directory.empty() && !once.force) std::abort();
  vorn::AppOptions twice = once;
  vorn::ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), twice);
  if (!same(once, twice)) std::abort();
  return 0;
}
