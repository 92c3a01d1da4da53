#include "ksLib_OSSL/tls_config.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Suites keep their order of preference; the list grows 1, 2, 4, ... 32; ids above 0xFFFF
// keep their low 16 bits; ids no TLS engine of ours offers are kept all the same.
TEST(TlsConfig, KeepsEverySuiteInOrder) {
  TlsConfig* config = nullptr;
  ASSERT_EQ(TlsConfig::Create(&config), 0);
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->CipherSuites().Length(), 0u);

  std::vector<std::uint16_t> expected;
  for (std::uint32_t i = 0; i < 19; ++i) {
    EXPECT_EQ(config->AddCipherSuite(0x60 + i), 0);  // 0x60..0x66: export suites
    expected.push_back(static_cast<std::uint16_t>(0x60 + i));
  }
  EXPECT_EQ(config->AddCipherSuite(0x12002F), 0);
  expected.push_back(0x002F);
  EXPECT_EQ(config->SetDhExponentBits(256), 0);
  EXPECT_EQ(config->Finalize(), 0);

  const auto& suites = config->CipherSuites();
  EXPECT_EQ(std::vector<std::uint16_t>(suites.begin(), suites.end()), expected);
  EXPECT_EQ(suites.Capacity(), 32u);
  EXPECT_EQ(config->DhExponentBits(), 256u);
  EXPECT_EQ(config->Release(), 0u);
}

}  // namespace
