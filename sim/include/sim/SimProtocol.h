#pragma once
// The values the simulated keyboard puts on the wire that the library does not fix itself: its
// feature ids, the error bytes of its error replies, its DFU status values and its identity.

#include <cstdint>

#include "dovod/Types.h"

namespace sim {

using dovod::Byte;
using dovod::Bytes;

constexpr Byte kShortReportId = 0x10;
constexpr Byte kLongReportId = 0x11;
constexpr int kShortReportLength = 7;
constexpr int kLongReportLength = 20;
constexpr Byte kDirectDeviceIndex = 0xFF;
// Byte 2 of an error reply.
constexpr Byte kErrorReplyMarker = 0xFF;

// Feature ids the keyboard offers.
constexpr int kRoot = 0x0000;
constexpr int kFeatureSet = 0x0001;
constexpr int kFirmwareInfo = 0x0003;
constexpr int kDeviceName = 0x0005;
constexpr int kConfigChange = 0x0020;
constexpr int kDfuControl = 0x00C2;
constexpr int kDfu = 0x00D0;
constexpr int kWirelessStatus = 0x1D4B;

// Error bytes of the keyboard's error replies (byte 5).
constexpr Byte kErrInvalidArgument = 2;
constexpr Byte kErrOutOfRange = 3;
constexpr Byte kErrUnknownFeatureIndex = 6;
constexpr Byte kErrUnknownFunction = 7;
constexpr Byte kErrBusy = 8;

// DFU status values (payload byte 4 of DFU replies and notifications). The first three are the ones
// the update acts on; the rest are the bootloader's reasons for refusing a packet.
constexpr Byte kDfuSendNext = 1;
constexpr Byte kDfuTransferComplete = 2;
constexpr Byte kDfuFirstImageComplete = 6;
constexpr Byte kDfuBadHeader = 0x10;
constexpr Byte kDfuBadRecord = 0x11;
constexpr Byte kDfuOutOfSequence = 0x12;
constexpr Byte kDfuNotStarted = 0x13;
constexpr Byte kDfuFlashError = 0x14;

// DFU functions besides the four packet functions (0 to 3).
constexpr int kDfuStartFunction = 4;
constexpr int kDfuRestartFunction = 5;

// The magic that ends every DFU control request: "DFU".
constexpr Byte kDfuMagic[3] = {0x44, 0x46, 0x55};

constexpr const char* kProductName = "Vorn Wireless Gaming Keyboard";
constexpr const char* kApplicationPrefix = "QRX";
constexpr const char* kBootloaderPrefix = "BOT";
constexpr Byte kDeviceTypeKeyboard = 0;

}  // namespace sim
