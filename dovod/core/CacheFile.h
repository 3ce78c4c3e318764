#pragma once
// The XML document in which a device keeps the replies to its constant queries:
//   <?xml version="1.0" encoding="utf-8"?>
//   <cache fw="..." path="..."><command cmd="10FF000A000100" rsp="..."/>...</cache>
// Files are untrusted: anything that is not such a document, within the size limit, reads as no
// cache at all.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "dovod/Types.h"

namespace dovod {

struct CacheContents {
  std::string fw;                // firmware identity the replies belong to
  std::string path;              // hardware path of the device that wrote it
  std::map<Bytes, Bytes> commands;  // request → reply, software-id nibble 0xA
};

class CacheFile {
 public:
  // Larger files are not read: a real cache holds some hundred entries of a few dozen bytes.
  static constexpr std::size_t kMaxSize = 256 * 1024;

  // The document's contents; of two entries for one request the first wins.
  static std::optional<CacheContents> parse(std::string_view text);
  static std::string format(const CacheContents& contents);

  // Only a plain file of the user's own is read: not a link, not a FIFO, not another user's file.
  static std::optional<CacheContents> read(const std::string& file);

  // Replaces the file as a whole (a new temporary file of its own, flushed to disk, then renamed),
  // so a reader never sees half of it.
  static bool write(const std::string& file, const CacheContents& contents);

  // A file for another firmware is ignored; a device that does not know its own yet trusts it.
  static bool fits(const CacheContents& contents, std::string_view known_fw) {
    return known_fw.empty() || contents.fw == known_fw;
  }
};

}  // namespace dovod
