// Holds on the wire and on the autoscan, each for the lifetime of an object, so that every
// return path of an operation that exchanges frames gives them back as they were.
#pragma once

#include "scan/scan.h"

namespace quorrel::scan {

// While any hold on the wire is alive, ScanTick does nothing at all (it counts the tick as
// skipped): no poll, no phase step, and a scan the user asked for waits for the last hold to
// go. A tick can still come while an operation waits (the desktop program's sleeps run the
// event loop, where the Main page's timer fires), and its polls would take the operation's
// answers. Holds nest; each is taken and given back on the user-interface thread or the
// operation's own.
void holdWire();
void releaseWire();
bool wireHeld();

class WireHold {
 public:
  WireHold() { holdWire(); }
  ~WireHold() { releaseWire(); }
  WireHold(const WireHold&) = delete;
  WireHold& operator=(const WireHold&) = delete;
};

// Holds the autoscan off and the wire for its lifetime. The autoscan keeps its meaning for the
// user (the pages show it); the hold on the wire is what keeps the ticks out.
class AutoscanHold {
 public:
  AutoscanHold() : previous_(SuspendAutoscan(false)) {}
  ~AutoscanHold() { SuspendAutoscan(previous_); }
  AutoscanHold(const AutoscanHold&) = delete;
  AutoscanHold& operator=(const AutoscanHold&) = delete;

 private:
  WireHold wire_;
  bool previous_;
};

}  // namespace quorrel::scan
