#pragma once
// The certificate library's interfaces, as the supplicant and the TLS methods use them.
//
// Every object of the library is reference counted and reached through interfaces in the
// shape of COM: each interface starts with QueryInterface, AddRef and Release; every further
// operation returns an HRESULT and hands results back through out parameters:
//   S_OK        done; the out parameters hold the result
//   S_FALSE     not done, without an error to report: nothing found, a store call failed,
//               an index held no entry, or an exception was caught inside the operation
//   E_POINTER   a required out pointer is null (tested before anything else is done)
//   E_NOTIMPL   the operation is not offered
// An interface pointer handed out through an out parameter carries one reference, which the
// receiver releases. No exception ever leaves an operation.
//
// The operations of each interface are declared in their slot order; the order is part of
// the interface and must not change.
#include <cstdint>
#include <cstring>

#include "platform/cryptoapi/handles.h"
#include "platform/win32/bstr.h"
#include "platform/win32/hresult.h"
#include "platform/win32/uuid.h"

using IID = plat::Guid;
using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

inline bool IsEqualIID(const IID& a, const IID& b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }

// Interface identifiers.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ksCertUtility = {0x682adf09, 0x1c7d, 0x45c5, {0xbf, 0xed, 0x2a, 0x94, 0xf8, 0xb5, 0x91, 0xa5}};
inline constexpr IID IID_ksCertUtility2 = {0x1c2d5f2c, 0x7e5e, 0x4cc8, {0xbe, 0x2f, 0x73, 0xcf, 0x45, 0xf9, 0x17, 0x74}};
inline constexpr IID IID_ksCertStore = {0x1a344caa, 0xe329, 0x4bf8, {0x8c, 0xb7, 0xad, 0x4d, 0x5e, 0x85, 0x24, 0xd1}};
inline constexpr IID IID_ksCertStoreHandle = {0xb1ca3ca6, 0x93cb, 0x418c, {0xb2, 0x20, 0xe4, 0x0e, 0xe0, 0xa7, 0xf5, 0x7a}};
inline constexpr IID IID_ksCertStore2 = {0x0ed5b870, 0x358c, 0x4d73, {0xb0, 0xdf, 0x9e, 0x1e, 0x70, 0x11, 0x4f, 0x47}};
inline constexpr IID IID_ksCertArray = {0x6822b7ae, 0x4262, 0x4c05, {0xa6, 0xe0, 0x96, 0xe1, 0x53, 0xa1, 0x77, 0xe5}};
inline constexpr IID IID_ksCertStoreEnumeration = {0x824971cf, 0xcdde, 0x4c74, {0xbd, 0xd8, 0x2f, 0xca, 0x90, 0xa4, 0xbc, 0x0d}};
inline constexpr IID IID_ksCertArrayView = {0xc3c82782, 0x5c9e, 0x4bb9, {0xb9, 0x95, 0x7d, 0x56, 0x97, 0x0d, 0xa1, 0xdd}};
inline constexpr IID IID_ksCertNameUnknown = {0xfff96c2c, 0x7613, 0x4b1d, {0x8c, 0x64, 0x1e, 0x6a, 0x05, 0x2c, 0x1d, 0x3a}};
inline constexpr IID IID_ksCertName = {0x7c4af7fb, 0xb543, 0x4eda, {0x95, 0x9d, 0xc2, 0xd2, 0x49, 0x33, 0x25, 0x6e}};
inline constexpr IID IID_ksCertName2 = {0xb75285ff, 0x7060, 0x44aa, {0x8e, 0xe2, 0x34, 0xd0, 0x2b, 0x8e, 0x40, 0xbd}};
inline constexpr IID IID_ksCert = {0x9c8ff191, 0xe2f6, 0x4c34, {0xb5, 0x83, 0xd9, 0xcd, 0x54, 0x3e, 0xe4, 0x91}};
inline constexpr IID IID_ksCert2 = {0xc1636a54, 0x4e5a, 0x4417, {0xa9, 0x3a, 0x56, 0xec, 0x6d, 0x03, 0xa1, 0xe3}};
inline constexpr IID IID_ksCertChain = {0xfe9ab04f, 0xa55e, 0x42bf, {0xa6, 0x2b, 0xa3, 0x78, 0xc3, 0x65, 0x8b, 0x5e}};
inline constexpr IID IID_ksCertChainView = {0x873381bc, 0x522b, 0x4936, {0xb7, 0x28, 0xc1, 0xa6, 0x1a, 0x99, 0x77, 0x6f}};
inline constexpr IID IID_ksCertChain2 = {0xc54a6cf0, 0xfd1e, 0x4b01, {0xbc, 0xf5, 0x05, 0x1d, 0xe0, 0xfe, 0x58, 0xca}};
inline constexpr IID IID_ksCertChainEngine = {0xc84a7123, 0x22e3, 0x40d5, {0xa4, 0x35, 0x8c, 0xaa, 0x63, 0x76, 0xfa, 0x30}};
inline constexpr IID IID_ksCertChainEngine2 = {0xc14a4bc2, 0x9850, 0x4e3f, {0xac, 0xb5, 0xd0, 0x44, 0x0b, 0x08, 0x36, 0xb3}};
inline constexpr IID IID_ksCertChainEngine3 = {0x52391a6d, 0x637c, 0x48c5, {0x9e, 0xb3, 0x14, 0x4b, 0xd4, 0xb5, 0x87, 0xd0}};
inline constexpr IID IID_ksCertChainValidation = {0xcf59f95c, 0x4a99, 0x411d, {0x99, 0xaf, 0x86, 0xad, 0x56, 0x87, 0x63, 0xea}};
inline constexpr IID IID_ksCertChainValidation2 = {0xc5b1c381, 0xcc12, 0x4b98, {0x89, 0x04, 0xdd, 0x55, 0x00, 0x05, 0x49, 0xe2}};

struct ksCert;
struct ksCert2;
struct ksCertArray;
struct ksCertStore;
struct ksCertStore2;
struct ksCertStoreEnumeration;
struct ksCertName;
struct ksCertName2;
struct ksCertChain;
struct ksCertChain2;
struct ksCertChainEngine;
struct ksCertChainEngine2;
struct ksCertChainValidation;
struct ksCertChainValidation2;

struct IUnknown {
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;   // the new reference count
  virtual std::uint32_t Release() = 0;  // the new reference count; 0: the object is gone
};

// One encoded certificate handed to the library: DER bytes and their length.
struct ksCertBlob {
  const std::uint8_t* data;
  std::uint32_t length;
};

// Store locations understood by OpenCertStore and CreateCertChainEngine.
inline constexpr char16_t kCertLocationCurrentUser[] = u"Current User";
inline constexpr char16_t kCertLocationLocalMachine[] = u"Local Machine";
inline constexpr char16_t kCertLocationRemoteStore[] = u"Remote Store";

// Usage codes of CheckUsage and CreateChain.
inline constexpr std::int32_t kCertUsageServerAuth = 0;
inline constexpr std::int32_t kCertUsageClientAuth = 1;
inline constexpr std::int32_t kCertUsageAny = 2;
// Export formats of ExportCert.
inline constexpr std::int32_t kCertExportPkcs12 = 0;
inline constexpr std::int32_t kCertExportDer = 1;
// Transform types of ApplyTransform.
inline constexpr std::int32_t KS_CERT_TRANSFORM_RSA_SIGN = 0;
inline constexpr std::int32_t KS_CERT_TRANSFORM_SIGN_DSA = 1;
inline constexpr std::int32_t KS_CERT_TRANSFORM_DECRYPT = 2;
// The only encoding GetEncodedSubject accepts (an X.509 Name).
inline constexpr std::int32_t kCertEncodingX509Name = 7;
// AddEncodedCert's format for DER.
inline constexpr std::int32_t kCertFormatDer = 1;

// The certificate-utility root: the one object the supplicant makes directly.
struct ksCertUtility : IUnknown {
  // A system store ("MY", "ROOT", "CA", ...) of a location, or the LDAP store of "Remote
  // Store"; S_FALSE and null when no store could be opened.
  virtual HRESULT OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName,
                                plat::BSTR location, ksCertStore** store) = 0;
  // A chain engine for the location; "Current User" and "Local Machine" (exact case) give
  // that location's default engine, anything else an engine built from its own stores.
  virtual HRESULT CreateCertChainEngine(plat::BSTR location, ksCertChainEngine** engine) = 0;
  virtual HRESULT CreateCertName(ksCertName** name) = 0;
  // An array of the given DER certificates (certs may be null with count 0); S_FALSE and
  // null when one of them cannot be added.
  virtual HRESULT CreateCertArray(const ksCertBlob* certs, std::uint32_t count,
                                  ksCertArray** array) = 0;
};

struct ksCertUtility2 : IUnknown {
  // The code of a certificate field name, the case of letters ignored; 0 when unknown.
  virtual HRESULT GetCertFieldCode(plat::BSTR fieldName, std::int32_t* code) = 0;
  virtual HRESULT OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName,
                                plat::BSTR location, ksCertStore2** store) = 0;
  virtual HRESULT CreateCertChainEngine(ksCertChainEngine2** engine) = 0;
  virtual HRESULT CreateCertChainEngine(plat::BSTR location, ksCertChainEngine2** engine) = 0;
  virtual HRESULT CreateCertName(ksCertName2** name) = 0;
};

// A certificate.
struct ksCert : IUnknown {
  // The SHA-1 hash (20 bytes) into buffer. S_OK with *length = 20; when the buffer is
  // smaller, S_FALSE, *length = 0 and the buffer zero-filled over size bytes.
  virtual HRESULT get_Hash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT CheckUsage(std::int32_t usage, VARIANT_BOOL* valid) = 0;
  // format kCertExportDer: the DER bytes; a buffer too small gives S_OK with the needed
  // *length and nothing copied.
  virtual HRESULT ExportCert(std::int32_t format, const char* password, std::uint32_t passwordLength,
                             std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT ExportCertChain(std::int32_t format, const char* password,
                                  std::uint32_t passwordLength, std::uint8_t* buffer,
                                  std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT ApplyTransform(std::int32_t type, const std::uint8_t* input,
                                 std::uint32_t inputLength, std::uint8_t* output,
                                 std::uint32_t outputSize, std::uint32_t* outputLength,
                                 VARIANT_BOOL* done) = 0;
  virtual HRESULT HasPrivateKey(VARIANT_BOOL* has) = 0;
  virtual HRESULT GetFieldText(std::int32_t field, plat::BSTR* text) = 0;
  virtual HRESULT GetFieldNumber(std::int32_t field, std::int32_t* value) = 0;
  virtual HRESULT Reserved11(void* first, void* second) = 0;  // E_NOTIMPL
  virtual HRESULT GetEncodedSubject(std::int32_t encoding, std::uint8_t* buffer,
                                    std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT GetOwner(IUnknown** owner) = 0;
  // ApplyTransform; `context` (the requester's callback object) is not used.
  virtual HRESULT ApplyTransformEx(std::int32_t type, const std::uint8_t* input,
                                   std::uint32_t inputLength, std::uint8_t* output,
                                   std::uint32_t outputSize, void* context,
                                   std::uint32_t* outputLength, VARIANT_BOOL* done) = 0;
};

struct ksCert2 : IUnknown {
  virtual HRESULT GetFieldText(std::int32_t field, plat::BSTR* text) = 0;
  virtual HRESULT get_Hash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  // The friendly name (the caller frees it); S_FALSE and null when there is none.
  virtual HRESULT get_FriendlyName(plat::BSTR* name) = 0;
  virtual HRESULT Reserved6(std::uint32_t* out) = 0;  // stores 0, E_NOTIMPL
  virtual HRESULT CheckUsage(std::int32_t usage, VARIANT_BOOL* valid) = 0;
  virtual HRESULT ExportCert(std::int32_t format, const char* password, std::uint32_t passwordLength,
                             std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT ExportCertChain(std::int32_t format, const char* password,
                                  std::uint32_t passwordLength, std::uint8_t* buffer,
                                  std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT ApplyTransform(std::int32_t type, const std::uint8_t* input,
                                 std::uint32_t inputLength, std::uint8_t* output,
                                 std::uint32_t outputSize, std::uint32_t* outputLength,
                                 VARIANT_BOOL* done) = 0;
  virtual HRESULT HasPrivateKey(VARIANT_BOOL* has) = 0;
  // The DER subject name; a buffer too small gives S_FALSE, *length = 0, zero-filled.
  virtual HRESULT GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size,
                                    std::uint32_t* length) = 0;
};

// A collection of certificates: array, store snapshot, chain.
struct ksCertArray : IUnknown {
  virtual HRESULT get_NumCerts(std::int32_t* count) = 0;
  virtual HRESULT get_Cert(std::int32_t index, ksCert** cert) = 0;
  virtual HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) = 0;
  virtual HRESULT get_Owner(IUnknown** owner) = 0;
};

struct ksCertArrayView : IUnknown {
  virtual HRESULT ViewCert(std::int32_t index, VARIANT_BOOL* viewed) = 0;
};

struct ksCertStore : IUnknown {
  // The certificate with this SHA-1 hash; S_FALSE and null when the store has none.
  virtual HRESULT GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert** cert) = 0;
  // Adds a DER certificate (format kCertFormatDer): S_OK and *added = VARIANT_TRUE, or
  // S_FALSE and VARIANT_FALSE.
  virtual HRESULT AddEncodedCert(const std::uint8_t* der, std::uint32_t length, std::int32_t format,
                                 VARIANT_BOOL* added) = 0;
  // A snapshot of the store's certificates.
  virtual HRESULT CreateEnumeration(ksCertArray** enumeration) = 0;
  virtual HRESULT get_Owner(IUnknown** owner) = 0;
};

// The private interface through which a chain engine reaches a store's handle.
struct ksCertStoreHandle : IUnknown {
  virtual HRESULT GetStoreHandle(capi::HCERTSTORE* handle) = 0;
};

struct ksCertStore2 : IUnknown {
  virtual HRESULT GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert2** cert) = 0;
  virtual HRESULT AddEncodedCert(const std::uint8_t* der, std::uint32_t length, std::int32_t format,
                                 VARIANT_BOOL* added) = 0;
  virtual HRESULT CreateEnumeration(ksCertStoreEnumeration** enumeration) = 0;
};

struct ksCertStoreEnumeration : IUnknown {
  virtual HRESULT get_NumCerts(std::int32_t* count) = 0;
  virtual HRESULT get_Cert(std::int32_t index, ksCert2** cert) = 0;
  virtual HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) = 0;
};

// The identity of a name: an interface with no operation of its own.
struct ksCertNameUnknown : IUnknown {};

struct ksCertName : IUnknown {
  virtual HRESULT get_Text(plat::BSTR* text) = 0;
  virtual HRESULT put_Text(plat::BSTR text) = 0;
  virtual HRESULT put_Encoded(const std::uint8_t* der, std::uint32_t length) = 0;
  virtual HRESULT get_Encoded(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT Compare(ksCertName* other, std::int32_t* result) = 0;
  virtual HRESULT Reserved8(std::int32_t* value) = 0;  // stores 0, S_FALSE
};

struct ksCertName2 : IUnknown {
  virtual HRESULT get_Text(plat::BSTR* text) = 0;
  virtual HRESULT put_Text(plat::BSTR text) = 0;
  virtual HRESULT put_Encoded(const std::uint8_t* der, std::uint32_t length) = 0;
  virtual HRESULT get_Encoded(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) = 0;
  virtual HRESULT Compare(ksCertName2* other, std::int32_t* result) = 0;
};

// A built chain; its first four operations are those of ksCertArray (index 0: the end
// certificate).
struct ksCertChain : ksCertArray {
  virtual HRESULT get_Trust(std::int32_t* flags) = 0;
  virtual HRESULT get_CertTrust(std::int32_t index, std::int32_t* flags) = 0;
};

struct ksCertChainView : IUnknown {
  virtual HRESULT ViewCert(std::int32_t index, VARIANT_BOOL* viewed) = 0;
};

struct ksCertChain2 : IUnknown {
  virtual HRESULT get_NumCerts(std::int32_t* count) = 0;
  virtual HRESULT get_Cert(std::int32_t index, ksCert2** cert) = 0;
  virtual HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) = 0;
  virtual HRESULT get_Trust(std::int32_t* flags) = 0;
  virtual HRESULT get_CertTrust(std::int32_t index, std::int32_t* flags) = 0;
};

struct ksCertChainEngine : IUnknown {
  // A new validation; S_FALSE and null when the engine cannot be built.
  virtual HRESULT CreateValidation(ksCertChainValidation** validation) = 0;
  virtual HRESULT get_RootStore(ksCertStore** store) = 0;
  virtual HRESULT put_RootStore(ksCertStore* store) = 0;  // as SetRootStore
  virtual HRESULT get_IntermediateStore(ksCertStore** store) = 0;
  virtual HRESULT put_IntermediateStore(ksCertStore* store) = 0;  // as SetIntermediateStore
  virtual HRESULT get_Owner(ksCertUtility** owner) = 0;
  // The store whose certificates are trusted as roots (null: none).
  virtual HRESULT SetRootStore(ksCertStore* store) = 0;
  // The store searched for intermediate certificates (null: none).
  virtual HRESULT SetIntermediateStore(ksCertStore* store) = 0;
};

struct ksCertChainEngine2 : IUnknown {
  virtual HRESULT CreateValidation(ksCertChainValidation2** validation) = 0;
  virtual HRESULT get_RootStore(ksCertStore2** store) = 0;          // E_NOTIMPL
  virtual HRESULT put_RootStore(ksCertStore2* store) = 0;           // E_NOTIMPL
  virtual HRESULT get_IntermediateStore(ksCertStore2** store) = 0;  // E_NOTIMPL
  virtual HRESULT put_IntermediateStore(ksCertStore* store) = 0;
};

struct ksCertChainEngine3 : IUnknown {
  // Chains of validations made afterwards check revocation exactly when checkRevocation is
  // VARIANT_TRUE.
  virtual HRESULT put_CheckRevocation(VARIANT_BOOL checkRevocation) = 0;
};

struct ksCertChainValidation : IUnknown {
  virtual HRESULT SetEndCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) = 0;
  virtual HRESULT AddCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) = 0;
  virtual HRESULT CreateChain(std::int32_t usage, ksCertChain** chain) = 0;
  virtual HRESULT get_Owner(ksCertChainEngine** owner) = 0;
};

struct ksCertChainValidation2 : IUnknown {
  virtual HRESULT SetEndCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) = 0;
  virtual HRESULT AddCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) = 0;
  virtual HRESULT CreateChain(std::int32_t usage, ksCertChain2** chain) = 0;
};

// The root object. It is made only through dcfCreateInstance, declared here so that the
// supplicant needs no more than this header:
//   ksCertUtility* root = nullptr;
//   dcfCreateInstance<KsCertLib>(&root);  // one reference; throws dcfRunTimeException
class KsCertLib;
template <class Class, class Interface>
void dcfCreateInstance(Interface** object);
template <>
void dcfCreateInstance<KsCertLib, ksCertUtility>(ksCertUtility** object);
