// Whatever the chip layer hands up goes through the core's receive dispatch (management
// frames into the BSS table, data frames through filtering, each cipher's decryption and MIC
// check, reassembly and decapsulation) in any state of
// the station, without touching memory outside its buffers and giving every record back
// exactly once. Each input starts from a station associated with an access point, in the
// state the input names.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/fuzz_station/associated_driver.h"
#include "driver/hal/hal_adapter.h"

namespace {

constexpr std::uint32_t kBufferBytes = 2032;  // a receive buffer of the ring

struct Buffer {
  std::vector<std::uint8_t> bytes;
  ReceiveRecord record{};
  bool withChipLayer = true;
};

std::vector<std::unique_ptr<Buffer>>* g_buffers = nullptr;

void ReturnReceiveBuffer(HalAdapter*, ReceiveRecord* record) {
  for (auto& buffer : *g_buffers) {
    if (&buffer->record != record) continue;
    if (buffer->withChipLayer) __builtin_trap();  // given back twice
    buffer->withChipLayer = true;
    return;
  }
  __builtin_trap();  // not a record of the chip layer
}

zelnic::testing::AssociatedDriver& Driver() {
  static auto* fixture = [] {
    auto* associated = &zelnic::testing::AssociatedDriver::Get();
    associated->takeReceiveRecords(&ReturnReceiveBuffer);
    return associated;
  }();
  return *fixture;
}

// The keys every input may be received under: WEP key records 0 (WEP-40) and 1 (WEP-104),
// a pairwise key and a group key in slot 1 of the adapter key table and of the current
// network's per-BSS table, the WEP-104 key as CKIP's
// transmit (0) and group (1) key, installed for each input into the tables the fixture has
// emptied.
void InstallKeys(CoreAdapter* core, bool wpaNone) {
  for (std::uint32_t i = 0; i < 2; ++i) {
    zelnic::WepKeyRecord& wep = core->Config.wepKeys[i];
    wep.keyIndex = i;
    wep.keyLength = i == 0 ? 5 : 13;
    for (std::uint32_t b = 0; b < wep.keyLength; ++b) wep.key[b] = static_cast<std::uint8_t>(0x40 + b);
  }
  const zelnic::WepKeyRecord& wep104 = core->Config.wepKeys[1];
  zelnic::core::CkipKeyInstalled(core, 0x80000000, wep104.key, wep104.keyLength);
  zelnic::core::CkipKeyInstalled(core, 1, wep104.key, wep104.keyLength);
  std::uint8_t record[64] = {};
  for (std::uint32_t b = 32; b < 64; ++b) record[b] = static_cast<std::uint8_t>(b * 3);
  const std::uint32_t words[3] = {64, 0xC0000000, 32};
  std::memcpy(record, words, sizeof words);
  std::memcpy(record + 12, core->Bssid.data(), 6);
  zelnic::core::BssKeyTable& bssKeys = core->BssKeys.Claim(core->Bssid.data(), core->Bssid.data());
  for (const std::uint32_t keyIndex : {0xC0000000u, 0x00000001u}) {
    std::memcpy(record + 4, &keyIndex, 4);
    zelnic::core::KeyInstall install;
    if (zelnic::core::ReadKeyRecord(record, sizeof record, install) != zelnic::core::KeyRefusal::kNone)
      __builtin_trap();
    core->Keys.Install(install, core->StationAddress.data(), wpaNone);
    zelnic::core::BssKeyTables::Install(bssKeys, install, core->StationAddress.data());
  }
}

}  // namespace

// Starting and associating run before the first input, so their coverage is not taken for
// the inputs' own (thousands of features the fuzzer would otherwise weigh on every input).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Driver();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: 4 bytes of station state, then runs of {u16 frame length, frame bytes}.
  if (size < 4) return 0;
  std::vector<std::unique_ptr<Buffer>> buffers;
  g_buffers = &buffers;
  Driver().run([&](CoreAdapter* core) {
    core->MlmeState = data[0] % 14;
    core->MediaDisconnected = data[1] & 1;
    core->Config.networkMode = (data[1] >> 1) % 3;
    core->Flags = (data[1] >> 3) & 0x3;
    core->DwellPending = (data[1] & 0x20) != 0;
    core->ScanIndex = data[2] % 14;
    core->Bssid = {0x00, 0x0C, 0x41, 0x10, 0x20, data[3]};
    // Protected frames go through each cipher's decryption: none, WEP, TKIP, CCMP.
    static constexpr std::uint32_t kStatuses[4] = {1, 0, 4, 6};
    core->Config.wepStatus = kStatuses[(data[2] >> 4) & 3];
    core->Config.authMode = (data[2] & 0x40) != 0 ? 5 : 7;
    core->Ciphers.GroupCipherStatus = (data[2] & 0x80) != 0 ? 4 : 0xFF;
    core->Ccx.ckipFlags = static_cast<std::uint8_t>((data[1] >> 6) << 3);  // none, CMIC, permutation, both
    InstallKeys(core, core->Config.authMode == 5);
    for (size_t at = 4; at + 2 <= size;) {
      const std::uint32_t wanted = data[at] | data[at + 1] << 8;
      const auto length = static_cast<std::uint32_t>(std::min<size_t>(wanted, size - at - 2));
      auto& buffer = buffers.emplace_back(std::make_unique<Buffer>());
      buffer->bytes.assign(std::max(length, kBufferBytes), 0);
      std::memcpy(buffer->bytes.data(), data + at + 2, length);
      at += 2 + length;
      // The length the descriptor reported, which may claim more than the buffer holds.
      buffer->record = ReceiveRecord{{nullptr}, buffer->bytes.data(), wanted, kBufferBytes};
      buffer->withChipLayer = false;
      core->LastRssi = -static_cast<std::int32_t>(wanted % 100);
      CoreOps(core).Receive(core, &buffer->record);
    }
  });
  for (auto& buffer : buffers)
    if (!buffer->withChipLayer) __builtin_trap();  // a record kept by the core
  g_buffers = nullptr;
  return 0;
}
