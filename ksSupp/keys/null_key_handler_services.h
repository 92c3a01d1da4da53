#pragma once
// Key-handler services that do nothing: the base of the doubles that tests, fuzz harnesses
// and benchmarks put where the link engine would be.
#include "ksSupp/keys/key_handler_services.h"

class NullKeyHandlerServices : public KeyHandlerServices {
 public:
  virtual ~NullKeyHandlerServices() = default;
  void TransmitEapolKey(const uint8_t*, uint32_t) override {}
  void InstallKey(uint32_t, const uint8_t*, uint32_t, uint32_t, const uint8_t*, uint32_t,
                  uint32_t) override {}
  void InstallWepKey(const uint8_t*, uint32_t, uint32_t) override {}
  void RemoveKey(uint32_t, const uint8_t*) override {}
  void Reauthenticate() override {}
  void SendCckmElement(uint32_t, const uint8_t*, uint32_t) override {}
  void CckmResult(uint32_t) override {}
  void ReportKeyFailure(uint32_t) override {}
  void PairwiseMessage1Received() override {}
  void PmksaCacheHit() override {}
  void CachedHandshakeDone() override {}
  void SetPmkidList(uint32_t, const uint8_t*) override {}
  void SendFlitElements(const uint8_t*, uint32_t) override {}
};
