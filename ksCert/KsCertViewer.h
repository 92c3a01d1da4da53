#pragma once
// The certificate viewer. The library carries no dialog of its own, so a run shows nothing and
// reports -1, unless a front end registered a backend: then the backend shows the certificate
// (its field texts, and those of its chain as far as it can be built) and reports 1 when the
// dialog was shown and closed normally, 0 when it could not be shown.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cryptoapi/handles.h"

struct KsCertViewField {
  std::u16string name;  // the field's name of the lookup table ("Version", ...)
  std::u16string text;
};

struct KsCertViewCertificate {
  std::u16string title;  // the simple display name
  std::vector<KsCertViewField> fields;
};

// [0]: the certificate to show; then its issuers, up to the root, as far as they were found.
struct KsCertViewRequest {
  std::vector<KsCertViewCertificate> chain;
};

// Result of a run: 1 shown and closed, 0 not shown, -1 no viewer.
using KsCertViewerBackend = std::function<int(const KsCertViewRequest&)>;

// Registers the backend of every later run (an empty one: none, the -1 path).
void SetCertificateViewerBackend(KsCertViewerBackend backend);

// Shows the certificate, with `store` (may be null) searched for its chain. A null
// certificate shows nothing: flag 0, false. Otherwise the flag (when given) becomes 1 when the
// run's result is non-zero, else 0; true exactly when the result is 1.
bool RunCertificateViewer(capi::HCERTSTORE store, capi::PCCERT_CONTEXT certificate, std::int32_t* flag);

// The field texts of one certificate as the viewer shows them.
KsCertViewCertificate CertificateViewOf(capi::PCCERT_CONTEXT certificate);
