#pragma once
// One openable channel of raw HID reports. Every implementation also derives from
// Producer<IHardwareDevice::Write>, Producer<IHardwareDevice::Read> and
// Producer<IHardwareDevice::Connect>, in that order.
//
// Threads: the operations may be called on any thread. Reads happen on a read thread that the
// device (or, behind a receiver, the receiver's device) owns: it runs while the device is open and
// has a Read subscriber, and joins on close. Read events are produced on it; a protocol device
// subscribes Direct, so its read handling runs there and must never wait for a reply. Failures
// answer false and leave the reason in LastError; nothing throws.

#include <memory>
#include <string>

#include "dovod/ErrorCode.h"
#include "dovod/Types.h"

namespace dovod {

class IHardwareBus;

class IHardwareDevice {
 public:
  class Connect {
   public:
    virtual ~Connect() = default;
    // The device's link came up or went down while the device stayed present; produced on the
    // thread that learns of it (the receiver's read thread for a paired device). A transport that
    // shows a restart as the device leaving and arriving (hidraw) never produces these.
    virtual void onConnect(std::shared_ptr<IHardwareDevice> device) {}
    virtual void onDisconnect(std::shared_ptr<IHardwareDevice> device) {}
  };

  class Read {
   public:
    virtual ~Read() = default;
    // `report` is one whole input report, empty when the read failed (then `error` is the system
    // error); `relayed` is true for a report that a receiver delivers to one of its paired devices;
    // `length` is the report length that was asked for. Produced on the read thread, in the order
    // the reports arrived.
    virtual void onRead(Bytes report, bool relayed, unsigned error, unsigned length) {}
  };

  class Write {
   public:
    virtual ~Write() = default;
    // Produced once for every call of write, successful or not, on the writing thread before write
    // returns; `report` is empty when the write failed.
    virtual void onWrite(Bytes report, ErrorCode error, unsigned system_error) {}
  };

  virtual ~IHardwareDevice() = default;

  // Whether the device can be talked to now. Never blocks.
  virtual bool connected() = 0;
  // Opens the channel; true at once when it is open already. The first open of a HID collection
  // checks that it speaks the maker's protocol. Blocks only for the system calls of opening. Fails
  // with `ErrorCode::DeviceRemoved` (28) once the device has left, `ErrorCode::NoPath` (32), one of
  // `ErrorCode::OpenFailed` .. `ErrorCode::NotProtocolCollection` (33..38) for the step that
  // failed, or `ErrorCode::NotMakerDevice` (70). Produces nothing.
  virtual bool open() = 0;
  // Closes the channel and joins its read thread (detaches it when called on that thread); a write
  // in progress is woken and fails, and close waits until it lets go. Produces nothing.
  virtual void close() = 0;
  // Writes one output report, opening the device first if needed. Blocks until the system took the
  // report, at most the write limit (HidDevice::kWriteLimit, 10 s), then fails with
  // `ErrorCode::WriteTimedOut` (39). `blocking` declares that the caller will wait for an answer
  // that the read thread delivers: such a write fails with `ErrorCode::WriteWithoutReadThread` (27)
  // when no read thread runs and with `ErrorCode::BlockingWriteOnReadThread` (26) on the read
  // thread itself. Other failures: the open's code, `ErrorCode::InvalidDeviceHandle` (7),
  // `ErrorCode::WriteTooShort` (71), `ErrorCode::WriteExceedsCollectionSize` (25),
  // `ErrorCode::WriteFailed` (40) with the system error, `ErrorCode::WriteDeviceGone` (61).
  // Produces exactly one onWrite, on the calling thread.
  virtual bool write(Bytes report, bool blocking) = 0;
  // The bus that announced the device; empty once the bus is gone.
  virtual std::shared_ptr<IHardwareBus> bus() = 0;
  // The identity of the device: lower-case UTF-8, compared as plain text.
  virtual std::string path() = 0;
  virtual unsigned pid() = 0;
  // A device paired to a receiver asks the receiver for its name the first time, which blocks as
  // a register command does (so never on a read thread); "" when that failed.
  virtual std::string product_name() = 0;

  // path, pid and the getters below answer at once from what the device learnt when it was found
  // or first opened, on any thread, unless said otherwise.

  // The byte a receiver reported for this device's slot.
  virtual int slot_value() { return 0; }
  // 0 directly attached or combined HID collections, 1 paired to a receiver, 2 Bluetooth,
  // 3 Bluetooth Low Energy, 4 GATT.
  virtual int bus_type() { return 0; }
  // The slot number plus 1 behind a receiver; 0 for a directly attached collection.
  virtual int device_index() { return 0; }
  // Called by the command engine before it sends a request whose reply it will wait for, on the
  // commanding thread with the engine's command mutex held: it must not block or produce events.
  virtual void before_synchronous_command() {}
  // How long the command engine waits for the reply to one attempt of a request.
  virtual int command_timeout_ms() { return 3000; }
  virtual int transport_detail() { return 0; }
  virtual void set_transport_option(int value) {}
  // A receiver-paired device forwards this to its receiver's hardware device.
  virtual int receiver_detail() { return 0; }
  // Asked by the command engine, on the commanding thread, when a request went unanswered; true
  // keeps the device in use. May block for a fresh enumeration of the bus and may make the bus
  // produce onUnplug for the device (on this thread).
  virtual bool verify_connection_following_timeout() { return true; }

  // Interface combining: collections whose piece_bits differ from expected_pieces are pieces of a
  // larger device, grouped by combine_key.
  virtual std::string combine_key() { return path(); }
  virtual int piece_bits() { return 2; }
  virtual int expected_pieces() { return 2; }
  virtual int report_length() { return 20; }
};

}  // namespace dovod
