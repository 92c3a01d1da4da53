#include "driver/core/michael.h"

#include <bit>

namespace zelnic::core {
namespace {

std::uint32_t Load32(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}
void Store32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
constexpr std::uint32_t XSwap(std::uint32_t v) { return ((v & 0xFF00FF00u) >> 8) | ((v & 0x00FF00FFu) << 8); }

}  // namespace

Michael::Michael(const std::uint8_t key[8]) : l_(Load32(key)), r_(Load32(key + 4)) {}

Michael::~Michael() {
  volatile std::uint32_t* wipe[] = {&l_, &r_, &pending_};
  for (volatile std::uint32_t* w : wipe) *w = 0;
}

void Michael::Block(std::uint32_t word) {
  l_ ^= word;
  r_ ^= std::rotl(l_, 17);
  l_ += r_;
  r_ ^= XSwap(l_);
  l_ += r_;
  r_ ^= std::rotl(l_, 3);
  l_ += r_;
  r_ ^= std::rotr(l_, 2);
  l_ += r_;
}

void Michael::Update(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t i = 0;
  while (pendingCount_ != 0 && i < length) {
    pending_ |= static_cast<std::uint32_t>(data[i++]) << (8 * pendingCount_);
    if (++pendingCount_ == 4) {
      Block(pending_);
      pending_ = pendingCount_ = 0;
    }
  }
  for (; i + 4 <= length; i += 4) Block(Load32(data + i));
  for (; i < length; ++i) pending_ |= static_cast<std::uint32_t>(data[i]) << (8 * pendingCount_++);
}

void Michael::Final(std::uint8_t mic[8]) {
  // The message ends with 0x5A and zeros to a whole word, then one more zero word.
  pending_ |= 0x5Au << (8 * pendingCount_);
  Block(pending_);
  Block(0);
  pending_ = pendingCount_ = 0;
  Store32(mic, l_);
  Store32(mic + 4, r_);
}

void MichaelMic(const std::uint8_t key[8], const std::uint8_t destination[6], const std::uint8_t source[6],
                std::uint8_t priority, const std::uint8_t* data, std::uint32_t length, std::uint8_t mic[8]) {
  std::uint8_t header[16] = {};
  for (int i = 0; i < 6; ++i) header[i] = destination[i];
  for (int i = 0; i < 6; ++i) header[6 + i] = source[i];
  header[12] = priority;
  Michael michael(key);
  michael.Update(header, sizeof header);
  michael.Update(data, length);
  michael.Final(mic);
}

}  // namespace zelnic::core
