#include "platform/cryptoapi/chain_engine.h"

#include <gtest/gtest.h>

#include "platform/cryptoapi/cert_store.h"

namespace capi {
namespace {

TEST(CapiChainEngine, MadeEnginesHoldTheirStoresAndDefaultsAreNeverFreed) {
  HCERTSTORE root = CertOpenMemoryStore();
  HCERTSTORE other = CertOpenMemoryStore();
  CertChainEngineConfig config;
  config.restrictedRoot = root;
  config.restrictedOther = other;
  config.flags = 0x80000015;
  HCERTCHAINENGINE engine = nullptr;
  ASSERT_TRUE(CertCreateCertificateChainEngine(config, &engine));
  EXPECT_FALSE(CertIsDefaultChainEngine(engine));
  // The engine keeps the stores open after their openers close them (ASan checks the rest).
  CertCloseStore(root, 0);
  CertCloseStore(other, 0);
  CertFreeCertificateChainEngine(engine);

  HCERTCHAINENGINE user = CertDefaultChainEngine(StoreLocation::CurrentUser);
  HCERTCHAINENGINE machine = CertDefaultChainEngine(StoreLocation::LocalMachine);
  EXPECT_NE(user, machine);
  EXPECT_TRUE(CertIsDefaultChainEngine(user));
  EXPECT_TRUE(CertIsDefaultChainEngine(machine));
  CertFreeCertificateChainEngine(user);
  EXPECT_EQ(CertDefaultChainEngine(StoreLocation::CurrentUser), user);
  EXPECT_FALSE(CertCreateCertificateChainEngine(config, nullptr));
}

}  // namespace
}  // namespace capi
