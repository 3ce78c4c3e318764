#pragma once
// One openable channel of raw HID reports. Every implementation also derives from
// Producer<IHardwareDevice::Write>, Producer<IHardwareDevice::Read> and
// Producer<IHardwareDevice::Connect>, in that order.

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
    virtual void onConnect(std::shared_ptr<IHardwareDevice> device) {}
    virtual void onDisconnect(std::shared_ptr<IHardwareDevice> device) {}
  };

  class Read {
   public:
    virtual ~Read() = default;
    // `report` is one whole input report, empty when the read failed (then `error` is the system
    // error); `relayed` is true for a report that a receiver delivers to one of its paired devices;
    // `length` is the report length that was asked for.
    virtual void onRead(Bytes report, bool relayed, unsigned error, unsigned length) {}
  };

  class Write {
   public:
    virtual ~Write() = default;
    // Produced once for every call of write, successful or not.
    virtual void onWrite(Bytes report, ErrorCode error, unsigned system_error) {}
  };

  virtual ~IHardwareDevice() = default;

  // Whether the device can be talked to now.
  virtual bool connected() = 0;
  virtual bool open() = 0;
  virtual void close() = 0;
  virtual bool write(Bytes report, bool blocking) = 0;
  virtual std::shared_ptr<IHardwareBus> bus() = 0;
  // The identity of the device: lower-case UTF-8, compared as plain text.
  virtual std::string path() = 0;
  virtual unsigned pid() = 0;
  virtual std::string product_name() = 0;

  // The byte a receiver reported for this device's slot.
  virtual int slot_value() { return 0; }
  // 0 directly attached or combined HID collections, 1 paired to a receiver, 2 Bluetooth,
  // 3 Bluetooth Low Energy, 4 GATT.
  virtual int bus_type() { return 0; }
  // The slot number plus 1 behind a receiver; 0 for a directly attached collection.
  virtual int device_index() { return 0; }
  // Called by the command engine before it sends a request whose reply it will wait for.
  virtual void before_synchronous_command() {}
  virtual int command_timeout_ms() { return 3000; }
  virtual int transport_detail() { return 0; }
  virtual void set_transport_option(int value) {}
  // A receiver-paired device forwards this to its receiver's hardware device.
  virtual int receiver_detail() { return 0; }
  // Asked when a request went unanswered; true keeps the device in use.
  virtual bool verify_connection_following_timeout() { return true; }

  // Interface combining: collections whose piece_bits differ from expected_pieces are pieces of a
  // larger device, grouped by combine_key.
  virtual std::string combine_key() { return path(); }
  virtual int piece_bits() { return 2; }
  virtual int expected_pieces() { return 2; }
  virtual int report_length() { return 20; }
};

}  // namespace dovod
