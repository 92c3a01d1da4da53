// Pre-authentication EAPOL frames into the pre-authentication port while it authenticates
// with one candidate (EAP-MD5, EAP-TLS, PEAP and TTLS allowed). The first byte chooses the
// source: even the candidate, odd another address. The rest is one frame, or several
// separated by a two-byte length prefix each.
#include <ksstk.h>

#include <cstring>
#include <vector>

#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"
#include "ksSupp/link/preauth_port.h"
#include "ksSupp/link_callback_adapter.h"

namespace {

const std::uint8_t kCandidate[6] = {0x02, 0, 0, 0, 0, 0xB1};
const std::uint8_t kOther[6] = {0x02, 0, 0, 0, 0, 0xB2};

uint32_t KSSTK_CALL Answer(uintptr_t, KSSTK_CALLBACK_MESSAGE* message) {
  if (message->Code == KSSTK_MSG_PREAUTH_GET_PASSWORD)
    KSSTK_AllocStringA("secret", &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
  return 0;
}

class OneCandidate final : public PreauthPmksaServices {
 public:
  bool NextPreauthCandidate(std::uint8_t bssid[6]) override {
    std::memcpy(bssid, kCandidate, 6);
    return true;
  }
  void AddPreauthPmk(const std::uint8_t*, const std::uint8_t*, std::uint32_t) override {}
};

class FuzzLink : public RefCounted {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fake_cert::Utility utility;
  static ApiContext* context = [] {
    utility.AddRef();
    return ApiContext::Create(&utility);
  }();
  static Identity* identity = [] {
    Identity* made = Identity::Create(context);
    made->SetUserName("bob", 3);
    const std::uint32_t types[] = {4, 13, 25, 21};
    made->SetEapTypes(types, 4);
    return made;
  }();
  if (size < 1) return 0;
  FuzzLink link;
  LinkCallbackAdapter adapter(StringForm::Narrow, &link, *context);
  adapter.SetHost(&Answer, 0);
  OneCandidate pmksa;
  PreauthPort port(*context, adapter, pmksa);
  port.SetIdentity(identity);
  port.SetActive(true);
  port.Step();
  const std::uint8_t* source = (data[0] & 1) == 0 ? kCandidate : kOther;
  const uint8_t* rest = data + 1;
  size_t left = size - 1;
  while (left > 0) {
    size_t length = left;
    if (left >= 2) {
      const size_t prefixed = static_cast<size_t>(rest[0] << 8 | rest[1]);
      if (prefixed <= left - 2) {
        rest += 2;
        left -= 2;
        length = prefixed;
      }
    }
    // A copy of exactly the frame's size, so that a read past it is caught.
    std::vector<uint8_t> frame(rest, rest + length);
    port.Receive(source, frame.data(), static_cast<std::uint32_t>(frame.size()));
    port.Step();
    rest += length;
    left -= length;
  }
  return 0;
}
