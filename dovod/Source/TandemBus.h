#pragma once
// A receiver and the bus of its paired devices in one object. As a Device it talks to the receiver
// with Vexa 1.0 register commands (device index 0xFF); as an IHardwareBus it offers one TandemDevice
// per occupied slot; as an IReceiver it opens and closes the pairing lock and unpairs. It reads every
// report of the receiver's HID collection, follows the receiver's connection notifications, routes
// reports to the paired devices by device index and keeps the receiver's notification flags set.
//
// Threads: onRead, onWrite and the perform_ operations run on the receiver's read thread; the
// enumeration, the register operations and the IReceiver operations on the host thread, because
// they wait for answers that the read thread delivers. The slot mutex is held only while a slot is
// read or replaced, never while an event is produced.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dovod/IHardwareBus.h"
#include "dovod/IReceiver.h"
#include "dovod/Producer.h"
#include "protocol/Device.h"

namespace dovod {

class TandemDevice;

class TandemBus : public Device,
                  public IHardwareBus,
                  public IReceiver,
                  public Producer<IHardwareBus::PlugUnplug>,
                  public Producer<IReceiver::LockingChange>,
                  public Producer<IReceiver::RegisterZeroOverwritten>,
                  public Subscriber<IReceiver::RegisterZeroOverwritten> {
 public:
  // `receiver_type` and `slot_count` come from the receiver's row of the receiver table. Always
  // owned by a shared pointer; the device manager calls initDevice next.
  TandemBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev, int receiver_type,
            int slot_count);
  ~TandemBus() override;

  // IHardwareBus: the paired devices, enumerated from the receiver. An empty list with LastError
  // set when the receiver could not be asked.
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override { return internal_devices(); }
  bool wants_combiner() override { return false; }
  using Device::persistent_data_directory;

  // IReceiver.
  std::vector<std::shared_ptr<IDevice>> paired_devices() override;
  bool read_slot_values() override;
  bool two_slot_receiver() override;
  bool open_lock() override;
  bool close_lock() override;
  bool unpair(int device) override;

  // Reads a short register and writes it back with bytes 4 to 6 changed as
  // set_i | (old_i & ~clear_i); nothing is written when nothing changes.
  bool short_register_bit_operation(Byte reg, Byte set0, Byte set1, Byte set2, Byte clear0, Byte clear1,
                                    Byte clear2);
  // Turns on the receiver's connection notifications (once, until an enumeration mismatch).
  bool enable_receiver_notifications();
  // Reacts, on the host thread, to other programs writing the notification register. Once.
  void enable_register_zero_monitoring();
  // Requests of the paired devices when their protocol device becomes configured.
  bool set_software_present();
  bool set_configuration_complete(int slot);
  // The name the receiver keeps for the device in `slot`; empty when it could not be read.
  std::string devname(int slot);

  // Slot changes, on the read thread.
  void perform_arrival(int slot, unsigned pid, bool connected, bool fake_device_arrival);
  void perform_connect(int slot);
  void perform_disconnect(int slot);
  void perform_removal(int slot);

  // The enumeration behind devices(): asks the receiver to announce every paired device.
  std::vector<std::shared_ptr<IHardwareDevice>> internal_devices();

  // Clears the software-present bit that this library set.
  void shutdown() override;

  // Makes the write outcomes of the receiver's hardware device reach the paired devices.
  bool subscribe_receiver_writes();

  // The device in `slot`, or empty.
  std::shared_ptr<TandemDevice> device_in_slot(int slot);
  // The values last read with read_slot_values, one per slot.
  std::vector<Byte> slot_values();

  // The receiver's hardware device events (read thread) and the library's active state (host).
  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onWrite(Bytes report, ErrorCode error, unsigned system_error) override;
  void onActiveChanged(bool active) override;
  // The bus's own subscription, delivered on the host thread.
  void onRegisterZeroOverwritten() override;

 protected:
  bool on_subscribe(Subscriber<IHardwareBus::PlugUnplug>* s) override;
  void on_unsubscribe(Subscriber<IHardwareBus::PlugUnplug>* s) override;
  using Device::on_subscribe;
  using Producer<IReceiver::LockingChange>::on_subscribe;
  using Producer<IReceiver::RegisterZeroOverwritten>::on_subscribe;
  using Producer<IDevice::Report>::on_unsubscribe;
  using Producer<IDevice::WriteReport>::on_unsubscribe;
  using Producer<IDevice::Connect>::on_unsubscribe;
  using Producer<IDevice::ConfigChange>::on_unsubscribe;
  using Producer<IReceiver::LockingChange>::on_unsubscribe;
  using Producer<IReceiver::RegisterZeroOverwritten>::on_unsubscribe;

 private:
  std::shared_ptr<TandemBus> self();
  void handle_receiver_report(const Bytes& report);
  bool pairing_command(Byte action, Byte device);
  bool slot_in_range(int slot) const { return slot >= 0 && slot < slot_count_; }
  std::vector<std::shared_ptr<TandemDevice>> occupied();
  void produce_plug(const std::shared_ptr<TandemDevice>& device);
  void produce_unplug(const std::shared_ptr<TandemDevice>& device);

  const std::weak_ptr<IDeviceManager> owner_;
  const int receiver_type_;
  const int slot_count_;

  std::mutex slot_mutex_;
  std::vector<std::shared_ptr<TandemDevice>> slots_;
  std::vector<Byte> slot_values_;

  // Announcements seen per slot during the current enumeration.
  std::mutex enumeration_mutex_;
  std::map<int, int> arrivals_;

  std::atomic<bool> notifications_enabled_{false};
  std::atomic<bool> enumerating_{false};
  std::atomic<bool> register_zero_subscribed_{false};
  std::atomic<bool> software_present_{false};
  std::atomic<bool> shutting_down_{false};
};

}  // namespace dovod
