#pragma once
// The one error enumeration of the library. A failing operation stores one of these in the calling
// thread's LastError; 0 means no error. Values are part of the host interface and never change.

namespace dovod {

enum class ErrorCode : int {
  None = 0,
  Mismatch = 1,                    // reply does not match the request, or object of the wrong type
  CommandResponseTooShort = 2,
  NoResponse = 4,                  // no reply although the device is still reachable
  NotConnected = 5,                // not connected, or quarantined
  NotificationRegistrationFailed = 6,
  InvalidDeviceHandle = 7,         // write to a device that is not open
  Vxp10ErrorFirst = 8,             // Vexa 1.0 error byte 0..12 maps to 8..20
  Vxp10ErrorLast = 20,
  Vxp10ErrorOther = 21,            // any other Vexa 1.0 error byte (kept in system_error)
  NotVxp20 = 22,
  WriteExceedsCollectionSize = 25,
  DeviceRemoved = 28,
  NotPresent = 30,
  OpenFailedFirst = 33,            // opening a HID device failed at one of its steps (33..38)
  OpenFailedLast = 38,
  WriteTimedOut = 39,
  WriteFailed = 40,
  SubscribeCastFailed = 43,        // "dynamic pointer cast in subscribe failed"
  Vxp20ErrorFirst = 44,            // Vexa 2.0 error byte 0..9 maps to 44..53
  Vxp20ErrorLast = 53,
  Vxp20ErrorOther = 54,            // any other Vexa 2.0 error byte (kept in system_error)
  Abandoned = 55,
  WriteDeviceGone = 61,            // write failed with system error 31
  ReceiverArrivalMismatch = 65,
  ProcessingPending = 66,
  FwVersionChanged = 67,
  SwidCollision = 68,
  NotMakerDevice = 70,
  WriteTooShort = 71,
  NotAvailable = 72,               // library shutting down, window or radio missing
  InvalidConfigItem = 76,
  ReceiverRetriesExhausted = 77,
  PingMismatch = 78,
};

// The numeric value of a code, as it appears in log lines and events.
constexpr int to_int(ErrorCode code) { return static_cast<int>(code); }

}  // namespace dovod
