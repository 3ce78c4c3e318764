#pragma once
// The dialog's texts: string ids 1024-1041 in the user's language, English where the language has
// no table, with the product strings filled in. The texts themselves come from one source that
// both the Qt build and the Win32 string tables take theirs from.

#include <string>

namespace vorn {

namespace text {
inline constexpr int kCaption = 1024;
inline constexpr int kIntro = 1025;
inline constexpr int kNotesHeading = 1026;
inline constexpr int kReleaseNote = 1027;
inline constexpr int kWarning = 1028;
inline constexpr int kUpdating = 1029;
inline constexpr int kSucceeded = 1030;
inline constexpr int kClose = 1031;
inline constexpr int kStart = 1032;
inline constexpr int kGeneralError = 1033;
inline constexpr int kWaitingForDevice = 1034;
inline constexpr int kWaitingForConnection = 1035;
inline constexpr int kBatteryLow = 1036;
inline constexpr int kNoUpdateNeeded = 1037;
inline constexpr int kFailed = 1038;
inline constexpr int kPreparing = 1039;
inline constexpr int kUpdateAvailable = 1040;
inline constexpr int kPackageDamaged = 1041;
}  // namespace text

// String `id` in the user's language (English when that language has no table, empty when no
// table has it), with both placeholders filled in.
std::wstring LoadText(int id);

}  // namespace vorn
