#include "ksSupp/method/eap_method_handle.h"

#include <cstdlib>
#include <cstring>

#include <dcf/dcfWipe.h>
#include <strings/dcfString.h>

#include "platform/win32/hresult.h"

EapMethodHandle::EapMethodHandle(ApiContext& context, std::uint32_t eapType, StringForm form)
    : IdentityMethodHost(owner_),  // the owner is made before anything asks it
      adapter_(form, this, context, MessageFamily::EapMethod),
      eapType_(eapType) {
  context_.Assign(&context);
}

// The method goes before the host part it calls (which wipes the credentials after it).
EapMethodHandle::~EapMethodHandle() { method_.reset(); }

std::int32_t EapMethodHandle::Initialize() {
  if (!LoadIdentity()) return E_FAIL;
  std::unique_ptr<EapMethod> method(CreateEapMethod(eapType_));
  method_ = std::move(method);
  if (!method_) return E_FAIL;
  return method_->Initialize() == 0 ? 0 : E_FAIL;
}

void EapMethodHandle::ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) {
  if (!method_) return Notify(kNoMethod);
  if (const std::uint32_t status = method_->ReceiveEapRequest(packet, length)) Notify(status);
}

void EapMethodHandle::GetEapResponse(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) {
  if (length != nullptr) *length = 0;
  if (!method_) return Notify(kNoMethod);
  std::uint32_t written = 0;
  if (const std::uint32_t status = method_->GetEapResponse(buffer, size, &written)) return Notify(status);
  if (length != nullptr) *length = written;
}

void EapMethodHandle::VerifyCompletion() {
  const std::uint32_t code = method_ ? method_->VerifyCompletion() : kNoMethod;
  if ((code & 0xFFF000u) != 0x1000u) Notify(code);
}

bool EapMethodHandle::GetKeys(KSSTK_BLOB& keys) {
  keys = {};
  if (!method_) return false;
  std::uint8_t block[kEapKeyBlockSize];
  if (!method_->GetKeys(block)) return false;
  auto* copy = static_cast<std::uint8_t*>(std::malloc(sizeof block));
  if (copy != nullptr) {
    std::memcpy(copy, block, sizeof block);
    keys = {copy, static_cast<std::uint32_t>(sizeof block)};
  }
  dcfWipe(block, sizeof block);
  return copy != nullptr;
}

bool EapMethodHandle::Owner::GetPassword(char* buffer, std::uint32_t size) {
  return adapter_.GetPassword(0, buffer, size);
}

bool EapMethodHandle::Owner::GetTokenResponse(const char* text, std::uint32_t length, dcfByteArray& response) {
  const dcfString challenge(text, static_cast<std::int32_t>(length));
  return adapter_.GetTokenResponse(0, challenge.CStr(), response);
}

bool EapMethodHandle::Owner::GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                                     char* password, std::uint32_t passwordSize) {
  return adapter_.GetCredentials(0, prompt, userName, userNameSize, password, passwordSize);
}

// Pre-filled "no answer", then the library's own judgement: a host that does not answer
// never makes the chain trusted.
std::uint32_t EapMethodHandle::Owner::ValidateServerChain(const DerCertificate* certificates,
                                                   std::uint32_t count) {
  return adapter_.ValidateServerChain(0, certificates, count);
}

bool EapMethodHandle::Owner::Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
                           const std::uint8_t* digest, std::uint32_t digestLength,
                           std::uint32_t request1, std::uint32_t request2, std::uint8_t* out,
                           std::uint32_t capacity, std::uint32_t& outLength) {
  return adapter_.PrivateKeyOperation(0, selector, keySize, certificateHash, digest, digestLength,
                                      request1, request2, out, capacity, outLength);
}
