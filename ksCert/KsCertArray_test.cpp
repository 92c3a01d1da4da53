#include "ksCert/KsCertArray.h"

#include <dcf/sha1.h>
#include <gtest/gtest.h>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using kscert_test::HandledExceptions;
using kscert_test::Ref;

class CertArray : public ::testing::Test {
protected:
  void SetUp() override {
    dcfCreateInstance<KsCertLib>(root_.Out());
    const ksCertBlob blobs[] = {{alice_.der.data(), static_cast<std::uint32_t>(alice_.der.size())},
                                {alice_.der.data(), static_cast<std::uint32_t>(alice_.der.size())}};
    ASSERT_EQ(root_->CreateCertArray(blobs, 2, array_.Out()), S_OK);
  }

  capi::testing::TestCertificate alice_ = capi::testing::MakeCertificate("alice");
  Ref<ksCertUtility> root_;
  Ref<ksCertArray> array_;
};

TEST_F(CertArray, IndexOutsideIsCaughtAndLeavesTheOutPointer) {
  std::int32_t count = 0;
  ASSERT_EQ(array_->get_NumCerts(&count), S_OK);
  EXPECT_EQ(count, 2);  // the same certificate twice gives two items
  for (std::int32_t index : {-1, 2}) {
    HandledExceptions handled;
    ksCert* untouched = reinterpret_cast<ksCert*>(0x1);
    EXPECT_EQ(array_->get_Cert(index, &untouched), S_FALSE);
    EXPECT_EQ(untouched, reinterpret_cast<ksCert*>(0x1));
    ASSERT_EQ(handled.All().size(), 1u);
    const dcfException& e = handled.All()[0];
    EXPECT_STREQ(e.TypeName(), "dcfRangeException");
    EXPECT_STREQ(e.Frame(0).message, "out-of-bounds access against KsCertArray");
    EXPECT_STREQ(e.Frame(1).message, "Exception Handled");
    EXPECT_STREQ(e.Frame(1).file, "KsCertArray");
  }
  EXPECT_EQ(array_->get_Cert(0, nullptr), E_POINTER);
}

TEST_F(CertArray, HashOfAnItemFollowsTheCertificatesRules) {
  std::vector<std::uint8_t> hash(20);
  std::uint32_t length = 0;
  ASSERT_EQ(array_->get_CertHash(1, hash.data(), 20, &length), S_OK);
  std::vector<std::uint8_t> expected(20);
  Sha1Digest(expected.data(), alice_.der.data(), alice_.der.size());
  EXPECT_EQ(hash, expected);
  std::vector<std::uint8_t> shortBuffer(19, 0xEE);
  EXPECT_EQ(array_->get_CertHash(0, shortBuffer.data(), 19, &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(shortBuffer, std::vector<std::uint8_t>(19, 0));
  length = 7;
  EXPECT_EQ(array_->get_CertHash(5, hash.data(), 20, &length), S_FALSE);
  EXPECT_EQ(length, 7u);
}

TEST_F(CertArray, CertificatesAndTheArrayMayGoInEitherOrder) {
  Ref<ksCert> first;
  ASSERT_EQ(array_->get_Cert(0, first.Out()), S_OK);
  Ref<IUnknown> owner;
  ASSERT_EQ(array_->get_Owner(owner.Out()), S_OK);
  EXPECT_EQ(owner.Get(), static_cast<IUnknown*>(root_.Get()));
  array_.Reset();  // the certificate keeps its store and context (ASan watches)
  std::vector<std::uint8_t> der(alice_.der.size());
  std::uint32_t length = 0;
  EXPECT_EQ(first->ExportCert(kCertExportDer, nullptr, 0, der.data(), static_cast<std::uint32_t>(der.size()), &length), S_OK);
  EXPECT_EQ(der, alice_.der);
  // A reference zero-fills the buffer when it refuses an encoding.
  std::vector<std::uint8_t> subject(16, 0xEE);
  EXPECT_EQ(first->GetEncodedSubject(6, subject.data(), 16, &length), S_FALSE);
  EXPECT_EQ(subject, std::vector<std::uint8_t>(16, 0));
}

}  // namespace
