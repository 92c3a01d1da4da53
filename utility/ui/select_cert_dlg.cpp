#include "utility/ui/select_cert_dlg.h"

#include <openssl/x509.h>

#include <cstring>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/list_view.h"
#include "utility/ui/cert_fields.h"
#include "utility/ui/eap_tls_dlg.h"
#include "utility/ui/view_cert_dlg.h"

namespace {

enum : int {
  IDC_SELECT_CERT_GROUP = 1126,
  IDS_CERT_SUBJECT = 61605,
  IDS_CERT_ISSUER = 61606,
  IDS_CERT_VALID_BEFORE = 61607,
};

void ViewCertificate(zfw::Wnd& owner, const std::string& name, const uint8_t (&hash)[20]) {
  capi::PCCERT_CONTEXT context = FindPersonalCertificate(name, hash);
  if (context == nullptr) return;
  CViewCertDlg(context, &owner).doModal();
  capi::CertFreeCertificateContext(context);
}

}  // namespace

CSelectCertDlg::CSelectCertDlg(std::string& name, uint8_t (&hash)[20], zfw::Wnd* parent)
    : zfw::Dialog(IDD_SELECT_CERT, parent), m_name(name), m_hash(hash) {
  setCaption("Select Certificate");
  on(zfw::NM_CLICK, IDC_SELECT_CERT_LIST, &CSelectCertDlg::OnListClick);
  on(zfw::LVN_ITEMCHANGED, IDC_SELECT_CERT_LIST, &CSelectCertDlg::OnListClick);
  on(zfw::BN_CLICKED, IDC_SELECT_CERT_VIEW, &CSelectCertDlg::OnView);
}

void CSelectCertDlg::buildControls(zfw::ControlBuilder& b) {
  b.beginGroup(IDC_SELECT_CERT_GROUP, "Personal Certificates");
  b.list(IDC_SELECT_CERT_LIST, zfw::LVS_EX_FULLROWSELECT | zfw::LVS_EX_GRIDLINES).row();
  b.endGroup().row();
  b.button(zfw::IDOK, "&Select", true).button(zfw::IDCANCEL, "&Cancel").stretch();
  b.button(IDC_SELECT_CERT_VIEW, "&View");
}

bool CSelectCertDlg::onInitDialog() {
  moveWindow(zfw::Rect{0, 0, 560, 300});
  centerWindow();  // on the dialog that opened it
  zfw::ListView list = listView(IDC_SELECT_CERT_LIST);
  const int third = 520 / 3;
  list.insertColumn(0, zfw::loadString(IDS_CERT_ISSUER), third - 1);
  list.insertColumn(1, zfw::loadString(IDS_CERT_SUBJECT), third);
  list.insertColumn(2, zfw::loadString(IDS_CERT_VALID_BEFORE), third);
  FillList();
  enableItem(IDC_SELECT_CERT_VIEW, false);
  return true;
}

void CSelectCertDlg::FillList() {
  capi::HCERTSTORE store = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, "MY");
  if (store == nullptr) return;
  zfw::ListView list = listView(IDC_SELECT_CERT_LIST);
  for (capi::PCCERT_CONTEXT context = nullptr; (context = capi::CertEnumCertificatesInStore(store, context)) != nullptr;) {
    const std::string issuer = CertIssuerName(context);
    if (issuer.empty()) continue;  // a certificate without a readable issuer name is not listed
    const int row = list.insertItem(list.itemCount(), issuer);
    if (row < 0) continue;
    list.setItemText(row, 1, CertSubjectName(context));
    list.setItemText(row, 2, CertDateText(X509_get0_notAfter(context->info)));
    std::array<uint8_t, 20> hash{};
    uint32_t size = hash.size();
    if (!capi::CertGetCertificateContextProperty(context, capi::CERT_SHA1_HASH_PROP_ID, hash.data(), &size)) hash = {};
    m_rowHashes.push_back(hash);
  }
  capi::CertCloseStore(store, 0);
}

void CSelectCertDlg::OnListClick() {
  enableItem(IDC_SELECT_CERT_VIEW, listView(IDC_SELECT_CERT_LIST).selectedRow() >= 0);
}

void CSelectCertDlg::OnView() {
  const int row = listView(IDC_SELECT_CERT_LIST).selectedRow();
  if (row < 0 || static_cast<size_t>(row) >= m_rowHashes.size()) return;
  uint8_t hash[20];
  std::memcpy(hash, m_rowHashes[static_cast<size_t>(row)].data(), sizeof hash);
  ViewCertificate(*this, listView(IDC_SELECT_CERT_LIST).itemText(row, 0), hash);
}

void CSelectCertDlg::onOK() {
  const int row = listView(IDC_SELECT_CERT_LIST).selectedRow();
  if (row >= 0 && static_cast<size_t>(row) < m_rowHashes.size()) {
    m_name = listView(IDC_SELECT_CERT_LIST).itemText(row, 0);
    std::memcpy(m_hash, m_rowHashes[static_cast<size_t>(row)].data(), sizeof m_hash);
  }
  endDialog(zfw::IDOK);
}

void InstallCertificateDialogs() {
  CEapTlsDlg::s_selectCertificate = [](zfw::Wnd& owner, std::string& name, uint8_t (&hash)[20]) {
    return CSelectCertDlg(name, hash, &owner).doModal() == zfw::IDOK;
  };
  CEapTlsDlg::s_viewCertificate = ViewCertificate;
}
