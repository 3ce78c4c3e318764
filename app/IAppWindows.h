#pragma once
// What start-up needs of the platform's window layer (Win32 or Qt): its own initialisation and one
// modal run of the update dialog.

namespace vorn {

class IAppWindows {
 public:
  // The modal run's result when the dialog could not be created.
  static constexpr int kDialogNotCreated = -1;

  virtual ~IAppWindows() = default;

  // The common controls and the framework's own initialisation, before the command line is read.
  virtual void Initialise() = 0;

  // Builds the update dialog, runs it modally and destroys it; returns the modal result.
  virtual int RunDialog() = 0;
};

}  // namespace vorn
