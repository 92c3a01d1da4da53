// The placeholder-key provider: an RSA key manager whose keys hold the public key and the
// signer, and a signature whose signing hands the bytes to sign to that signer. Every
// function here is called by OpenSSL through C function pointers: none may throw.
#include "tls-extensions/external_signer.h"

#include <cstring>
#include <mutex>
#include <new>

#include <openssl/bn.h>
#include <openssl/core_dispatch.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace {

constexpr char kProviderName[] = "zelnic-signer";
constexpr char kSignatureName[] = "ZELNIC-EXTERNAL-RSA";
// Our key manager answers to RSA's names: the engine finds the certificate slot by them.
constexpr char kRsaNames[] = "RSA:rsaEncryption:1.2.840.113549.1.1.1";
constexpr char kSignerParameter[] = "zelnic-signer";
constexpr char kMd5Sha1[] = "MD5-SHA1";
constexpr std::size_t kMaxInput = 128;  // a DigestInfo of SHA-512 is 83 bytes

struct Signer {
  ExternalSignCallbackEx sign;
  void* argument;
};

struct PlaceholderKey {
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  Signer signer{};
  ~PlaceholderKey() {
    BN_free(n);
    BN_free(e);
  }
};

struct SignContext {
  PlaceholderKey* key = nullptr;  // owned by the EVP_PKEY
  EVP_MD_CTX* digest = nullptr;
  EVP_MD* md = nullptr;           // null: sign the input as it is
  ~SignContext() {
    EVP_MD_CTX_free(digest);
    EVP_MD_free(md);
  }
};

// ---- key manager ----

void* KeyNew(void*) noexcept { return new (std::nothrow) PlaceholderKey(); }

void KeyFree(void* key) noexcept { delete static_cast<PlaceholderKey*>(key); }

int KeyHas(const void* keyData, int selection) noexcept {
  const auto* key = static_cast<const PlaceholderKey*>(keyData);
  if (key == nullptr) return 0;
  if ((selection & OSSL_KEYMGMT_SELECT_PUBLIC_KEY) != 0 && (key->n == nullptr || key->e == nullptr)) {
    return 0;
  }
  // The private half is the signer.
  if ((selection & OSSL_KEYMGMT_SELECT_PRIVATE_KEY) != 0 && key->signer.sign == nullptr) return 0;
  return 1;
}

int KeyMatch(const void* first, const void* second, int selection) noexcept {
  const auto* a = static_cast<const PlaceholderKey*>(first);
  const auto* b = static_cast<const PlaceholderKey*>(second);
  if ((selection & OSSL_KEYMGMT_SELECT_KEYPAIR) == 0) return 1;
  return a->n != nullptr && b->n != nullptr && a->e != nullptr && b->e != nullptr &&
         BN_cmp(a->n, b->n) == 0 && BN_cmp(a->e, b->e) == 0;
}

bool ReadNumber(const OSSL_PARAM* params, const char* name, BIGNUM** into) {
  const OSSL_PARAM* found = OSSL_PARAM_locate_const(params, name);
  if (found == nullptr) return true;
  BIGNUM* value = nullptr;
  if (OSSL_PARAM_get_BN(found, &value) != 1) return false;
  BN_free(*into);
  *into = value;
  return true;
}

int KeyImport(void* keyData, int selection, const OSSL_PARAM params[]) noexcept {
  auto* key = static_cast<PlaceholderKey*>(keyData);
  if (key == nullptr || (selection & OSSL_KEYMGMT_SELECT_KEYPAIR) == 0) return 0;
  if (!ReadNumber(params, OSSL_PKEY_PARAM_RSA_N, &key->n) ||
      !ReadNumber(params, OSSL_PKEY_PARAM_RSA_E, &key->e)) {
    return 0;
  }
  if (const OSSL_PARAM* signer = OSSL_PARAM_locate_const(params, kSignerParameter)) {
    if (signer->data_type != OSSL_PARAM_OCTET_STRING || signer->data_size != sizeof(Signer)) {
      return 0;
    }
    std::memcpy(&key->signer, signer->data, sizeof(Signer));
  }
  return key->n != nullptr && key->e != nullptr;
}

const OSSL_PARAM kImportTypes[] = {
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_N, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_E, nullptr, 0),
    OSSL_PARAM_octet_string(kSignerParameter, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM* KeyImportTypes(int) noexcept { return kImportTypes; }

int KeyGetParams(void* keyData, OSSL_PARAM params[]) noexcept {
  const auto* key = static_cast<const PlaceholderKey*>(keyData);
  if (key == nullptr || key->n == nullptr) return 0;
  const int bits = BN_num_bits(key->n);
  OSSL_PARAM* p = nullptr;
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_BITS)) != nullptr &&
      OSSL_PARAM_set_int(p, bits) != 1) {
    return 0;
  }
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_SECURITY_BITS)) != nullptr &&
      OSSL_PARAM_set_int(p, BN_security_bits(bits, -1)) != 1) {
    return 0;
  }
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_MAX_SIZE)) != nullptr &&
      OSSL_PARAM_set_int(p, BN_num_bytes(key->n)) != 1) {
    return 0;
  }
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_DEFAULT_DIGEST)) != nullptr &&
      OSSL_PARAM_set_utf8_string(p, "SHA256") != 1) {
    return 0;
  }
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_RSA_N)) != nullptr &&
      OSSL_PARAM_set_BN(p, key->n) != 1) {
    return 0;
  }
  if ((p = OSSL_PARAM_locate(params, OSSL_PKEY_PARAM_RSA_E)) != nullptr &&
      OSSL_PARAM_set_BN(p, key->e) != 1) {
    return 0;
  }
  return 1;
}

const OSSL_PARAM kGettable[] = {
    OSSL_PARAM_int(OSSL_PKEY_PARAM_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_SECURITY_BITS, nullptr),
    OSSL_PARAM_int(OSSL_PKEY_PARAM_MAX_SIZE, nullptr),
    OSSL_PARAM_utf8_string(OSSL_PKEY_PARAM_DEFAULT_DIGEST, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_N, nullptr, 0),
    OSSL_PARAM_BN(OSSL_PKEY_PARAM_RSA_E, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM* KeyGettable(void*) noexcept { return kGettable; }

// Signing is ours alone: the default provider's RSA signature would need the private key.
const char* KeyOperationName(int operation) noexcept {
  return operation == OSSL_OP_SIGNATURE ? kSignatureName : nullptr;
}

// ---- signature ----

void* SignNew(void*, const char*) noexcept { return new (std::nothrow) SignContext(); }

void SignFree(void* context) noexcept { delete static_cast<SignContext*>(context); }

void* SignDup(void* from) noexcept {
  const auto* source = static_cast<const SignContext*>(from);
  auto* copy = new (std::nothrow) SignContext();
  if (copy == nullptr) return nullptr;
  copy->key = source->key;
  if (source->md != nullptr) {
    EVP_MD_up_ref(source->md);
    copy->md = source->md;
  }
  if (source->digest != nullptr) {
    copy->digest = EVP_MD_CTX_new();
    if (copy->digest == nullptr || EVP_MD_CTX_copy_ex(copy->digest, source->digest) != 1) {
      delete copy;
      return nullptr;
    }
  }
  return copy;
}

int SignInit(void* context, void* key, const OSSL_PARAM[]) noexcept {
  auto* sign = static_cast<SignContext*>(context);
  auto* placeholder = static_cast<PlaceholderKey*>(key);
  if (sign == nullptr || placeholder == nullptr || placeholder->signer.sign == nullptr) return 0;
  sign->key = placeholder;
  return 1;
}

// The DER DigestInfo of a digest (algorithm identifier with NULL parameters, then the
// digest); its length, 0 when it cannot be made or exceeds capacity.
std::size_t DigestInfo(const EVP_MD* md, const unsigned char* digest, unsigned int length,
                       unsigned char* out, std::size_t capacity) {
  X509_SIG* info = X509_SIG_new();
  if (info == nullptr) return 0;
  X509_ALGOR* algorithm = nullptr;
  ASN1_OCTET_STRING* value = nullptr;
  X509_SIG_getm(info, &algorithm, &value);
  std::size_t made = 0;
  if (X509_ALGOR_set0(algorithm, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr) == 1 &&
      ASN1_OCTET_STRING_set(value, digest, static_cast<int>(length)) == 1) {
    const int size = i2d_X509_SIG(info, nullptr);
    if (size > 0 && static_cast<std::size_t>(size) <= capacity) {
      unsigned char* cursor = out;
      made = i2d_X509_SIG(info, &cursor) == size ? static_cast<std::size_t>(size) : 0;
    }
  }
  X509_SIG_free(info);
  return made;
}

// Hands the input to the signer; *signatureLength is the key size when only asked for it.
int CallSigner(const PlaceholderKey& key, const unsigned char* input, std::size_t inputLength,
               unsigned char* signature, std::size_t* signatureLength, std::size_t capacity) {
  const auto keySize = static_cast<std::uint32_t>(BN_num_bytes(key.n));
  if (signature == nullptr) {
    *signatureLength = keySize;
    return 1;
  }
  std::uint32_t made = 0;
  const auto room = static_cast<std::uint32_t>(capacity > UINT32_MAX ? UINT32_MAX : capacity);
  if (key.signer.sign(key.signer.argument, input, static_cast<std::uint32_t>(inputLength),
                      keySize, signature, room, &made) != 0 ||
      made == 0 || made > room) {
    ERR_raise_data(ERR_LIB_PROV, ERR_R_OPERATION_FAIL, "the external signer refused");
    return 0;
  }
  *signatureLength = made;
  return 1;
}

// Signs a digest made with md (MD5-SHA1 as it is, any other inside its DigestInfo), or the
// input as it is without md.
int SignDigest(const SignContext& context, const unsigned char* digest, std::size_t length,
               unsigned char* signature, std::size_t* signatureLength, std::size_t capacity) {
  if (context.md == nullptr || EVP_MD_is_a(context.md, kMd5Sha1)) {
    return CallSigner(*context.key, digest, length, signature, signatureLength, capacity);
  }
  unsigned char info[kMaxInput];
  const std::size_t size =
      DigestInfo(context.md, digest, static_cast<unsigned int>(length), info, sizeof info);
  const int signed_ =
      size != 0 && CallSigner(*context.key, info, size, signature, signatureLength, capacity);
  OPENSSL_cleanse(info, sizeof info);
  return signed_;
}

int Sign(void* context, unsigned char* signature, std::size_t* signatureLength,
         std::size_t capacity, const unsigned char* input, std::size_t inputLength) noexcept {
  const auto* sign = static_cast<const SignContext*>(context);
  if (sign == nullptr || sign->key == nullptr || inputLength > kMaxInput) return 0;
  return SignDigest(*sign, input, inputLength, signature, signatureLength, capacity);
}

int DigestSignInit(void* context, const char* mdName, void* key, const OSSL_PARAM params[]) noexcept {
  auto* sign = static_cast<SignContext*>(context);
  if (SignInit(context, key, params) != 1) return 0;
  EVP_MD_free(sign->md);
  sign->md = EVP_MD_fetch(TlsEngineLibraryContext(), mdName != nullptr ? mdName : "SHA256", nullptr);
  if (sign->md == nullptr) return 0;
  if (sign->digest == nullptr) sign->digest = EVP_MD_CTX_new();
  return sign->digest != nullptr && EVP_DigestInit_ex(sign->digest, sign->md, nullptr) == 1;
}

int DigestSignUpdate(void* context, const unsigned char* data, std::size_t length) noexcept {
  auto* sign = static_cast<SignContext*>(context);
  return sign != nullptr && sign->digest != nullptr &&
         EVP_DigestUpdate(sign->digest, data, length) == 1;
}

int DigestSignFinal(void* context, unsigned char* signature, std::size_t* signatureLength,
                    std::size_t capacity) noexcept {
  auto* sign = static_cast<SignContext*>(context);
  if (sign == nullptr || sign->key == nullptr || sign->digest == nullptr) return 0;
  if (signature == nullptr) return CallSigner(*sign->key, nullptr, 0, nullptr, signatureLength, 0);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  int signed_ = EVP_DigestFinal_ex(sign->digest, digest, &length) == 1 &&
                SignDigest(*sign, digest, length, signature, signatureLength, capacity);
  OPENSSL_cleanse(digest, sizeof digest);
  return signed_;
}

int DigestSign(void* context, unsigned char* signature, std::size_t* signatureLength,
               std::size_t capacity, const unsigned char* data, std::size_t length) noexcept {
  if (signature != nullptr && DigestSignUpdate(context, data, length) != 1) return 0;
  return DigestSignFinal(context, signature, signatureLength, capacity);
}

// Only PKCS #1 v1.5 padding: that is what the signer makes.
int SignSetParams(void*, const OSSL_PARAM params[]) noexcept {
  const OSSL_PARAM* pad = OSSL_PARAM_locate_const(params, OSSL_SIGNATURE_PARAM_PAD_MODE);
  if (pad == nullptr) return 1;
  int mode = 0;
  if (pad->data_type == OSSL_PARAM_UTF8_STRING) {
    return pad->data != nullptr && std::strcmp(static_cast<const char*>(pad->data), OSSL_PKEY_RSA_PAD_MODE_PKCSV15) == 0;
  }
  return OSSL_PARAM_get_int(pad, &mode) == 1 && mode == RSA_PKCS1_PADDING;
}

const OSSL_PARAM kSettable[] = {
    OSSL_PARAM_utf8_string(OSSL_SIGNATURE_PARAM_PAD_MODE, nullptr, 0),
    OSSL_PARAM_END,
};

const OSSL_PARAM* SignSettable(void*, void*) noexcept { return kSettable; }

template <class F>
void (*Fn(F function))(void) {
  return reinterpret_cast<void (*)(void)>(function);
}

const OSSL_DISPATCH kKeyManager[] = {
    {OSSL_FUNC_KEYMGMT_NEW, Fn(KeyNew)},
    {OSSL_FUNC_KEYMGMT_FREE, Fn(KeyFree)},
    {OSSL_FUNC_KEYMGMT_HAS, Fn(KeyHas)},
    {OSSL_FUNC_KEYMGMT_MATCH, Fn(KeyMatch)},
    {OSSL_FUNC_KEYMGMT_IMPORT, Fn(KeyImport)},
    {OSSL_FUNC_KEYMGMT_IMPORT_TYPES, Fn(KeyImportTypes)},
    {OSSL_FUNC_KEYMGMT_GET_PARAMS, Fn(KeyGetParams)},
    {OSSL_FUNC_KEYMGMT_GETTABLE_PARAMS, Fn(KeyGettable)},
    {OSSL_FUNC_KEYMGMT_QUERY_OPERATION_NAME, Fn(KeyOperationName)},
    {0, nullptr},
};

const OSSL_DISPATCH kSignature[] = {
    {OSSL_FUNC_SIGNATURE_NEWCTX, Fn(SignNew)},
    {OSSL_FUNC_SIGNATURE_FREECTX, Fn(SignFree)},
    {OSSL_FUNC_SIGNATURE_DUPCTX, Fn(SignDup)},
    {OSSL_FUNC_SIGNATURE_SIGN_INIT, Fn(SignInit)},
    {OSSL_FUNC_SIGNATURE_SIGN, Fn(Sign)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_INIT, Fn(DigestSignInit)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_UPDATE, Fn(DigestSignUpdate)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN_FINAL, Fn(DigestSignFinal)},
    {OSSL_FUNC_SIGNATURE_DIGEST_SIGN, Fn(DigestSign)},
    {OSSL_FUNC_SIGNATURE_SET_CTX_PARAMS, Fn(SignSetParams)},
    {OSSL_FUNC_SIGNATURE_SETTABLE_CTX_PARAMS, Fn(SignSettable)},
    {0, nullptr},
};

const OSSL_ALGORITHM kKeyManagers[] = {
    {kRsaNames, "provider=zelnic-signer", kKeyManager, "placeholder RSA key"},
    {nullptr, nullptr, nullptr, nullptr},
};

const OSSL_ALGORITHM kSignatures[] = {
    {kSignatureName, "provider=zelnic-signer", kSignature, "RSA through the external signer"},
    {nullptr, nullptr, nullptr, nullptr},
};

const OSSL_ALGORITHM* QueryOperation(void*, int operation, int* noCache) noexcept {
  *noCache = 0;
  if (operation == OSSL_OP_KEYMGMT) return kKeyManagers;
  if (operation == OSSL_OP_SIGNATURE) return kSignatures;
  return nullptr;
}

const OSSL_DISPATCH kProvider[] = {
    {OSSL_FUNC_PROVIDER_QUERY_OPERATION, Fn(QueryOperation)},
    {0, nullptr},
};

int ProviderInit(const OSSL_CORE_HANDLE*, const OSSL_DISPATCH*, const OSSL_DISPATCH** out,
                 void** providerContext) noexcept {
  *out = kProvider;
  *providerContext = nullptr;
  return 1;
}

OSSL_LIB_CTX* MakeLibraryContext() {
  OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
  if (context == nullptr) return nullptr;
  // The default provider is preferred for every fetch: our key manager is used only when
  // asked for by name, and signing with its keys only through the name it gives.
  if (OSSL_PROVIDER_load(context, "default") == nullptr ||
      OSSL_PROVIDER_add_builtin(context, kProviderName, ProviderInit) != 1 ||
      OSSL_PROVIDER_load(context, kProviderName) == nullptr ||
      EVP_set_default_properties(context, "?provider=default") != 1) {
    OSSL_LIB_CTX_free(context);
    ERR_clear_error();
    return nullptr;
  }
  return context;
}

// The placeholder for the certificate's RSA key, signing through `signer`; null otherwise.
EVP_PKEY* MakePlaceholderKey(X509* certificate, const Signer& signer) {
  EVP_PKEY* publicKey = X509_get0_pubkey(certificate);
  if (publicKey == nullptr || !EVP_PKEY_is_a(publicKey, "RSA")) return nullptr;
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  EVP_PKEY* key = nullptr;
  OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
  OSSL_PARAM* params = nullptr;
  EVP_PKEY_CTX* maker = EVP_PKEY_CTX_new_from_name(TlsEngineLibraryContext(), "RSA",
                                                   "provider=zelnic-signer");
  if (build != nullptr && maker != nullptr &&
      EVP_PKEY_get_bn_param(publicKey, OSSL_PKEY_PARAM_RSA_N, &n) == 1 &&
      EVP_PKEY_get_bn_param(publicKey, OSSL_PKEY_PARAM_RSA_E, &e) == 1 &&
      OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) == 1 &&
      OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) == 1 &&
      OSSL_PARAM_BLD_push_octet_string(build, kSignerParameter, &signer, sizeof signer) == 1 &&
      (params = OSSL_PARAM_BLD_to_param(build)) != nullptr &&
      EVP_PKEY_fromdata_init(maker) == 1) {
    if (EVP_PKEY_fromdata(maker, &key, EVP_PKEY_KEYPAIR, params) != 1) key = nullptr;
  }
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(build);
  EVP_PKEY_CTX_free(maker);
  BN_free(n);
  BN_free(e);
  return key;
}

// What the client offers to sign with: PKCS #1 v1.5 only (no PSS), strongest digest first.
constexpr char kPkcs1SignatureAlgorithms[] =
    "RSA+SHA256:RSA+SHA384:RSA+SHA512:RSA+SHA224:RSA+SHA1";

}  // namespace

OSSL_LIB_CTX* TlsEngineLibraryContext() {
  static OSSL_LIB_CTX* const context = MakeLibraryContext();
  return context;
}

bool TlsUseExternalSigner(SSL* connection, ExternalSignCallbackEx sign, void* argument) {
  X509* certificate = SSL_get_certificate(connection);
  if (sign == nullptr || certificate == nullptr || SSL_get_privatekey(connection) != nullptr ||
      TlsEngineLibraryContext() == nullptr) {
    return false;
  }
  EVP_PKEY* key = MakePlaceholderKey(certificate, Signer{sign, argument});
  const bool used = key != nullptr && SSL_use_PrivateKey(connection, key) == 1 &&
                    SSL_set1_client_sigalgs_list(connection, kPkcs1SignatureAlgorithms) == 1;
  EVP_PKEY_free(key);
  if (!used) ERR_clear_error();
  return used;
}
