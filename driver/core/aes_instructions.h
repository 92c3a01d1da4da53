#pragma once
// AES-128 with the CPU's AES instructions (AES-NI): the key expansion, blocks, and CCM's
// pass with the MAC kept in a register. Call only when CpuHasAesInstructions() is true; the
// schedules they read are those AesInstructionsExpandKey wrote.
#include <cstdint>

#include "driver/core/aes128.h"
#include "driver/core/ccm_pass.h"

namespace zelnic::core {

void AesInstructionsExpandKey(const std::uint8_t key[16], AesKeySchedule& schedule);
void AesInstructionsEncryptBlock(const std::uint8_t in[16], std::uint8_t out[16], const AesKeySchedule& schedule);
void AesInstructionsEncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16], const std::uint8_t b[16],
                                     std::uint8_t bOut[16], const AesKeySchedule& schedule);
void AesInstructionsCcmPass(const AesKeySchedule& schedule, const CcmFirstBlocks& first, CcmDirection direction,
                            std::uint8_t* data, std::uint32_t length, std::uint8_t mic[kCcmMicBytes]);

}  // namespace zelnic::core
