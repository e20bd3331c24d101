// The digests are fetched from the provider once per process and one context is reused for
// every round: OpenSSL 3 looks the algorithm up again on each plain SHA256()/EVP_sha256() call,
// which makes a 1000-round derivation several times slower.
#include "crypto/digest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace quorrel::crypto {

namespace {

// Only a libcrypto built or configured without these digests gets here; no key can be made
// then, and a made-up one would be worse than stopping.
[[noreturn]] void digestUnavailable(const char* name) {
  std::fprintf(stderr, "libcrypto cannot compute %s; keys cannot be derived\n", name);
  std::abort();
}

const EVP_MD* fetchDigest(const char* name) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (md == nullptr) digestUnavailable(name);
  return md;  // kept for the life of the process
}

const EVP_MD* sha256Algorithm() {
  static const EVP_MD* const md = fetchDigest("SHA2-256");
  return md;
}

const EVP_MD* md5Algorithm() {
  static const EVP_MD* const md = fetchDigest("MD5");
  return md;
}

struct ContextFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

bool update(EVP_MD_CTX* ctx, ByteSpan data) {
  return data.empty() || EVP_DigestUpdate(ctx, data.data(), data.size()) == 1;
}

template <std::size_t N>
bool finish(EVP_MD_CTX* ctx, std::array<std::uint8_t, N>& out) {
  unsigned int written = 0;
  return EVP_DigestFinal_ex(ctx, out.data(), &written) == 1 && written == N;
}

template <std::size_t N>
std::array<std::uint8_t, N> iterate(const EVP_MD* md, const char* name, ByteSpan text,
                                    ByteSpan salt, int iterations) {
  std::array<std::uint8_t, N> digest{};
  Context ctx(EVP_MD_CTX_new());
  bool ok = ctx != nullptr && EVP_DigestInit_ex2(ctx.get(), md, nullptr) == 1 &&
            update(ctx.get(), text) && update(ctx.get(), salt) && finish(ctx.get(), digest);
  for (int round = 1; ok && round < iterations; ++round) {
    ok = EVP_DigestInit_ex2(ctx.get(), md, nullptr) == 1 &&
         EVP_DigestUpdate(ctx.get(), digest.data(), digest.size()) == 1 &&
         finish(ctx.get(), digest);
  }
  if (!ok) digestUnavailable(name);
  return digest;
}

}  // namespace

Sha256Digest sha256(ByteSpan data) {
  return pbkdf1Sha256(data, {}, 1);
}
Md5Digest md5(ByteSpan data) {
  return pbkdf1Md5(data, {}, 1);
}

Sha256Digest pbkdf1Sha256(ByteSpan text, ByteSpan salt, int iterations) {
  return iterate<32>(sha256Algorithm(), "SHA-256", text, salt, iterations);
}

Md5Digest pbkdf1Md5(ByteSpan text, ByteSpan salt, int iterations) {
  return iterate<16>(md5Algorithm(), "MD5", text, salt, iterations);
}

}  // namespace quorrel::crypto
