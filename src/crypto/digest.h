// SHA-256 and MD5 over OpenSSL libcrypto, and the iterated hash under every key derivation.
#pragma once

#include <array>
#include <cstdint>

#include "platform/bytes.h"

namespace quorrel::crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;
using Md5Digest = std::array<std::uint8_t, 16>;

Sha256Digest sha256(ByteSpan data);
Md5Digest md5(ByteSpan data);

// PBKDF1 of PKCS #5: the digest of the text followed by the salt, then `iterations - 1` more
// digests each over the previous one (fewer than 1 counts as 1). The whole last digest comes
// back; a key is taken from its front. Inputs of any length and content are hashed whole.
Sha256Digest pbkdf1Sha256(ByteSpan text, ByteSpan salt, int iterations);
Md5Digest pbkdf1Md5(ByteSpan text, ByteSpan salt, int iterations);

}  // namespace quorrel::crypto
