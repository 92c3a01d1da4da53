#pragma once
// The adapter as the supplicant's host reaches it: OID queries and sets on the driver.
#include <cstdint>
#include <optional>
#include <vector>

namespace zelcon {

class AdapterOids {
public:
  virtual ~AdapterOids() = default;
  // The OID's answer (at most `capacity` bytes); nullopt when the device or the driver refused.
  virtual std::optional<std::vector<uint8_t>> Query(uint32_t oid, uint32_t capacity,
                                                    std::vector<uint8_t> input = {}) = 0;
  // 0 when the driver took the set. The data may be a key record: it is wiped once sent,
  // so a caller hands it over (moves it) rather than keeping a copy.
  virtual int Set(uint32_t oid, std::vector<uint8_t> data) = 0;
};

}  // namespace zelcon
