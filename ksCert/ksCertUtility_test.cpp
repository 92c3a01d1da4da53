// The interfaces' slot order: callers reach each operation by its position in the table, so
// a reordered declaration would call the wrong operation.
#include "inc/ksCertUtility.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Itanium C++ ABI (GCC and Clang on Linux): a pointer to a virtual member function holds
// 1 + the byte offset of its slot in the table.
template <class Member>
std::ptrdiff_t SlotOf(Member member) {
  struct Representation {
    std::ptrdiff_t pointer;
    std::ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(Member) == sizeof(Representation));
  std::memcpy(&representation, &member, sizeof representation);
  return (representation.pointer - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

#define SLOT(member, slot) {#member, SlotOf(member), slot}

struct Slot {
  const char* name;
  std::ptrdiff_t actual;
  std::ptrdiff_t expected;
};

TEST(CertInterfaceSlots, EveryOperationSitsInItsSlot) {
  using CreateEngine2 = HRESULT (ksCertUtility2::*)(plat::BSTR, ksCertChainEngine2**);
  using CreateEngine2Default = HRESULT (ksCertUtility2::*)(ksCertChainEngine2**);
  const Slot slots[] = {
      SLOT(&IUnknown::QueryInterface, 0),
      SLOT(&IUnknown::AddRef, 1),
      SLOT(&IUnknown::Release, 2),
      SLOT(&ksCertUtility::OpenCertStore, 3),
      SLOT(&ksCertUtility::CreateCertChainEngine, 4),
      SLOT(&ksCertUtility::CreateCertName, 5),
      SLOT(&ksCertUtility::CreateCertArray, 6),
      SLOT(&ksCertUtility2::GetCertFieldCode, 3),
      SLOT(&ksCertUtility2::OpenCertStore, 4),
      SLOT(static_cast<CreateEngine2Default>(&ksCertUtility2::CreateCertChainEngine), 5),
      SLOT(static_cast<CreateEngine2>(&ksCertUtility2::CreateCertChainEngine), 6),
      SLOT(&ksCertUtility2::CreateCertName, 7),
      SLOT(&ksCert::get_Hash, 3),
      SLOT(&ksCert::CheckUsage, 4),
      SLOT(&ksCert::ExportCert, 5),
      SLOT(&ksCert::ExportCertChain, 6),
      SLOT(&ksCert::ApplyTransform, 7),
      SLOT(&ksCert::HasPrivateKey, 8),
      SLOT(&ksCert::GetFieldText, 9),
      SLOT(&ksCert::GetFieldNumber, 10),
      SLOT(&ksCert::Reserved11, 11),
      SLOT(&ksCert::GetEncodedSubject, 12),
      SLOT(&ksCert::GetOwner, 13),
      SLOT(&ksCert::ApplyTransformEx, 14),
      SLOT(&ksCert2::GetFieldText, 3),
      SLOT(&ksCert2::get_Hash, 4),
      SLOT(&ksCert2::get_FriendlyName, 5),
      SLOT(&ksCert2::Reserved6, 6),
      SLOT(&ksCert2::CheckUsage, 7),
      SLOT(&ksCert2::ExportCert, 8),
      SLOT(&ksCert2::ExportCertChain, 9),
      SLOT(&ksCert2::ApplyTransform, 10),
      SLOT(&ksCert2::HasPrivateKey, 11),
      SLOT(&ksCert2::GetEncodedSubject, 12),
      SLOT(&ksCertArray::get_NumCerts, 3),
      SLOT(&ksCertArray::get_Cert, 4),
      SLOT(&ksCertArray::get_CertHash, 5),
      SLOT(&ksCertArray::get_Owner, 6),
      SLOT(&ksCertArrayView::ViewCert, 3),
      SLOT(&ksCertStore::GetCertByHash, 3),
      SLOT(&ksCertStore::AddEncodedCert, 4),
      SLOT(&ksCertStore::CreateEnumeration, 5),
      SLOT(&ksCertStore::get_Owner, 6),
      SLOT(&ksCertStoreHandle::GetStoreHandle, 3),
      SLOT(&ksCertStore2::GetCertByHash, 3),
      SLOT(&ksCertStore2::AddEncodedCert, 4),
      SLOT(&ksCertStore2::CreateEnumeration, 5),
      SLOT(&ksCertStoreEnumeration::get_NumCerts, 3),
      SLOT(&ksCertStoreEnumeration::get_Cert, 4),
      SLOT(&ksCertStoreEnumeration::get_CertHash, 5),
      SLOT(&ksCertName::get_Text, 3),
      SLOT(&ksCertName::put_Text, 4),
      SLOT(&ksCertName::put_Encoded, 5),
      SLOT(&ksCertName::get_Encoded, 6),
      SLOT(&ksCertName::Compare, 7),
      SLOT(&ksCertName::Reserved8, 8),
      SLOT(&ksCertName2::get_Text, 3),
      SLOT(&ksCertName2::put_Text, 4),
      SLOT(&ksCertName2::put_Encoded, 5),
      SLOT(&ksCertName2::get_Encoded, 6),
      SLOT(&ksCertName2::Compare, 7),
      SLOT(&ksCertChain::get_NumCerts, 3),
      SLOT(&ksCertChain::get_Owner, 6),
      SLOT(&ksCertChain::get_Trust, 7),
      SLOT(&ksCertChain::get_CertTrust, 8),
      SLOT(&ksCertChainView::ViewCert, 3),
      SLOT(&ksCertChain2::get_NumCerts, 3),
      SLOT(&ksCertChain2::get_Cert, 4),
      SLOT(&ksCertChain2::get_CertHash, 5),
      SLOT(&ksCertChain2::get_Trust, 6),
      SLOT(&ksCertChain2::get_CertTrust, 7),
      SLOT(&ksCertChainEngine::CreateValidation, 3),
      SLOT(&ksCertChainEngine::get_RootStore, 4),
      SLOT(&ksCertChainEngine::put_RootStore, 5),
      SLOT(&ksCertChainEngine::get_IntermediateStore, 6),
      SLOT(&ksCertChainEngine::put_IntermediateStore, 7),
      SLOT(&ksCertChainEngine::get_Owner, 8),
      SLOT(&ksCertChainEngine::SetRootStore, 9),
      SLOT(&ksCertChainEngine::SetIntermediateStore, 10),
      SLOT(&ksCertChainEngine2::CreateValidation, 3),
      SLOT(&ksCertChainEngine2::get_RootStore, 4),
      SLOT(&ksCertChainEngine2::put_RootStore, 5),
      SLOT(&ksCertChainEngine2::get_IntermediateStore, 6),
      SLOT(&ksCertChainEngine2::put_IntermediateStore, 7),
      SLOT(&ksCertChainEngine3::put_CheckRevocation, 3),
      SLOT(&ksCertChainValidation::SetEndCert, 3),
      SLOT(&ksCertChainValidation::AddCert, 4),
      SLOT(&ksCertChainValidation::CreateChain, 5),
      SLOT(&ksCertChainValidation::get_Owner, 6),
      SLOT(&ksCertChainValidation2::SetEndCert, 3),
      SLOT(&ksCertChainValidation2::AddCert, 4),
      SLOT(&ksCertChainValidation2::CreateChain, 5),
  };
  for (const Slot& slot : slots) EXPECT_EQ(slot.actual, slot.expected) << slot.name;
}

}  // namespace
