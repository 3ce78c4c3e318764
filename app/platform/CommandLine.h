#pragma once
// The command line after the program name, as tokens. Windows splits its command-line text by
// the shell's rules (CommandLineToArgvW: quotes group blanks into one token); Linux takes argv as
// given, in UTF-8.

#include <string>
#include <vector>

namespace vorn::platform {

std::vector<std::wstring> CommandLineTokens(int argc, char** argv);

}  // namespace vorn::platform
