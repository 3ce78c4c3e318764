#pragma once
// One device made of several HID collections ("pieces") of the same physical device, such as the
// short-report and the long-report collection. Writes go to the first piece whose reports are long
// enough; reads and write outcomes of every piece are relayed as the device's own.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class CombinerDevice : public IHardwareDevice,
                       public Producer<IHardwareDevice::Write>,
                       public Producer<IHardwareDevice::Read>,
                       public Producer<IHardwareDevice::Connect>,
                       public Subscriber<IHardwareDevice::Read>,
                       public Subscriber<IHardwareDevice::Write>,
                       public std::enable_shared_from_this<CombinerDevice> {
 public:
  // Path, product id and name, and the expected pieces come from `first_piece`. Nothing is opened.
  CombinerDevice(std::weak_ptr<IHardwareBus> bus, const std::shared_ptr<IHardwareDevice>& first_piece);
  ~CombinerDevice() override;
  CombinerDevice(const CombinerDevice&) = delete;
  CombinerDevice& operator=(const CombinerDevice&) = delete;

  // Whether the pieces present cover every expected piece bit. False with no piece at all.
  bool whole();
  // Adds `piece` under its piece_bits; a piece already present under those bits is kept and the new
  // object dropped. False when subscribing to the new piece for the device's listeners failed
  // (LastError from the piece). Host thread.
  bool add_piece(const std::shared_ptr<IHardwareDevice>& piece);
  // Closes and drops every piece with the path of `device`; true when no piece is left. Host thread.
  bool remove_piece(const std::shared_ptr<IHardwareDevice>& device);

  bool connected() override { return true; }
  // Opens every piece in ascending piece order; false at the first piece that fails (LastError from
  // it; pieces opened before stay open).
  bool open() override;
  void close() override;
  // Writes through the first piece whose report_length holds the report; false with
  // `ErrorCode::WriteExceedsCollectionSize` (25) when none does. Every call produces exactly one
  // onWrite. Any thread.
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override { return bus_.lock(); }
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return product_name_; }
  // True only when every piece answers true.
  bool verify_connection_following_timeout() override;
  // The pieces are one device on one wire: the first piece's; the interface's default without one.
  int command_timeout_ms() override;

  // Listening to the device listens to every piece (direct delivery) while anyone listens. The
  // subscriptions to the pieces change outside this device's producer lock: a piece's read thread
  // holds the piece's lock while it takes ours. Any thread.
  bool subscribe(Subscriber<IHardwareDevice::Read>* s, int delivery) override;
  void unsubscribe(Subscriber<IHardwareDevice::Read>* s) override;
  bool subscribe(Subscriber<IHardwareDevice::Write>* s, int delivery) override;
  void unsubscribe(Subscriber<IHardwareDevice::Write>* s) override;

  // Relayed from the pieces, on the piece's thread.
  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onWrite(Bytes report, ErrorCode error, unsigned system_error) override;

 protected:
  bool on_subscribe(Subscriber<IHardwareDevice::Read>* s) override;
  bool on_subscribe(Subscriber<IHardwareDevice::Write>* s) override;

 private:
  using PieceMap = std::map<int, std::shared_ptr<IHardwareDevice>>;

  PieceMap pieces_snapshot();
  // Produces the one onWrite of a write that reached no piece, and answers false with `code`.
  bool fail_write(ErrorCode code, unsigned long system_error);
  template <class E>
  bool subscribe_pieces(const PieceMap& pieces);
  template <class E>
  void unsubscribe_pieces(const PieceMap& pieces);

  const std::weak_ptr<IHardwareBus> bus_;
  const std::string path_;
  const unsigned pid_;
  const std::string product_name_;
  const int expected_;

  // Serialises every change of the subscriptions to the pieces (and of the two flags). Never taken
  // by reads, writes or their relays.
  std::mutex subscription_mutex_;
  // Guards pieces_ only; nothing is called while it is held.
  std::mutex pieces_mutex_;
  PieceMap pieces_;
  bool reading_ = false;
  bool logging_writes_ = false;
};

}  // namespace dovod
