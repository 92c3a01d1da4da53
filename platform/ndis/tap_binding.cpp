#include "platform/ndis/tap_binding.h"

#include <array>
#include <cstring>

#include "platform/ndis/adapter_runtime.h"

namespace ndis {

std::unique_ptr<TapBinding> TapBinding::bind(NdisHost& host, const std::string& tapName,
                                             std::string& error) {
  const OidResult address = host.query(OID_802_3_CURRENT_ADDRESS, 6);
  if (address.status != NDIS_STATUS_SUCCESS || address.bytesDone != 6) {
    error = "the adapter does not tell its current address";
    return nullptr;
  }
  Scheduler& scheduler = host.scheduler();
  auto tap = TapDevice::open(
      tapName, "", [&scheduler] { scheduler.post(EventKind::Host, "tap frames", [] {}); }, error);
  if (!tap) return nullptr;
  std::array<std::uint8_t, 6> mac{};
  std::memcpy(mac.data(), address.data.data(), mac.size());
  if (!tap->setAddress(mac, error)) return nullptr;
  return std::unique_ptr<TapBinding>(new TapBinding(host, std::move(tap)));
}

bool TapBinding::work() const {
  return tap_->inboundWaiting() || !host_.runtime().indications().received.empty();
}

void TapBinding::pump() {
  const std::vector<TapDevice::Frame> outbound = tap_->takeInbound();
  if (!outbound.empty()) {
    host_.send(outbound);
  }
  for (const SendCompletion& done : host_.takeSendCompletions()) {
    if (done.status != NDIS_STATUS_SUCCESS) ++sendsFailed_;
  }
  for (const EthFrame& frame : host_.takeReceived()) tap_->write(frame);
}

}  // namespace ndis
