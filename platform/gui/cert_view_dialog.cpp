#include "platform/gui/cert_view_dialog.h"

#include <QApplication>

#include <utility>

#include "platform/gui/combo_box.h"
#include "platform/gui/list_view.h"

namespace zfw {

CertificateViewDialog::CertificateViewDialog(std::vector<CertificateDetails> chain, Wnd* parent)
    : Dialog(kTemplateId, parent), chain_(std::move(chain)) {
  setCaption("Certificate");
  on(CBN_SELCHANGE, kChainCombo, &CertificateViewDialog::OnChainSelected);
}

void CertificateViewDialog::buildControls(ControlBuilder& b) {
  b.text(0, "Certification path:").combo(kChainCombo).row().list(kFieldList).row().stretch().button(IDOK, "OK", true);
}

bool CertificateViewDialog::onInitDialog() {
  ListView fields = listView(kFieldList);
  fields.insertColumn(0, "Field", 160);
  fields.insertColumn(1, "Value", 420);
  ComboBox path = comboBox(kChainCombo);
  for (const CertificateDetails& certificate : chain_) path.addString(certificate.title);
  path.setCurSel(0);
  ShowFields(0);
  // Wide enough for a name or a date at a glance; the list scrolls for a long modulus.
  const Rect at = windowRect();
  moveWindow(Rect{at.left, at.top, at.left + 640, at.top + 400});
  return true;
}

void CertificateViewDialog::OnChainSelected() { ShowFields(comboBox(kChainCombo).curSel()); }

void CertificateViewDialog::ShowFields(int index) {
  ListView fields = listView(kFieldList);
  fields.deleteAllItems();
  if (index < 0 || static_cast<std::size_t>(index) >= chain_.size()) return;
  for (const CertificateField& field : chain_[static_cast<std::size_t>(index)].fields) {
    const int row = fields.insertItem(fields.itemCount(), field.name);
    fields.setItemText(row, 1, field.text);
  }
}

int runCertificateViewDialog(const std::vector<CertificateDetails>& chain) {
  if (chain.empty() || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return 0;
  CertificateViewDialog dialog(chain);
  // Any way of closing it is a normal close: there is nothing to accept or refuse.
  const int result = dialog.doModal();
  return result == IDOK || result == IDCANCEL ? 1 : 0;
}

}  // namespace zfw
