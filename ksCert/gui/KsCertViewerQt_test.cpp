#include "ksCert/gui/KsCertViewerQt.h"

#include <gtest/gtest.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/gui/cert_view_dialog.h"
#include "platform/gui/list_view.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"

namespace {

using kscert_test::Ref;

TEST(CertViewerQt, AnArrayShowsItsCertificateInTheDialog) {
  zfw::testing::FakePlatform fake;
  zfw::testing::ModalHooks hooks;
  capi::testing::ScopedCertRoot certRoot;
  InstallQtCertificateViewer();
  const auto ca = capi::testing::MakeCertificate("Dialog CA", {.isCa = true});
  const auto end = capi::testing::MakeCertificate("dialog.example.com", {.issuer = &ca, .rsa = true});
  Ref<ksCertUtility> root;
  dcfCreateInstance<KsCertLib>(root.Out());
  const ksCertBlob blobs[] = {{end.der.data(), static_cast<std::uint32_t>(end.der.size())},
                              {ca.der.data(), static_cast<std::uint32_t>(ca.der.size())}};
  Ref<ksCertArray> array;
  ASSERT_EQ(root->CreateCertArray(blobs, 2, array.Out()), S_OK);
  Ref<ksCertArrayView> view;
  ASSERT_EQ(array->QueryInterface(IID_ksCertArrayView, reinterpret_cast<void**>(view.Out())), S_OK);

  hooks.expect<zfw::CertificateViewDialog>(zfw::CertificateViewDialog::kTemplateId, [](zfw::CertificateViewDialog& d) {
    EXPECT_EQ(d.comboBox(zfw::CertificateViewDialog::kChainCombo).count(), 2);
    zfw::ListView fields = d.listView(zfw::CertificateViewDialog::kFieldList);
    bool subject = false;
    for (int row = 0; row < fields.itemCount(); ++row) {
      subject = subject || (fields.itemText(row, 0) == "Subject Name" && fields.itemText(row, 1) == "CN=dialog.example.com");
    }
    EXPECT_TRUE(subject);
    EXPECT_NE(zfw::testing::saveScreenshot(d, "kscert_certificate_view"), "");
    zfw::testing::click(d, zfw::IDOK);
  });
  VARIANT_BOOL viewed = VARIANT_FALSE;
  EXPECT_EQ(view->ViewCert(0, &viewed), S_OK);
  EXPECT_EQ(viewed, VARIANT_TRUE);
  SetCertificateViewerBackend(nullptr);
}

}  // namespace
