#pragma once
// Building the keyboard's input reports. Every report the keyboard sends is a long one.

#include "sim/SimProtocol.h"

namespace sim {

// The request's bytes 1 to 3 followed by `payload` (cut or zero-filled to 16 bytes).
Bytes reply_to(const Bytes& request, const Bytes& payload);
// byte 2 0xFF, byte 3 the request's feature index, byte 4 the request's byte 3, byte 5 `error`.
Bytes error_reply_to(const Bytes& request, Byte error);
// A report the keyboard sends on its own: software id 0.
Bytes notification(Byte feature_index, int function, const Bytes& payload);

// The request's fields; a missing byte reads as 0.
Byte request_byte(const Bytes& request, std::size_t at);
inline Byte feature_index_of(const Bytes& r) { return request_byte(r, 2); }
inline int function_of(const Bytes& r) { return request_byte(r, 3) >> 4; }
inline int software_id_of(const Bytes& r) { return request_byte(r, 3) & 0x0F; }
// The request's parameters: bytes 4 onwards.
Bytes parameters_of(const Bytes& request);

}  // namespace sim
