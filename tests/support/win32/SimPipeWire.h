#pragma once
// The simulated keyboard behind the pipes of one HID interface of the stand-in system: every report
// a client writes reaches the simulated device as one report, and every input report of the device
// is written to each open client as one message, as Windows hands a HID collection's input reports
// to every handle open on it.
//
// What a client sees, and what the device transport has to map:
// - unplug(): the server ends are disconnected and closed; a pending or later read or write on a
//   client end fails with ERROR_PIPE_NOT_CONNECTED (233). A pipe cannot fail a read with
//   ERROR_DEVICE_NOT_CONNECTED (1167), which Windows gives for a removed HID device.
// - a client that reads nothing loses the reports that no longer fit in its pipe; the device and
//   the other clients go on.
// - stall: the wire stops reading what clients write, so a client's write stays pending until the
//   stall ends or the client cancels it (ERROR_OPERATION_ABORTED).

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"

namespace dovod::test {

class SimPipeWire : public Subscriber<IHardwareDevice::Read>, public Subscriber<IHardwareDevice::Connect> {
 public:
  explicit SimPipeWire(std::shared_ptr<IHardwareDevice> device);
  ~SimPipeWire() override;
  SimPipeWire(const SimPipeWire&) = delete;
  SimPipeWire& operator=(const SimPipeWire&) = delete;

  // Opens the simulated device and subscribes to its reports and its link.
  bool start();

  // Serves the server end of a newly opened client until unplug() or destruction; takes ownership.
  void serve(HANDLE server_end);
  // The device leaves: every server end is disconnected and closed. Ends served later work again.
  void unplug();
  // While stalled, nothing a client writes is read.
  void set_stalled(bool stalled);
  // Called with false when the simulated device drops its link (a restart) and with true when it
  // comes back; the wire has already unplugged its ends before the false call.
  void on_presence(std::function<void(bool present)> handler);

  // Server ends served now.
  int open_ends() const;
  // Reports that clients wrote and the device was given, in order.
  std::vector<Bytes> written() const;

  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onConnect(std::shared_ptr<IHardwareDevice> device) override;
  void onDisconnect(std::shared_ptr<IHardwareDevice> device) override;

 private:
  struct End;
  void carry_writes(const std::shared_ptr<End>& end);
  void finish(const std::shared_ptr<End>& end);
  void deliver(const Bytes& report);

  const std::shared_ptr<IHardwareDevice> device_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<End>> ends_;
  bool stalled_ = false;
  std::vector<Bytes> written_;
  std::function<void(bool)> presence_;
};

}  // namespace dovod::test
