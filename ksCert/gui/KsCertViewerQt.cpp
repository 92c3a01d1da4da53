#include "ksCert/gui/KsCertViewerQt.h"

#include "platform/gui/cert_view_dialog.h"
#include "platform/win32/ansi_code_page.h"

int ShowCertificateInDialog(const KsCertViewRequest& request) {
  std::vector<zfw::CertificateDetails> chain;
  for (const KsCertViewCertificate& certificate : request.chain) {
    zfw::CertificateDetails details{plat::WideToAnsi(certificate.title), {}};
    for (const KsCertViewField& field : certificate.fields) {
      details.fields.push_back({plat::WideToAnsi(field.name), plat::WideToAnsi(field.text)});
    }
    chain.push_back(std::move(details));
  }
  return zfw::runCertificateViewDialog(chain);
}

void InstallQtCertificateViewer() { SetCertificateViewerBackend(&ShowCertificateInDialog); }
