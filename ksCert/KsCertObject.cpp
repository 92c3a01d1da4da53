#include "ksCert/KsCertObject.h"

#include <cstring>

HRESULT KsCertObject::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCert, static_cast<ksCert*>(this)},
      {IID_ksCert2, static_cast<ksCert2*>(this)},
  };
  return QueryMap(map, iid, object);
}

HRESULT KsCertObject::get_Hash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    if (impl_.GetHash(buffer, size, length)) return S_OK;
    std::memset(buffer, 0, size);
    *length = 0;
    return S_FALSE;
  });
}

HRESULT KsCertObject::CheckUsage(std::int32_t usage, VARIANT_BOOL* valid) {
  if (valid == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *valid = impl_.CheckUsage(usage) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT KsCertObject::ExportCert(std::int32_t format, const char* password, std::uint32_t passwordLength,
                                 std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  return ExportInto(__LINE__, buffer, size, length, [&](dcfByteArray& bytes) {
    return impl_.Export(format, password, passwordLength, bytes);
  });
}

HRESULT KsCertObject::ExportCertChain(std::int32_t format, const char* password, std::uint32_t passwordLength,
                                      std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  return ExportInto(__LINE__, buffer, size, length, [&](dcfByteArray& bytes) {
    return impl_.ExportChain(format, password, passwordLength, bytes);
  });
}

template <class Exporter>
HRESULT KsCertObject::ExportInto(std::int32_t line, std::uint8_t* buffer, std::uint32_t size,
                                 std::uint32_t* length, Exporter&& exporter) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    // A PKCS#12 file may hold the private key: wiped when done.
    SecureByteArray bytes;
    if (!exporter(bytes)) {
      std::memset(buffer, 0, size);
      *length = 0;
      return S_FALSE;
    }
    // A buffer that is too small learns the size it needs.
    *length = bytes.Length();
    if (size >= bytes.Length() && bytes.Length() != 0) std::memcpy(buffer, bytes.Data(), bytes.Length());
    return S_OK;
  });
}

HRESULT KsCertObject::ApplyTransform(std::int32_t type, const std::uint8_t* input, std::uint32_t inputLength,
                                     std::uint8_t* output, std::uint32_t outputSize, std::uint32_t* outputLength,
                                     VARIANT_BOOL* done) {
  if (output == nullptr || outputLength == nullptr || done == nullptr) return E_POINTER;
  if (WritesDoneFirst()) *done = VARIANT_FALSE;
  return RunGuarded(__LINE__, [&] {
    auto fail = [&] {
      std::memset(output, 0, outputSize);
      *outputLength = 0;
      *done = VARIANT_FALSE;
      return S_FALSE;
    };
    if (input == nullptr || inputLength == 0) return fail();
    bool transformed = false;
    switch (type) {
      case KS_CERT_TRANSFORM_RSA_SIGN:
        transformed = impl_.SignRsa(input, inputLength, output, outputSize, outputLength);
        break;
      case KS_CERT_TRANSFORM_SIGN_DSA:
        transformed = impl_.SignDsa(input, inputLength, output, outputSize, outputLength);
        break;
      case KS_CERT_TRANSFORM_DECRYPT:
        transformed = impl_.Decrypt(input, inputLength, output, outputSize, outputLength);
        break;
      default:
        dcfThrowUnsupportedPlatformException(
            dcfUnsupportedPlatformException(
                "Error: Only KS_CERT_TRANSFORM_RSA_SIGN and KS_CERT_TRANSFORM_SIGN_DSA are supported\n"),
            __LINE__, SourceFile());
    }
    if (!transformed) return fail();
    *done = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT KsCertObject::ApplyTransformEx(std::int32_t type, const std::uint8_t* input, std::uint32_t inputLength,
                                       std::uint8_t* output, std::uint32_t outputSize, void*,
                                       std::uint32_t* outputLength, VARIANT_BOOL* done) {
  return static_cast<ksCert*>(this)->ApplyTransform(type, input, inputLength, output, outputSize,
                                                    outputLength, done);
}

HRESULT KsCertObject::HasPrivateKey(VARIANT_BOOL* has) {
  if (has == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *has = impl_.HasPrivateKey() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT KsCertObject::GetFieldText(std::int32_t field, plat::BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return RunGuarded(__LINE__, [&] {
    std::u16string value;
    if (!impl_.GetFieldText(field, value)) return S_FALSE;
    plat::BSTR copy = plat::SysAllocStringLen(value.data(), static_cast<std::uint32_t>(value.size()));
    if (copy == nullptr) RaiseOutOfMemory(dcfOutOfMemoryException("*pbstrToBstr != NULL"), __LINE__, SourceFile());
    *text = copy;
    return S_OK;
  });
}

HRESULT KsCertObject::GetFieldNumber(std::int32_t field, std::int32_t* value) {
  if (value == nullptr) return E_POINTER;
  *value = 0;
  return RunGuarded(__LINE__, [&] { return impl_.GetFieldNumber(field, value) ? S_OK : S_FALSE; });
}

HRESULT KsCertObject::Reserved11(void*, void*) { return E_NOTIMPL; }

HRESULT KsCertObject::Reserved6(std::uint32_t* out) {
  KsClearOut(out);
  return E_NOTIMPL;
}

HRESULT KsCertObject::GetEncodedSubject(std::int32_t encoding, std::uint8_t* buffer, std::uint32_t size,
                                        std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    if (encoding != kCertEncodingX509Name) {
      if (ClearsBufferOnWrongEncoding()) std::memset(buffer, 0, size);
      *length = 0;
      return S_FALSE;
    }
    // A buffer that is too small still learns the size it needs.
    return impl_.GetEncodedSubject(buffer, size, length) ? S_OK : S_FALSE;
  });
}

HRESULT KsCertObject::GetEncodedSubject(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    if (impl_.GetEncodedSubject(buffer, size, length)) return S_OK;
    std::memset(buffer, 0, size);
    *length = 0;
    return S_FALSE;
  });
}

HRESULT KsCertObject::GetOwner(IUnknown** owner) {
  if (owner == nullptr) return E_POINTER;
  IUnknown* held = impl_.Owner();
  if (held != nullptr) held->AddRef();
  *owner = held;
  return S_OK;
}

HRESULT KsCertObject::get_FriendlyName(plat::BSTR* name) {
  if (name == nullptr) return E_POINTER;
  *name = nullptr;
  return RunGuarded(__LINE__, [&] { return impl_.DoGetFriendlyName(name) ? S_OK : S_FALSE; });
}
