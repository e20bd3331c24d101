// Random bytes from the operating system's cryptographic generator, behind a seam for tests.
#pragma once

#include <functional>

#include "platform/bytes.h"

namespace quorrel::crypto {

// Fills the whole span, or returns false.
using RandomSource = std::function<bool(MutableByteSpan)>;

// Fills `out` from the installed source (the OS generator through libcrypto unless a test
// installed another); false if it could not, and `out` must not be used then.
bool fillRandom(MutableByteSpan out);

// Installs `source`; an empty one restores the OS generator.
void setRandomSource(RandomSource source);

}  // namespace quorrel::crypto
