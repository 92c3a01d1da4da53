// An EapMethod that does what its script says and records what it was given: the runner's
// tests and fuzz harness use it to see the runner's own rules apart from any real method.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/eap_status.h"

struct EapMethodScript {
  std::uint32_t base = EapBase(0x0E);
  std::uint32_t initializeResult = 0;
  std::uint32_t receiveResult = 0;          // for every packet
  std::vector<std::uint8_t> response = {};  // pending after each accepted packet
  std::uint32_t completion = kEapComplete;  // VerifyCompletion's answer
  bool wantsAllEapPackets = false;
  const char* name = "EAP-Scripted";
};

class ScriptedEapMethod : public EapMethod {
 public:
  explicit ScriptedEapMethod(const EapMethodScript& script, unsigned* destroyed = nullptr)
      : EapMethod(nullptr, script.base), script_(script), destroyed_(destroyed) {}
  ~ScriptedEapMethod() override {
    if (destroyed_ != nullptr) ++*destroyed_;
  }

  std::vector<std::vector<std::uint8_t>> received;

  std::uint32_t Initialize() override { return script_.initializeResult; }
  std::uint32_t VerifyCompletion() override { return script_.completion; }
  const char* GetName() override { return script_.name; }
  bool GetKeys(std::uint8_t*) override { return false; }
  void SetAuthenticationResult(bool) override {}
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override {
    received.emplace_back(packet, packet + length);
    return script_.receiveResult;
  }
  std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) override {
    *length = 0;
    if (size < script_.response.size()) return statusBase_ | kEapInternalFailure;
    if (!script_.response.empty()) {
      std::memcpy(buffer, script_.response.data(), script_.response.size());
    }
    *length = static_cast<std::uint32_t>(script_.response.size());
    return 0;
  }
  bool WantsAllEapPackets() override { return script_.wantsAllEapPackets; }

 private:
  EapMethodScript script_;
  unsigned* destroyed_;
};
