#include "app/platform/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

namespace vorn::platform {

std::vector<std::wstring> CommandLineTokens(int, char**) {
  std::vector<std::wstring> tokens;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return tokens;
  // The first token is the program itself.
  for (int i = 1; i < count; ++i) tokens.emplace_back(argv[i]);
  LocalFree(argv);
  return tokens;
}

}  // namespace vorn::platform
