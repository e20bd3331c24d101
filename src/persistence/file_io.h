// Whole-file reads with a size cap and all-or-nothing replacement of a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::persistence {

enum class ReadStatus { Ok, Missing, Unreadable };

// Reads at most `maxBytes` of a regular file. Anything else (a directory, a pipe, a device)
// counts as unreadable so that a hostile path can neither block nor stream without end.
ReadStatus readFileCapped(const std::string& path, std::size_t maxBytes,
                          std::vector<std::uint8_t>& out);

// Writes all of `bytes` to `fd`, going on after interrupted and short writes. False when a
// write failed or wrote nothing.
bool writeAll(int fd, ByteSpan bytes);

// Where a replacement can be made to fail in tests.
enum class ReplaceStep { Open, Write, Sync, Close, Rename };

// Called before each step; returning false makes that step fail as the system would see it.
class ReplaceFaults {
 public:
  virtual ~ReplaceFaults() = default;
  virtual bool allow(ReplaceStep step) = 0;
};
// nullptr removes the injector. The caller keeps ownership.
void setReplaceFaults(ReplaceFaults* faults);

enum class ReplaceResult {
  Done,
  NotOpened,    // the new file could not be created; nothing changed
  WriteFailed,  // short write or failed flush; the old file is untouched
  CloseFailed,  // the new file did not close cleanly; the old file is untouched
  RenameFailed  // the new file could not take the old one's place; the old file is untouched
};

// Writes `bytes` to a new owner-only (0600) file beside `path`, flushes it to disk and renames
// it over `path`, so that `path` holds either its previous contents or all of `bytes`. After a
// failure errno is the failed step's.
ReplaceResult replaceFile(const std::string& path, ByteSpan bytes);

// replaceFile in two steps, for a file that someone appends to while its replacement is made:
// prepare writes and flushes the bulk (on any thread); commit adds what was appended to the
// old file meanwhile and renames the new file over it. Until commit, `path` is untouched; an
// uncommitted or failed replacement removes its new file.
class PendingReplace {
 public:
  PendingReplace() = default;
  ~PendingReplace();
  PendingReplace(const PendingReplace&) = delete;
  PendingReplace& operator=(const PendingReplace&) = delete;

  ReplaceResult prepare(const std::string& path, ByteSpan bytes);
  // `tail` goes after the prepared bytes (not flushed again: it is an append's worth). With
  // `syncFolder` false the caller flushes the folder itself (syncFolderOf), off its thread.
  ReplaceResult commit(ByteSpan tail, bool syncFolder = true);

 private:
  ReplaceResult abandon(ReplaceResult why);
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

// Flushes the folder holding `path`, so that a rename in it survives a crash.
void syncFolderOf(const std::string& path);

// Takes every permission but the owner's read and write off an existing file.
void restrictToOwner(const std::string& path);

// Moves `path` to `path` + `suffix`, replacing an older file of that name. False when the move
// failed (the file then stays where it is).
bool moveAside(const std::string& path, const std::string& suffix);

}  // namespace quorrel::persistence
