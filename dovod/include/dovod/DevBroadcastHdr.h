#pragma once
// The header of a device-change message, as the buses that process such messages receive it. Only
// Windows defines it; elsewhere it stays opaque, since no message ever carries one.

#if defined(_WIN32)
#include <windows.h>
#include <dbt.h>
#else
struct _DEV_BROADCAST_HDR;
typedef struct _DEV_BROADCAST_HDR DEV_BROADCAST_HDR;
#endif
