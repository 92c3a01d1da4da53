#pragma once
// The certificate dialog (the stand-in for the system's certificate UI): the certificates of
// a chain in a drop-down, the one shown first, then its issuers; the field names and texts of
// the chosen certificate in a two-column list. Read-only: the only command closes it.
#include <string>
#include <vector>

#include "platform/gui/dialog.h"

namespace zfw {

struct CertificateField {
  std::string name;  // UTF-8
  std::string text;
};

struct CertificateDetails {
  std::string title;  // what the drop-down shows
  std::vector<CertificateField> fields;
};

class CertificateViewDialog : public Dialog {
 public:
  static constexpr int kTemplateId = 201;
  static constexpr int kChainCombo = 1001;
  static constexpr int kFieldList = 1002;

  explicit CertificateViewDialog(std::vector<CertificateDetails> chain, Wnd* parent = nullptr);

 protected:
  void buildControls(ControlBuilder& builder) override;
  bool onInitDialog() override;

 private:
  void OnChainSelected();
  void ShowFields(int index);

  std::vector<CertificateDetails> chain_;
};

// Shows the chain's first certificate modally. 1 when the dialog was shown and then closed
// (OK, Escape or its close box); 0 when it cannot be shown (no GUI application, no
// certificate).
int runCertificateViewDialog(const std::vector<CertificateDetails>& chain);

}  // namespace zfw
