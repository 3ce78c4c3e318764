#pragma once
// Basic value types shared by every layer of the library.

#include <cstdint>
#include <vector>

namespace dovod {

// One byte of a report, request, reply or payload.
using Byte = std::uint8_t;

// A whole report (byte 0 is the report id), a request, a reply or a payload.
using Bytes = std::vector<Byte>;

}  // namespace dovod
