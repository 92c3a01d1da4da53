#include "utility/ui/view_cert_dlg.h"

#include <openssl/x509.h>

#include <string>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/oid_info.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/list_view.h"
#include "utility/ui/cert_fields.h"

namespace {

enum : int {
  IDS_CERT_SUBJECT = 61605,
  IDS_CERT_ISSUER = 61606,
  IDS_CERT_VERSION = 61609,
  IDS_CERT_SERIAL = 61610,
  IDS_CERT_SIGNATURE_ALG = 61611,
  IDS_CERT_NOT_BEFORE = 61612,
  IDS_CERT_NOT_AFTER = 61613,
  IDS_CERT_KEY_ALG = 61614,
  IDS_CERT_PUBLIC_KEY = 61615,
};

std::string WithoutOidPrefix(std::string oid) {
  static const std::string kPrefix = "szOID_";
  for (size_t at; (at = oid.find(kPrefix)) != std::string::npos;) oid.erase(at, kPrefix.size());
  return oid;
}

// The serial number as the certificate store holds it: the DER content bytes (with the sign
// byte a positive number with its top bit set carries), least significant first.
std::string SerialText(const X509* info) {
  const ASN1_INTEGER* serial = X509_get0_serialNumber(info);
  const uint8_t* magnitude = ASN1_STRING_get0_data(serial);
  const int length = ASN1_STRING_length(serial);
  std::string text;
  for (int i = length - 1; i >= 0; --i) text += CertByteText(&magnitude[i], 1);
  if (length > 0 && (magnitude[0] & 0x80) != 0 && ASN1_STRING_type(serial) == V_ASN1_INTEGER) text += "00 ";
  return text;
}

std::string PublicKeyText(const X509* info) {
  const ASN1_BIT_STRING* key = X509_get0_pubkey_bitstr(info);
  return key != nullptr ? CertByteText(ASN1_STRING_get0_data(key), static_cast<size_t>(ASN1_STRING_length(key)))
                        : std::string();
}

std::string PublicKeyAlgorithm(const X509* info) {
  ASN1_OBJECT* algorithm = nullptr;
  X509_PUBKEY* key = X509_get_X509_PUBKEY(info);
  if (key == nullptr || X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, key) != 1) return {};
  return capi::DottedOid(algorithm);
}

std::string SignatureAlgorithm(const X509* info) {
  const X509_ALGOR* algorithm = nullptr;
  X509_get0_signature(nullptr, &algorithm, info);
  const ASN1_OBJECT* oid = nullptr;
  if (algorithm != nullptr) X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
  return WithoutOidPrefix(capi::DottedOid(oid));
}

}  // namespace

CViewCertDlg::CViewCertDlg(capi::PCCERT_CONTEXT context, zfw::Wnd* parent)
    : zfw::Dialog(IDD_VIEW_CERT, parent), m_context(context) {
  setCaption("View Certificate");
}

void CViewCertDlg::buildControls(zfw::ControlBuilder& b) {
  b.list(IDC_VIEW_CERT_LIST, zfw::LVS_EX_GRIDLINES | zfw::LVS_EX_LABELTIP).row();
  b.stretch().button(zfw::IDOK, "OK", true);
}

bool CViewCertDlg::onInitDialog() {
  // Wide enough for a name or a date at a glance; the list scrolls for a long key.
  moveWindow(zfw::Rect{0, 0, 560, 320});
  centerWindow();  // on the dialog that opened it
  zfw::ListView list = listView(IDC_VIEW_CERT_LIST);
  list.setHeaderVisible(false);
  const int width = 540;
  list.insertColumn(0, "", width / 4 - 1);
  list.insertColumn(1, "", width * 3 / 4);
  if (m_context == nullptr || m_context->info == nullptr) return true;
  const X509* info = m_context->info;
  const std::pair<int, std::string> rows[] = {
      {IDS_CERT_VERSION, "V" + std::to_string(X509_get_version(info) + 1)},
      {IDS_CERT_SERIAL, SerialText(info)},
      {IDS_CERT_SIGNATURE_ALG, SignatureAlgorithm(info)},
      {IDS_CERT_ISSUER, CertIssuerName(m_context)},
      {IDS_CERT_NOT_BEFORE, CertDateText(X509_get0_notBefore(info))},
      {IDS_CERT_NOT_AFTER, CertDateText(X509_get0_notAfter(info))},
      {IDS_CERT_SUBJECT, CertSubjectName(m_context)},
      {IDS_CERT_PUBLIC_KEY, PublicKeyText(info)},
      {IDS_CERT_KEY_ALG, PublicKeyAlgorithm(info)},
  };
  for (const auto& [label, value] : rows) {
    const int row = list.insertItem(list.itemCount(), zfw::loadString(label));
    list.setItemText(row, 1, value);
  }
  return true;
}
