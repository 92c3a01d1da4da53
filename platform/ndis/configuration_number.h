#pragma once
// The text of a registry parameter as NDIS reads it for a driver: a number is the whole text
// (spaces around it aside), decimal with an optional '-' or hexadecimal with an optional "0x".
#include <cstdint>
#include <string>

namespace ndis {

std::string TrimConfigurationText(const std::string& text);
// False when the text is not a number of that base or does not fit 32 bits.
bool ParseConfigurationNumber(const std::string& text, bool hex, std::uint32_t& value);

}  // namespace ndis
