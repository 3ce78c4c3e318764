#include "app/platform/CommandLine.h"

#include "app/WideText.h"

namespace vorn::platform {

std::vector<std::wstring> CommandLineTokens(int argc, char** argv) {
  std::vector<std::wstring> tokens;
  for (int i = 1; i < argc && argv; ++i)
    if (argv[i]) tokens.push_back(WideFromUtf8(argv[i]));
  return tokens;
}

}  // namespace vorn::platform
