#pragma once
// Steps of an update that several tests share.

#include <string>
#include <vector>

#include "DfuDriver.h"
#include "KeyboardLink.h"
#include "firmware/ImageBuilder.h"

namespace simtest {

// Feature indexes of the bootloader.
constexpr int kBootFirmwareInfo = 2;
constexpr int kBootDfu = 3;

// The packets of the image sent first (selector 2) and of the one sent second (selector 1).
const std::vector<Bytes>& first_packets();
const std::vector<Bytes>& second_packets();

// SetDfuControl(1, 0) as the update sends it.
Bytes enter_dfu_request();

// Waits until the Connect events seen so far are followed by a disconnect and a connect.
bool restarted(KeyboardLink& link, std::size_t events_before);

// DFURestart(1); true when it was answered and the keyboard came back.
bool restart_out_of_transfer(KeyboardLink& link);

// The prefix of the entity the running-flag marks, through firmware information at `index`.
std::string running_prefix(KeyboardLink& link, int index);

}  // namespace simtest
