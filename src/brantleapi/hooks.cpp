// Installed upper-layer functions and their defaults.
#include "brantleapi/hooks.h"

namespace quorrel::brantleapi {

namespace {
Hp1FrameHandler frameHandler = nullptr;
AutoscanSwitch autoscanSwitch = nullptr;
DeviceLogSink deviceLog = nullptr;
bool autoscanOn = true;  // the default switch's own state
}  // namespace

void setHp1FrameHandler(Hp1FrameHandler handler) {
  frameHandler = handler;
}
void setAutoscanSwitch(AutoscanSwitch s) {
  autoscanSwitch = s;
  autoscanOn = true;
}
void setDeviceLogSink(DeviceLogSink sink) {
  deviceLog = sink;
}

bool HandleHp1FrameHook(ByteSpan frame) {
  return frameHandler != nullptr && frameHandler(frame);
}

bool SuspendAutoscanHook(bool on) {
  if (autoscanSwitch != nullptr) return autoscanSwitch(on);
  const bool previous = autoscanOn;
  autoscanOn = on;
  return previous;
}

void appendDeviceLogHook(int kind, ByteSpan bytes) {
  if (deviceLog != nullptr) deviceLog(kind, bytes);
}

}  // namespace quorrel::brantleapi
