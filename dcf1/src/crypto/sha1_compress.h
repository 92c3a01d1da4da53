#pragma once
// SHA-1's compression function over whole 64-byte blocks, in the form the CPU allows.
#include <cstddef>
#include <cstdint>

namespace crypto_detail {

// `count` blocks, then `last` (when given): a block kept elsewhere, such as a message's padded
// end. The form in use (Sha1CompressionInUse).
void Sha1CompressBlocks(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count,
                        const std::uint8_t* last = nullptr);

// Each form; call one only when the CPU has what it needs.
void Sha1InstructionsCompress(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count);
void Sha1VectorScheduleCompress(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count,
                                const std::uint8_t* last);
void Sha1PortableCompress(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count);

bool CpuHasShaExtensions();  // SHA and SSSE3
bool CpuHasAvx2AndBmi();

}  // namespace crypto_detail
