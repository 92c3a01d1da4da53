#include "ksSupp/eap/eap_method.h"

#include <collections/dcfByteArray.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"

std::uint32_t EapMethod::GetStatus() { return finished_ ? 0 : statusBase_ | kEapInProgress; }

std::uint32_t EapMethod::VerifyCompletion() {
  return finished_ ? kEapComplete : statusBase_ | kEapInProgress;
}

bool EapMethod::DeriveKeyMaterial(const char*, std::uint8_t*, std::uint32_t) { return false; }

bool EapMethod::GetCipherSuite(std::uint16_t*) { return false; }

void EapMethod::Terminate() {}

bool EapMethod::WantsAllEapPackets() { return false; }

bool EapMethod::SupportsKeys() { return true; }

std::uint32_t EapMethod::WithBase(std::uint32_t code) const {
  return code > 0xFFFFFF ? code : code | statusBase_;
}

std::uint32_t EapMethod::CopyResponse(const dcfByteArray& response, std::uint8_t* buffer,
                                      std::uint32_t size, std::uint32_t* length) const {
  if (length == nullptr) return statusBase_ | kEapInternalFailure;
  *length = 0;
  if (size < response.Length() || (buffer == nullptr && !response.Empty())) {
    return statusBase_ | kEapInternalFailure;
  }
  if (!response.Empty()) std::memcpy(buffer, response.Data(), response.Length());
  *length = response.Length();
  return 0;
}
