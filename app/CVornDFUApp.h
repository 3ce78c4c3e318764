#pragma once
// The application object: start-up reads the options, runs the update dialog once and then lets
// the clean-up guard shut the libraries down, after which the process ends.

#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/IAppWindows.h"

namespace vorn {

class CVornDFUApp {
 public:
  explicit CVornDFUApp(IAppWindows& windows, AppOptions& options = Options());

  // The instance initialisation, given the command-line tokens after the program name. Returns
  // false, so the framework enters no message loop of its own.
  bool InitInstance(const std::vector<std::wstring>& tokens);

 private:
  IAppWindows& windows_;
  AppOptions& options_;
};

}  // namespace vorn
