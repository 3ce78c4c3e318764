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

  // A Vexa 1.0 error reply with error byte 0..12 is code 8 + byte; the bytes this library or its
  // simulator tells apart have names of their own. The byte itself is kept in system_error.
  Vxp10ErrorFirst = 8,
  Vxp10ErrorUnknownSubId = 9,      // byte 1: the register protocol does not know the request
  Vxp10ErrorInvalidAddress = 10,   // byte 2
  Vxp10ErrorInvalidValue = 11,     // byte 3
  Vxp10ErrorBusy = 15,             // byte 7: transient, retried after a ping
  Vxp10ErrorUnknownDevice = 16,    // byte 8: no device in that slot
  Vxp10ErrorResource = 17,         // byte 9: transient, retried after a ping
  NullDevice = 19,                 // not a reply: a register command given no device (as byte 11)
  Vxp10ErrorLast = 20,
  Vxp10ErrorOther = 21,            // any other Vexa 1.0 error byte (kept in system_error)

  NotVxp20 = 22,
  WriteExceedsCollectionSize = 25,
  BlockingWriteOnReadThread = 26,  // a blocking write would wait for its own read thread
  WriteWithoutReadThread = 27,     // a blocking write while no read thread runs
  DeviceRemoved = 28,
  EmptyNameChunk = 29,             // the device name feature answered an empty chunk
  NotPresent = 30,
  SystemFunctionMissing = 31,      // a system library did not load or lacks a function
  NoPath = 32,                     // a HID device without a path cannot be opened

  // Opening a HID device failed at one of its steps (33..38).
  OpenFailedFirst = 33,
  OpenFailed = 33,                 // the node could not be opened (or its helpers made)
  AttributesFailed = 34,           // its identity (bus, vendor, product) could not be read
  DescriptorFailed = 35,           // its report descriptor could not be read
  CapabilitiesFailed = 36,         // its report descriptor could not be parsed
  NotVendorUsagePage = 37,         // no collection on the maker's usage pages
  NotProtocolCollection = 38,      // a vendor collection, but not one of the protocol's layouts
  OpenFailedLast = 38,

  WriteTimedOut = 39,
  WriteFailed = 40,
  WindowFailed = 41,               // the bus's hidden window could not be created
  EnumerationFailed = 42,          // the platform's list of HID devices could not be read
  SubscribeCastFailed = 43,        // "dynamic pointer cast in subscribe failed"

  // A Vexa 2.0 error reply with error byte 0..9 is code 44 + byte; named as for Vexa 1.0.
  Vxp20ErrorFirst = 44,
  Vxp20ErrorInvalidArgument = 46,  // byte 2
  Vxp20ErrorOutOfRange = 47,       // byte 3
  Vxp20ErrorUnknownFeatureIndex = 50,  // byte 6
  Vxp20ErrorUnknownFunction = 51,  // byte 7
  Vxp20ErrorBusy = 52,             // byte 8: transient, retried after a ping
  Vxp20ErrorLast = 53,
  Vxp20ErrorOther = 54,            // any other Vexa 2.0 error byte (kept in system_error)

  Abandoned = 55,
  WriteDeviceGone = 61,            // the device went away during the write (Windows: system error 31)
  WindowThreadFailed = 62,         // an exception ended the bus's window thread
  InterfaceNotificationFailed = 63,  // arrivals of an interface class cannot be followed
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
