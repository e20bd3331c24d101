// Where HomePlug 1.0 handling meets the layers above it: the scan's frame handler and autoscan
// switch, and the diagnostics device log. Each is a plain function the upper layer installs.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::brantleapi {

// The scan's handler of HomePlug 1.0 frames that the Turbo poll does not handle itself
// (everything but types 0x02, 0x12 and 0x13); true when it handled the frame.
using Hp1FrameHandler = bool (*)(ByteSpan frame);
// Switches the background scan on or off and returns its previous state.
using AutoscanSwitch = bool (*)(bool on);
// Adds the bytes of one frame to the device log; kind 2 marks a mismatching key read-back.
using DeviceLogSink = void (*)(int kind, ByteSpan bytes);

inline constexpr int kDeviceLogKeyReadBack = 2;

// nullptr restores the default: no handler (frames not handled), a switch that only keeps
// its state, no log.
void setHp1FrameHandler(Hp1FrameHandler handler);
void setAutoscanSwitch(AutoscanSwitch autoscanSwitch);
void setDeviceLogSink(DeviceLogSink sink);

bool HandleHp1FrameHook(ByteSpan frame);
bool SuspendAutoscanHook(bool on);
void appendDeviceLogHook(int kind, ByteSpan bytes);

}  // namespace quorrel::brantleapi
