// SwiftBond replies are bytes from the air: any body is parsed and handed to an exchange in
// each waiting state without reading outside it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/core/swiftbond_exchange.h"

namespace {

class QuietLink : public zelnic::core::SwiftBondLink {
 public:
  bool Associated() override { return true; }
  bool SendBody(const std::uint8_t*, std::uint32_t) override { return true; }
  void ArmTimer(std::uint32_t) override {}
  void CancelTimer() override {}
  void PostEvent(std::uint32_t) override {}
  void RestoreTxPower() override {}
  const std::uint8_t* Bssid() override { return address_; }
  const std::uint8_t* StationAddress() override { return address_; }
  std::uint16_t StationWord() override { return 0; }

 private:
  std::uint8_t address_[6] = {2, 0, 0, 0, 0, 1};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::vector<std::uint8_t> body(data + 1, data + size);  // exactly the frame: reads beyond it are caught
  QuietLink link;
  zelnic::core::SwiftBondExchange exchange(link);
  std::uint8_t security[zelnic::core::kSwiftBondSecurityRecordBytes] = {};
  security[2] = 'p';
  exchange.SetSecurity(security, sizeof security);
  const std::uint8_t setup[8] = {0, 0, 1, 0, static_cast<std::uint8_t>(data[0] & 3), 0, data[0], 0};
  exchange.Setup(setup, sizeof setup);
  // Walk the exchange forward through the first byte's choice of replies.
  for (int step = 0; step < 4; ++step) exchange.Receive(body.data(), static_cast<std::uint32_t>(body.size()));
  std::uint8_t info[zelnic::core::kSwiftBondApInfoBytes];
  exchange.ApInfo(info);
  if ((info[0] | info[1] << 8) > 32) __builtin_trap();
  return 0;
}
