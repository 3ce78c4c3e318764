#include "Source/CombinerDevice.h"

#include <vector>

#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "CombinerDevice";

}  // namespace

CombinerDevice::CombinerDevice(std::weak_ptr<IHardwareBus> bus, const std::shared_ptr<IHardwareDevice>& first_piece)
    : bus_(std::move(bus)),
      path_(first_piece->combine_key()),
      pid_(first_piece->pid()),
      product_name_(first_piece->product_name()),
      expected_(first_piece->expected_pieces()) {
  pieces_[first_piece->piece_bits()] = first_piece;
}

template <class E>
bool CombinerDevice::subscribe_pieces(const PieceMap& pieces) {
  for (const auto& [bits, piece] : pieces) {
    if (!Subscriber<E>::subscribe(piece, Direct)) {
      const LastError failure = last_error();
      unsubscribe_pieces<E>(pieces);
      set_last_error(failure.code, failure.system_error, failure.message);
      return false;
    }
  }
  return true;
}

template <class E>
void CombinerDevice::unsubscribe_pieces(const PieceMap& pieces) {
  for (const auto& [bits, piece] : pieces) Subscriber<E>::unsubscribe(piece);
}

CombinerDevice::~CombinerDevice() {
  // A piece that outlives this device must not relay into it while it is being torn down.
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  const PieceMap pieces = pieces_snapshot();
  unsubscribe_pieces<IHardwareDevice::Read>(pieces);
  unsubscribe_pieces<IHardwareDevice::Write>(pieces);
}

CombinerDevice::PieceMap CombinerDevice::pieces_snapshot() {
  std::lock_guard<std::mutex> lock(pieces_mutex_);
  return pieces_;
}

bool CombinerDevice::whole() {
  int got = 0;
  bool any = false;
  {
    std::lock_guard<std::mutex> lock(pieces_mutex_);
    for (const auto& [bits, piece] : pieces_) got |= bits;
    any = !pieces_.empty();
  }
  const bool result = any && (expected_ & got) == expected_;
  xLog(kTag, LOG_VERBOSE, "dovod::CombinerDevice::whole", "CombinerDevice::whole = %d (need %d, got %d)",
       result ? 1 : 0, expected_, got);
  return result;
}

bool CombinerDevice::add_piece(const std::shared_ptr<IHardwareDevice>& piece) {
  static constexpr const char* kFn = "dovod::CombinerDevice::add_piece";
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::add_piece enter");
  const int bits = piece->piece_bits();
  {
    std::lock_guard<std::mutex> lock(pieces_mutex_);
    if (pieces_.count(bits)) {
      xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::add_piece keeping existing piece");
      return true;
    }
  }
  // Both subscriptions count: a refused one must not be hidden by the other succeeding.
  bool ret = true;
  if (reading_) {
    xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::add_piece reading, so subscribing to new piece");
    ret = Subscriber<IHardwareDevice::Read>::subscribe(piece, Direct) && ret;
  }
  if (logging_writes_) {
    xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::add_piece logging writes, so subscribing to new piece");
    ret = Subscriber<IHardwareDevice::Write>::subscribe(piece, Direct) && ret;
  }
  {
    std::lock_guard<std::mutex> lock(pieces_mutex_);
    pieces_[bits] = piece;
  }
  xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::add_piece exit, ret=%d", ret ? 1 : 0);
  return ret;
}

bool CombinerDevice::remove_piece(const std::shared_ptr<IHardwareDevice>& device) {
  static constexpr const char* kFn = "dovod::CombinerDevice::remove_piece";
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::remove_piece enter");
  const std::string path = device->path();
  std::vector<std::pair<int, std::shared_ptr<IHardwareDevice>>> gone;
  for (const auto& [bits, piece] : pieces_snapshot()) {
    if (piece->path() == path) gone.emplace_back(bits, piece);
  }
  bool empty = false;
  {
    std::lock_guard<std::mutex> lock(pieces_mutex_);
    for (const auto& [bits, piece] : gone) pieces_.erase(bits);
    empty = pieces_.empty();
  }
  for (const auto& [bits, piece] : gone) {
    xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::remove_piece erasing piece from device");
    Subscriber<IHardwareDevice::Read>::unsubscribe(piece);
    Subscriber<IHardwareDevice::Write>::unsubscribe(piece);
    piece->close();
  }
  xLog(kTag, LOG_DEBUG, kFn, "CombinerDevice::remove_piece exit, is_empty=%d", empty ? 1 : 0);
  return empty;
}

bool CombinerDevice::open() {
  for (const auto& [bits, piece] : pieces_snapshot()) {
    if (!piece->open()) {
      xLog(kTag, LOG_WARNING, "dovod::CombinerDevice::open", "CombinerDevice::open exit (false, could not open a piece of device)");
      return false;
    }
  }
  xLog(kTag, LOG_DEBUG, "dovod::CombinerDevice::open", "CombinerDevice::open exit (true)");
  return true;
}

void CombinerDevice::close() {
  for (const auto& [bits, piece] : pieces_snapshot()) piece->close();
}

bool CombinerDevice::fail_write(ErrorCode code, unsigned long system_error) {
  Producer<IHardwareDevice::Write>::produce(
      [code, system_error](IHardwareDevice::Write* s) { s->onWrite({}, code, static_cast<unsigned>(system_error)); },
      "CombinerDevice::Write::onWrite");
  // Write handlers may have used this thread's record; the caller reads the write's failure.
  set_last_error(code, system_error);
  return false;
}

bool CombinerDevice::write(Bytes report, bool blocking) {
  static constexpr const char* kFn = "dovod::CombinerDevice::write";
  if (blocking && !open()) {
    xLog(kTag, LOG_WARNING, kFn, "CombinerDevice::write open failed");
    const LastError failure = last_error();
    return fail_write(failure.code, failure.system_error);
  }
  xLog(kTag, LOG_VERBOSE, kFn, "CombinerDevice::write enter");
  for (const auto& [bits, piece] : pieces_snapshot()) {
    if (static_cast<long long>(piece->report_length()) < static_cast<long long>(report.size())) continue;
    const bool ok = piece->write(std::move(report), blocking);
    if (ok) {
      xLog(kTag, LOG_VERBOSE, kFn, "CombinerDevice::write exit (true, wrote to device)");
    } else {
      xLog(kTag, LOG_WARNING, kFn, "CombinerDevice::write exit (false, failed to write to device)");
    }
    return ok;
  }
  xLog(kTag, LOG_WARNING, kFn, "CombinerDevice::write exit (false, WriteExceedsCollectionSize)");
  return fail_write(ErrorCode::WriteExceedsCollectionSize, 0);
}

bool CombinerDevice::verify_connection_following_timeout() {
  bool all = true;
  for (const auto& [bits, piece] : pieces_snapshot()) {
    if (!piece->verify_connection_following_timeout()) {
      xLog(kTag, LOG_WARNING, "dovod::CombinerDevice::verify_connection_following_timeout",
           "CombinerDevice::verify_connection_following_timeout() returning false");
      all = false;
    }
  }
  return all;
}

int CombinerDevice::command_timeout_ms() {
  const PieceMap pieces = pieces_snapshot();
  return pieces.empty() ? IHardwareDevice::command_timeout_ms() : pieces.begin()->second->command_timeout_ms();
}

bool CombinerDevice::subscribe(Subscriber<IHardwareDevice::Read>* s, int delivery) {
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  return Producer<IHardwareDevice::Read>::subscribe(s, delivery);
}

bool CombinerDevice::on_subscribe(Subscriber<IHardwareDevice::Read>*) {
  if (reading_) return true;
  if (!subscribe_pieces<IHardwareDevice::Read>(pieces_snapshot())) {
    xLog(kTag, LOG_ERROR, "dovod::CombinerDevice::on_subscribe",
         "CombinerDevice::on_subscribe exit (false, could not subscribe to read a piece)");
    return false;
  }
  reading_ = true;
  return true;
}

void CombinerDevice::unsubscribe(Subscriber<IHardwareDevice::Read>* s) {
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  Producer<IHardwareDevice::Read>::unsubscribe(s);
  if (!reading_) return;
  if (Producer<IHardwareDevice::Read>::subscriber_count() > 0) {
    xLog(kTag, LOG_DEBUG, "dovod::CombinerDevice::on_unsubscribe",
         "CombinerDevice::on_unsubscribe exit, still subscribers remaining");
    return;
  }
  unsubscribe_pieces<IHardwareDevice::Read>(pieces_snapshot());
  reading_ = false;
}

bool CombinerDevice::subscribe(Subscriber<IHardwareDevice::Write>* s, int delivery) {
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  return Producer<IHardwareDevice::Write>::subscribe(s, delivery);
}

bool CombinerDevice::on_subscribe(Subscriber<IHardwareDevice::Write>*) {
  if (logging_writes_) return true;
  if (!subscribe_pieces<IHardwareDevice::Write>(pieces_snapshot())) {
    xLog(kTag, LOG_ERROR, "dovod::CombinerDevice::on_subscribe",
         "CombinerDevice::on_subscribe exit (false, could not subscribe to writes from a piece)");
    return false;
  }
  logging_writes_ = true;
  return true;
}

void CombinerDevice::unsubscribe(Subscriber<IHardwareDevice::Write>* s) {
  std::lock_guard<std::mutex> subscriptions(subscription_mutex_);
  Producer<IHardwareDevice::Write>::unsubscribe(s);
  if (!logging_writes_) return;
  if (Producer<IHardwareDevice::Write>::subscriber_count() > 0) {
    xLog(kTag, LOG_DEBUG, "dovod::CombinerDevice::on_unsubscribe",
         "CombinerDevice::on_unsubscribe exit, still subscribers remaining");
    return;
  }
  unsubscribe_pieces<IHardwareDevice::Write>(pieces_snapshot());
  logging_writes_ = false;
}

void CombinerDevice::onRead(Bytes report, bool relayed, unsigned error, unsigned length) {
  xLog(kTag, LOG_VERBOSE, "dovod::CombinerDevice::onRead", "CombinerDevice::onRead producing read event");
  Producer<IHardwareDevice::Read>::produce(
      [report = std::move(report), relayed, error, length](IHardwareDevice::Read* s) {
        s->onRead(report, relayed, error, length);
      },
      "CombinerDevice::Read::onRead");
}

void CombinerDevice::onWrite(Bytes report, ErrorCode error, unsigned system_error) {
  Producer<IHardwareDevice::Write>::produce(
      [report = std::move(report), error, system_error](IHardwareDevice::Write* s) {
        s->onWrite(report, error, system_error);
      },
      "CombinerDevice::Write::onWrite");
}

}  // namespace dovod
