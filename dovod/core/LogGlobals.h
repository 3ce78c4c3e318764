#pragma once
// The buffered path of the log file: putting messages into the current LogBuffer, growing it,
// and the low-priority thread that drains the buffers to the file.

#include "core/LogBuffer.h"

namespace dovod::log {

// The file path of xLog. False when the buffer had no room (the loss is counted).
bool insert(const LogRecord& record);

// Writes out one message from the oldest buffer that holds one, growing the current buffer
// first when a third of it is in use. True when a message was taken.
bool output_from_oldest_buffer();

// Logs and clears the count of lost messages.
void report_overruns();

// Before the process ends without destructors: everything buffered goes to the file now.
void flush_for_exit();

// Stops and joins the log thread without asking the clean-up guard; for test resets.
void stop_log_thread();

// Frees every buffer; the log thread must be stopped.
void discard_buffers();

}  // namespace dovod::log
