// The method host of one PAE authentication: the identity's credentials, the EAP runner
// over the identity's allowed types, and what the PAE needs to tell a retransmitted request
// from a new one.
#pragma once

#include <collections/dcfByteArray.h>

#include <memory>

#include "ksSupp/eap/eap_session.h"
#include "ksSupp/eap_type_list.h"
#include "ksSupp/identity_method_host.h"

class PaeMethodHost final : public IdentityMethodHost {
 public:
  // One reference, for the caller. The identity's types are copied: the runner keeps to the
  // list it started with.
  PaeMethodHost(EapHostServices& owner, Identity& identity, std::uint32_t resumptionTimeout)
      : IdentityMethodHost(owner) {
    SetIdentity(&identity);
    SetResumptionTimeout(resumptionTimeout);
    allowedTypes_.types = identity.EapTypes();
    LoadIdentity();
  }

  const EapTypeList& AllowedTypes() const { return allowedTypes_; }
  // Takes over the runner made over AllowedTypes() and this host.
  void SetRunner(EapSession* runner) { runner_.reset(runner); }
  EapSession& Runner() { return *runner_; }
  // The last request the runner processed, and the response it gave (empty: none).
  dcfByteArray& LastProcessed() { return lastProcessed_; }
  dcfByteArray& LastResponse() { return lastResponse_; }

 private:
  ~PaeMethodHost() override = default;

  EapTypeList allowedTypes_;
  std::unique_ptr<EapSession> runner_;  // goes before the list it reads
  dcfByteArray lastProcessed_;
  SecureByteArray lastResponse_;
};
