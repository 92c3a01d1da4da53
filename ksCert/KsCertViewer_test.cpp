#include "ksCert/KsCertViewer.h"

#include <gtest/gtest.h>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using kscert_test::Ref;

// A backend that records its requests and answers a fixed result, unregistered at the end.
class RecordingViewer {
public:
  explicit RecordingViewer(int result) {
    SetCertificateViewerBackend([this, result](const KsCertViewRequest& request) {
      requests.push_back(request);
      return result;
    });
  }
  ~RecordingViewer() { SetCertificateViewerBackend(nullptr); }
  std::vector<KsCertViewRequest> requests;
};

class CertViewer : public ::testing::Test {
protected:
  void SetUp() override {
    dcfCreateInstance<KsCertLib>(root_.Out());
    const ksCertBlob blobs[] = {{end_.der.data(), static_cast<std::uint32_t>(end_.der.size())},
                                {ca_.der.data(), static_cast<std::uint32_t>(ca_.der.size())}};
    ASSERT_EQ(root_->CreateCertArray(blobs, 2, array_.Out()), S_OK);
    ASSERT_EQ(array_->QueryInterface(IID_ksCertArrayView, reinterpret_cast<void**>(view_.Out())), S_OK);
  }

  capi::testing::ScopedCertRoot certRoot_;
  TestCertificate ca_ = MakeCertificate("Viewer CA", {.isCa = true});
  TestCertificate end_ = MakeCertificate("viewed", {.issuer = &ca_});
  Ref<ksCertUtility> root_;
  Ref<ksCertArray> array_;
  Ref<ksCertArrayView> view_;
};

TEST_F(CertViewer, ThreeResultsAndTheNullCertificate) {
  const struct {
    const char* what;
    bool registered;
    int result;
    std::int32_t flag;
  } cases[] = {
      {"no dialog in the library", false, 0, 1},
      {"shown and closed", true, 1, 1},
      {"not shown", true, 0, 0},
      {"backend without dialog", true, -1, 1},
  };
  for (const auto& c : cases) {
    std::unique_ptr<RecordingViewer> viewer;
    if (c.registered) viewer = std::make_unique<RecordingViewer>(c.result);
    std::int32_t flag = 7;
    VARIANT_BOOL viewed = 5;
    EXPECT_EQ(view_->ViewCert(0, &viewed), S_OK) << c.what;
    EXPECT_EQ(viewed, c.flag != 0 ? VARIANT_TRUE : VARIANT_FALSE) << c.what;
    EXPECT_EQ(view_->ViewCert(0, nullptr), S_OK) << c.what;
    EXPECT_EQ(RunCertificateViewer(nullptr, nullptr, &flag), false) << c.what;
    EXPECT_EQ(flag, 0) << c.what;
    if (viewer) {
      EXPECT_EQ(viewer->requests.size(), 2u) << c.what;  // the null certificate asked nothing
    }
  }
  EXPECT_EQ(view_->ViewCert(2, nullptr), S_FALSE);
  EXPECT_EQ(view_->ViewCert(-1, nullptr), S_FALSE);
}

TEST_F(CertViewer, ReturnsTrueOnlyForANormalClose) {
  for (int result : {1, 0, -1, 2}) {
    RecordingViewer viewer(result);
    std::int32_t flag = 7;
    capi::PCCERT_CONTEXT context =
        capi::CertCreateCertificateContext(capi::X509_ASN_ENCODING, end_.der.data(), static_cast<std::uint32_t>(end_.der.size()));
    EXPECT_EQ(RunCertificateViewer(nullptr, context, &flag), result == 1) << result;
    EXPECT_EQ(flag, result != 0 ? 1 : 0) << result;
    EXPECT_EQ(RunCertificateViewer(nullptr, context, nullptr), result == 1) << result;
    capi::CertFreeCertificateContext(context);
  }
}

TEST_F(CertViewer, TheBackendGetsTheFieldTextsOfTheCertificateAndItsChain) {
  RecordingViewer viewer(1);
  VARIANT_BOOL viewed = VARIANT_FALSE;
  ASSERT_EQ(view_->ViewCert(0, &viewed), S_OK);
  ASSERT_EQ(viewer.requests.size(), 1u);
  const KsCertViewRequest& request = viewer.requests[0];
  ASSERT_EQ(request.chain.size(), 2u);  // the issuer from the array's own store
  EXPECT_EQ(request.chain[0].title, u"viewed");
  EXPECT_EQ(request.chain[1].title, u"Viewer CA");
  ASSERT_FALSE(request.chain[0].fields.empty());
  EXPECT_EQ(request.chain[0].fields[0].name, u"Version");
  EXPECT_EQ(request.chain[0].fields[0].text, u"Version 3");
  bool subject = false;
  for (const KsCertViewField& field : request.chain[0].fields) {
    subject = subject || (field.name == u"Subject Name" && field.text == u"CN=viewed");
  }
  EXPECT_TRUE(subject);
}

TEST_F(CertViewer, ChainsShowTheirElements) {
  RecordingViewer viewer(1);
  Ref<ksCertChainEngine> engine;
  kscert_test::Bstr location(u"Current User");
  ASSERT_EQ(root_->CreateCertChainEngine(location, engine.Out()), S_OK);
  Ref<ksCertChainValidation> validation;
  ASSERT_EQ(engine->CreateValidation(validation.Out()), S_OK);
  VARIANT_BOOL accepted = VARIANT_FALSE;
  ASSERT_EQ(validation->SetEndCert(end_.der.data(), static_cast<std::uint32_t>(end_.der.size()), &accepted), S_OK);
  ASSERT_EQ(validation->AddCert(ca_.der.data(), static_cast<std::uint32_t>(ca_.der.size()), &accepted), S_OK);
  Ref<ksCertChain> chain;
  ASSERT_EQ(validation->CreateChain(kCertUsageAny, chain.Out()), S_OK);
  Ref<ksCertChainView> chainView;
  ASSERT_EQ(chain->QueryInterface(IID_ksCertChainView, reinterpret_cast<void**>(chainView.Out())), S_OK);
  VARIANT_BOOL viewed = VARIANT_FALSE;
  EXPECT_EQ(chainView->ViewCert(1, &viewed), S_OK);
  EXPECT_EQ(viewed, VARIANT_TRUE);
  ASSERT_EQ(viewer.requests.size(), 1u);
  EXPECT_EQ(viewer.requests[0].chain[0].title, u"Viewer CA");
  EXPECT_EQ(chainView->ViewCert(2, &viewed), S_FALSE);
}

}  // namespace
