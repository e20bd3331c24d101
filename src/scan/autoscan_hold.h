// Holds the autoscan off for its lifetime, so that every return path of an operation that
// exchanges frames gives it back as it was: the scan's ticks would take the operation's answers.
#pragma once

#include "scan/scan.h"

namespace quorrel::scan {

class AutoscanHold {
 public:
  AutoscanHold() : previous_(SuspendAutoscan(false)) {}
  ~AutoscanHold() { SuspendAutoscan(previous_); }
  AutoscanHold(const AutoscanHold&) = delete;
  AutoscanHold& operator=(const AutoscanHold&) = delete;

 private:
  bool previous_;
};

}  // namespace quorrel::scan
