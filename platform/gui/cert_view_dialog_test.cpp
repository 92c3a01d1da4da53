#include "platform/gui/cert_view_dialog.h"

#include <gtest/gtest.h>

#include "platform/gui/combo_box.h"
#include "platform/gui/list_view.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"

namespace zfw {
namespace {

using testing::FakePlatform;
using testing::ModalHooks;

std::vector<CertificateDetails> Chain() {
  return {
      {"server.example.com",
       {{"Version", "Version 3"},
        {"Serial Number", "0102 0304"},
        {"Issuer", "CN=Example Issuing CA, O=Example"},
        {"Subject Name", "CN=server.example.com, O=Example"},
        {"Not After", "Wednesday, March 6, 2002, 3:04:05 PM"},
        {"Subject Alternate Name", "server.example.com, 192.0.2.7"}}},
      {"Example Issuing CA", {{"Version", "Version 3"}, {"Subject Name", "CN=Example Issuing CA, O=Example"}}},
  };
}

TEST(CertificateViewDialog, ShowsTheChainAndTheFieldsOfTheChosenCertificate) {
  FakePlatform fake;
  ModalHooks hooks;
  hooks.expect<CertificateViewDialog>(CertificateViewDialog::kTemplateId, [](CertificateViewDialog& d) {
    EXPECT_EQ(d.windowText(), "Certificate");
    ComboBox path = d.comboBox(CertificateViewDialog::kChainCombo);
    ASSERT_EQ(path.count(), 2);
    EXPECT_EQ(path.lbText(0), "server.example.com");
    EXPECT_EQ(path.curSel(), 0);
    ListView fields = d.listView(CertificateViewDialog::kFieldList);
    ASSERT_EQ(fields.itemCount(), 6);
    EXPECT_EQ(fields.itemText(2, 0), "Issuer");
    EXPECT_EQ(fields.itemText(2, 1), "CN=Example Issuing CA, O=Example");
    EXPECT_NE(testing::saveScreenshot(d, "zfw_certificate_view"), "");
    ASSERT_TRUE(testing::chooseComboItem(d, CertificateViewDialog::kChainCombo, 1));
    EXPECT_EQ(fields.itemCount(), 2);
    EXPECT_EQ(fields.itemText(1, 1), "CN=Example Issuing CA, O=Example");
    ASSERT_TRUE(testing::click(d, IDOK));
  });
  EXPECT_EQ(runCertificateViewDialog(Chain()), 1);
  hooks.expect<CertificateViewDialog>(CertificateViewDialog::kTemplateId,
                                      [](CertificateViewDialog& d) { testing::pressEscape(d); });
  EXPECT_EQ(runCertificateViewDialog(Chain()), 1);  // closing it any way is a normal close
  EXPECT_EQ(runCertificateViewDialog({}), 0);       // nothing to show
}

}  // namespace
}  // namespace zfw
