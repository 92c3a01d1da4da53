#pragma once
// How the chip writes numbers, addresses and release words in its step log.
#include <cstdint>
#include <span>
#include <string>

namespace simchip {

std::string Hex(std::uint32_t value, int digits);
std::string MacText(std::span<const std::uint8_t> mac);  // "00-1E-4D-2D-17-01"
std::string ReleaseText(std::uint32_t release);           // 0x02090114 is "2.9.1.20"

}  // namespace simchip
