#pragma once
// Michael, TKIP's message integrity code: 8 bytes over the MSDU's addresses, priority and data.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kMichaelBytes = 8;

// Runs over a message given in pieces (the MIC header and the data need not be contiguous).
class Michael {
 public:
  explicit Michael(const std::uint8_t key[8]);
  ~Michael();
  void Update(const std::uint8_t* data, std::uint32_t length);
  // Pads, finishes and writes the 8-byte MIC; the object is spent afterwards.
  void Final(std::uint8_t mic[8]);

 private:
  void Block(std::uint32_t word);
  std::uint32_t l_, r_;
  std::uint32_t pending_ = 0;  // bytes not yet a whole word, little-endian
  std::uint32_t pendingCount_ = 0;
};

// Michael over the header (DA, SA, priority, three zero bytes) and the data of one MSDU.
void MichaelMic(const std::uint8_t key[8], const std::uint8_t destination[6], const std::uint8_t source[6],
                std::uint8_t priority, const std::uint8_t* data, std::uint32_t length, std::uint8_t mic[8]);

}  // namespace zelnic::core
