// The block cipher, message authentication and key derivation that encrypted archive entries need,
// with one contract for Windows (platform/win32, CNG) and POSIX (platform/posix, OpenSSL
// libcrypto).
//
// Every failing call records the operation and the library's error code in LastError() of the
// calling thread (platform/files.h), with an empty path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class File;

// AES in the encryption direction only, one 16-byte block at a time with no chaining: the caller
// builds its own counter blocks. Movable, not copyable.
class AesEncryptor {
 public:
  AesEncryptor();
  ~AesEncryptor();
  AesEncryptor(AesEncryptor&& other) noexcept;
  AesEncryptor& operator=(AesEncryptor&& other) noexcept;
  AesEncryptor(const AesEncryptor&) = delete;
  AesEncryptor& operator=(const AesEncryptor&) = delete;

  // Builds the key schedule from a 16-, 24- or 32-byte key (AES-128, -192, -256). False for any
  // other length or a library failure; the encryptor then has no key.
  bool SetKey(const uint8_t* key, size_t keyLength);
  bool HasKey() const;
  // Encrypts `blocks` 16-byte blocks from `in` to `out`, which may be the same buffer (not
  // partly overlapping). Requires a key.
  void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// HMAC with SHA-1, fed incrementally. Movable, not copyable.
class HmacSha1 {
 public:
  static constexpr size_t kDigestLength = 20;

  HmacSha1();
  ~HmacSha1();
  HmacSha1(HmacSha1&& other) noexcept;
  HmacSha1& operator=(HmacSha1&& other) noexcept;
  HmacSha1(const HmacSha1&) = delete;
  HmacSha1& operator=(const HmacSha1&) = delete;

  // Starts a new code under `key` (any length, also 0), dropping whatever was fed before. False
  // on a library failure.
  bool Init(const uint8_t* key, size_t keyLength);
  // Adds bytes to the code. Requires a successful Init since the last Final.
  void Update(const uint8_t* data, size_t n);
  // Writes the 20-byte code to `out` and ends it; Init starts the next one.
  void Final(uint8_t* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// PBKDF2 with HMAC-SHA-1: derives `outLength` bytes (at least 1) from the password and salt
// (either may be empty) with `iterations` rounds (at least 1). False on a bad argument or a
// library failure.
bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength);

// ---- SHA-256 of a file ----------------------------------------------------------------------

constexpr size_t kSha256Length = 32;

// The SHA-256 of the whole file at `path`, read in 64 KB blocks, into `digest`. False when the
// file cannot be opened or read (recorded in LastError() with the path) or the library fails.
[[nodiscard]] bool Sha256OfFile(const std::string& path, uint8_t (&digest)[kSha256Length]);
// The SHA-256 of what `file` holds from its current position to its end, read in 64 KB blocks.
// False when it cannot be read (recorded in LastError()) or the library fails (the operation
// "sha-256" recorded).
[[nodiscard]] bool Sha256OfOpenFile(File& file, uint8_t (&digest)[kSha256Length]);

}  // namespace platform
