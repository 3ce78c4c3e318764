// The reply cache in memory: replies to read requests, stored under a fixed software id so that an
// entry serves whatever id the library uses later, and handed out with the current one.

#include "protocol/CommandEngine.h"

namespace dovod {
namespace {

constexpr Byte kCacheSwid = 0x0A;

}  // namespace

Bytes CommandEngine::with_swid(Bytes message, int swid) {
  if (message.size() > 3) message[3] = static_cast<Byte>((message[3] & 0xF0) | (swid & 0x0F));
  return message;
}

bool CommandEngine::cache_lookup(const Bytes& request, Bytes& reply) {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  auto it = cache_.find(with_swid(request, kCacheSwid));
  if (it == cache_.end()) return false;
  reply = with_swid(it->second, swid());
  return true;
}

void CommandEngine::cache_store(const Bytes& request, const Bytes& reply) {
  {
    std::lock_guard<std::mutex> lock(cache_mutex_);
    cache_[with_swid(request, kCacheSwid)] = with_swid(reply, kCacheSwid);
    cache_dirty_ = true;
  }
  host_.cache_changed();
}

void CommandEngine::merge_cache(const Cache& entries, bool mark_dirty) {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  for (const auto& [request, reply] : entries) cache_.emplace(request, reply);
  if (mark_dirty) cache_dirty_ = true;
}

void CommandEngine::mark_cache_dirty() {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  cache_dirty_ = true;
}

bool CommandEngine::cache_dirty() const {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  return cache_dirty_;
}

CommandEngine::Cache CommandEngine::take_cache_for_writing() {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  cache_dirty_ = false;
  return cache_;
}

void CommandEngine::clear_cache() {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  cache_.clear();
}

}  // namespace dovod
