// The supplicant PAE over arbitrary received EAPOL frames, with the real EAP runner and its
// MD5-Challenge, Token Card, MS-CHAP-V2 and LEAP methods. Input: a flags byte (allowed type
// and whether the host gives a password), then frames, each as a length byte and that many
// bytes, with a time step from the length byte's high bits between them.
// Checks: every frame the PAE sends is well formed, the state is one it can report, the port
// is authorized in AUTHENTICATED and never in HELD or DISCONNECTED.
#include <cstddef>
#include <cstdint>

#include "ksSupp/eapol/recording_pae_owner.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"

namespace {

#define CHECK(condition) \
  if (!(condition)) __builtin_trap()

constexpr std::uint32_t kTypes[] = {4, 6, 26, 17, 21, 25, 13, 99};

void CheckSent(const RecordingPaeOwner& owner) {
  for (const auto& frame : owner.frames) {
    CHECK(frame.size() >= 4);
    CHECK(((frame[2] << 8) | frame[3]) + 4u == frame.size());
    CHECK(frame[1] == 0 || frame[1] == 1);
    if (frame[1] == 0) {
      CHECK(frame.size() >= 9);  // a Response with its type
      CHECK(frame[4] == 2);
      CHECK(((frame[6] << 8) | frame[7]) + 4u == frame.size());
      CHECK(frame.size() - 4 <= SupplicantPae::kResponseLimit);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  plat::ManualTickCount clock(0);
  fake_cert::Utility utility;
  utility.AddRef();
  ApiContext* context = ApiContext::Create(&utility);
  Identity* identity = Identity::Create(context);
  identity->SetUserName("user@realm", 10);
  if ((flags & 0x10) != 0) identity->SetPassword("password", 8);
  const std::uint32_t type = kTypes[flags & 7];
  identity->SetEapTypes(&type, 1);
  {
    RecordingPaeOwner owner;
    if ((flags & 0x20) != 0) owner.passwords = {"host", "host", "host"};
    owner.token = "123456";
    SupplicantPae pae(owner);
    pae.SetIdentity(identity);
    PaeDriver driver(pae);
    pae.SetInitialize(true);
    pae.SetPortActive(true);
    pae.SetInitialize(false);

    std::size_t at = 1;
    while (at < size) {
      const std::uint8_t lengthByte = data[at++];
      const std::size_t length = lengthByte & 0x7F;
      if (length > size - at) break;
      driver.Receive(data + at, static_cast<std::uint32_t>(length));
      at += length;
      if ((lengthByte & 0x80) != 0) {
        clock.Advance(driver.NextTimeout());
        driver.Step();
      }
      CheckSent(owner);
      owner.frames.clear();
      CHECK(pae.state() >= SupplicantPae::kDisconnected && pae.state() <= SupplicantPae::kAuthenticated);
      // A reauthentication keeps the port authorized until it fails.
      if (pae.state() == SupplicantPae::kAuthenticated) CHECK(pae.Authorized());
      if (pae.state() == SupplicantPae::kHeld || pae.state() == SupplicantPae::kDisconnected) {
        CHECK(!pae.Authorized());
      }
    }
    std::uint8_t keys[64];
    bool isShort = false;
    pae.GetMethodKeys(keys, isShort);
    pae.SetPortActive(false);
    CHECK(!pae.Authorized());
  }
  identity->Release();
  context->Release();
  return 0;
}
