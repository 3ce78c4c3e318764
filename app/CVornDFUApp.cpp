#include "app/CVornDFUApp.h"

#include "app/AppLog.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace vorn {

CVornDFUApp::CVornDFUApp(IAppWindows& windows, AppOptions& options) : windows_(windows), options_(options) {}

bool CVornDFUApp::InitInstance(const std::vector<std::wstring>& tokens) {
  // Lives until the end of start-up: the log's and the device library's shutdown run when it ends,
  // after the dialog is gone.
  dovod::Vs2003SingletonThreadCleanup guard;
  windows_.Initialise();

  // Options are known before the dialog is built, so the log can open while it is constructed.
  std::vector<const wchar_t*> pointers;
  pointers.reserve(tokens.size());
  for (const std::wstring& token : tokens) pointers.push_back(token.c_str());
  ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), options_);

  if (windows_.RunDialog() == IAppWindows::kDialogNotCreated) {
    LogMessage(L"Warning: dialog creation failed, so application is terminating unexpectedly.\n");
    LogMessage(L"Warning: if you are using MFC controls on the dialog, you cannot #define _AFX_NO_MFC_CONTROLS_IN_DIALOGS.\n");
  }
  return false;
}

}  // namespace vorn
