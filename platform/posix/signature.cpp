// Package signatures on POSIX, from OpenSSL's libcrypto: PEM keys through BIOs, ECDSA over
// SHA-256 through EVP_DigestSign and EVP_DigestVerify.
#include "platform/signature.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/der_signature.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace platform {
namespace {

constexpr int32_t kBlockSize = 64 * 1024;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct SignatureFree {
  void operator()(ECDSA_SIG* sig) const { ECDSA_SIG_free(sig); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;
struct KeyContextFree {
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;

SignatureStatus LibraryFailure(const char* operation) {
  internal::RecordError(operation, std::string(), static_cast<int>(ERR_get_error() & INT_MAX));
  ERR_clear_error();
  return SignatureStatus::kLibraryFailure;
}

// An encrypted private key would make OpenSSL ask for a pass phrase on the terminal: refuse it.
int NoPassPhrase(char*, int, int, void*) {
  return -1;
}

Bio ReadOnlyBio(const std::string& text) {
  return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

// kOk when `key` is an elliptic-curve key that names the curve P-256. Explicit parameters are
// refused even when they describe P-256: the key format names its curve.
SignatureStatus CheckKind(EVP_PKEY* key) {
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return SignatureStatus::kKeyNotEcdsa;
  char curve[80] = {};
  char encoding[32] = {};
  size_t length = 0;
  if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_EC_ENCODING, encoding, sizeof encoding,
                                     &length) != 1 ||
      std::strcmp(encoding, OSSL_PKEY_EC_ENCODING_GROUP) != 0 ||
      EVP_PKEY_get_group_name(key, curve, sizeof curve, &length) != 1 ||
      OBJ_sn2nid(curve) != NID_X9_62_prime256v1) {
    ERR_clear_error();
    return SignatureStatus::kKeyWrongCurve;
  }
  return SignatureStatus::kOk;
}

// Feeds the file at `path` to `feed` in blocks; kFileUnreadable when it cannot be read.
template <typename Feed>
SignatureStatus FeedFile(const std::string& path, Feed feed) {
  File file = File::Open(path, kOpenRead | kShareDenyWrite);
  if (!file.IsOpen()) return SignatureStatus::kFileUnreadable;
  std::vector<unsigned char> block(kBlockSize);
  for (;;) {
    const int32_t got = file.Read(block.data(), kBlockSize);
    if (got < 0) return SignatureStatus::kFileUnreadable;
    if (got == 0) return SignatureStatus::kOk;
    if (!feed(block.data(), static_cast<size_t>(got))) return LibraryFailure("digest");
  }
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<size_t>(length)) : std::string();
}

}  // namespace

SignatureStatus VerifyDigestSignature(const std::string& publicKeyPem, const std::string& signature,
                                      const uint8_t (&digest)[kSha256Length]) {
  if (publicKeyPem.size() > INT_MAX) return SignatureStatus::kKeyNotPem;
  Bio bio = ReadOnlyBio(publicKeyPem);
  if (!bio) return LibraryFailure("read key");
  Key key(PEM_read_bio_PUBKEY(bio.get(), nullptr, NoPassPhrase, nullptr));
  if (!key) {
    ERR_clear_error();
    return SignatureStatus::kKeyNotPem;
  }
  if (const SignatureStatus kind = CheckKind(key.get()); kind != SignatureStatus::kOk) return kind;
  uint8_t rs[2 * kP256CoordinateSize];
  if (!ParseDerEcdsaSignature(signature, rs)) return SignatureStatus::kSignatureMalformed;

  KeyContext ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1) {
    return LibraryFailure("verify");
  }
  const int verdict =
      EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                      signature.size(), digest, kSha256Length);
  if (verdict == 1) return SignatureStatus::kOk;
  if (verdict == 0) {
    ERR_clear_error();
    return SignatureStatus::kMismatch;
  }
  return LibraryFailure("verify");
}

SignatureStatus GenerateSigningKeyPair(SigningKeyPair& pair) {
  Key key(EVP_EC_gen("P-256"));
  Bio privateBio(BIO_new(BIO_s_mem()));
  Bio publicBio(BIO_new(BIO_s_mem()));
  // PEM_write_bio_PrivateKey writes PKCS#8 ("PRIVATE KEY"), unencrypted without a cipher.
  if (!key || !privateBio || !publicBio ||
      PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                               nullptr) != 1 ||
      PEM_write_bio_PUBKEY(publicBio.get(), key.get()) != 1) {
    return LibraryFailure("generate key");
  }
  pair.PrivateKeyPem = BioText(privateBio.get());
  pair.PublicKeyPem = BioText(publicBio.get());
  return SignatureStatus::kOk;
}

SignatureStatus SignFile(const std::string& privateKeyPem, const std::string& path,
                         std::string& signature) {
  signature.clear();
  if (privateKeyPem.size() > INT_MAX) return SignatureStatus::kKeyNotPem;
  Bio bio = ReadOnlyBio(privateKeyPem);
  if (!bio) return LibraryFailure("read key");
  Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassPhrase, nullptr));
  if (!key) {
    ERR_clear_error();
    return SignatureStatus::kKeyNotPem;
  }
  if (const SignatureStatus kind = CheckKind(key.get()); kind != SignatureStatus::kOk) return kind;

  Context ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    return LibraryFailure("sign");
  }
  const SignatureStatus fed = FeedFile(path, [&](const unsigned char* data, size_t n) {
    return EVP_DigestSignUpdate(ctx.get(), data, n) == 1;
  });
  if (fed != SignatureStatus::kOk) return fed;
  size_t length = 0;
  if (EVP_DigestSignFinal(ctx.get(), nullptr, &length) != 1) return LibraryFailure("sign");
  std::string out(length, '\0');
  if (EVP_DigestSignFinal(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length) != 1) {
    return LibraryFailure("sign");
  }
  out.resize(length);
  signature = std::move(out);
  return SignatureStatus::kOk;
}

}  // namespace platform
