// The element readers over driver answers: the association record's two blocks, the
// access point's elements found by BSSID in the extended list, and the WPA/RSN elements
// picked out of a block; offsets and lengths that run outside the bytes give nothing.
#include "hosts/adapterctl/supplicant/association_elements.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zelcon {
namespace {

using Bytes = std::vector<uint8_t>;

void PutWord(Bytes& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// A 40-byte association record with the request and response blocks behind it.
Bytes AssociationRecord(const Bytes& request, const Bytes& response) {
  Bytes record(40);
  PutWord(record, 16, static_cast<uint32_t>(request.size()));
  PutWord(record, 20, 40);
  PutWord(record, 32, static_cast<uint32_t>(response.size()));
  PutWord(record, 36, static_cast<uint32_t>(40 + request.size()));
  record.insert(record.end(), request.begin(), request.end());
  record.insert(record.end(), response.begin(), response.end());
  return record;
}

const Bytes kRsn = {48, 4, 1, 0, 0xAA, 0xBB};
const Bytes kWpa = {221, 6, 0x00, 0x50, 0xF2, 0x01, 1, 0};
const Bytes kOtherVendor = {221, 4, 0x00, 0x50, 0xF2, 0x02};
const Bytes kSsid = {0, 3, 'a', 'b', 'c'};

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(AssociationElements, ReadsBothBlocksOfTheRecord) {
  const Bytes request = kSsid;
  const Bytes response = {1, 1, 0x82};
  const auto parsed = ParseAssociationInformation(AssociationRecord(request, response));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->request, request);
  EXPECT_EQ(parsed->response, response);
}

TEST(AssociationElements, RefusesRecordsWhoseBlocksRunOutside) {
  Bytes record = AssociationRecord(kSsid, {});
  EXPECT_FALSE(ParseAssociationInformation(Bytes(record.begin(), record.begin() + 39)));
  Bytes longRequest = record;
  PutWord(longRequest, 16, 6);  // one byte past the end
  EXPECT_FALSE(ParseAssociationInformation(longRequest));
  Bytes farOffset = record;
  PutWord(farOffset, 36, 0xFFFFFFFF);
  EXPECT_FALSE(ParseAssociationInformation(farOffset));
}

TEST(AssociationElements, PicksTheRsnAndWpaElementsOnly) {
  Bytes block = kSsid;
  for (const Bytes* e : {&kOtherVendor, &kRsn, &kWpa}) block.insert(block.end(), e->begin(), e->end());
  Bytes expected = kRsn;
  expected.insert(expected.end(), kWpa.begin(), kWpa.end());
  EXPECT_EQ(SecurityElements(block), expected);
  block.insert(block.end(), {48, 9, 1});  // runs past the end: left out
  EXPECT_EQ(SecurityElements(block), expected);
}

// One extended-list entry: the 116-byte head, 12 fixed beacon bytes, then the elements.
Bytes ListEntry(uint8_t lastAddressByte, const Bytes& elements) {
  Bytes entry(116 + 12);
  entry[4 + 5] = lastAddressByte;
  entry.insert(entry.end(), elements.begin(), elements.end());
  PutWord(entry, 112, static_cast<uint32_t>(12 + elements.size()));
  entry.resize((entry.size() + 3) & ~size_t{3});
  PutWord(entry, 0, static_cast<uint32_t>(entry.size()));
  return entry;
}

TEST(AssociationElements, FindsTheAccessPointsElementsByBssid) {
  Bytes list(4);
  PutWord(list, 0, 2);
  for (const Bytes& entry : {ListEntry(1, kSsid), ListEntry(3, kRsn)}) list.insert(list.end(), entry.begin(), entry.end());
  const uint8_t wanted[6] = {0, 0, 0, 0, 0, 3};
  EXPECT_EQ(BeaconElements(list, wanted), kRsn);
  const uint8_t absent[6] = {0, 0, 0, 0, 0, 9};
  EXPECT_FALSE(BeaconElements(list, absent));
  Bytes lying = list;
  PutWord(lying, 4, 4000);  // the first entry claims more than the list holds
  EXPECT_FALSE(BeaconElements(lying, wanted));
}

// An infrastructure entry of the network `ssid` (the head's SSID record and mode set).
Bytes NetworkEntry(uint8_t lastAddressByte, const std::string& ssid, const Bytes& elements, uint32_t mode = 1) {
  Bytes entry = ListEntry(lastAddressByte, elements);
  PutWord(entry, 12, static_cast<uint32_t>(ssid.size()));
  std::memcpy(entry.data() + 16, ssid.data(), ssid.size());
  PutWord(entry, 92, mode);
  return entry;
}

// The PMKID candidates: the network's infrastructure access points with an RSN element, not
// a WPA-only one, another network's or an IBSS; a lying entry ends the walk.
TEST(AssociationElements, PicksTheNetworksRsnAccessPointsAsCandidates) {
  Bytes list(4);
  PutWord(list, 0, 6);
  for (const Bytes& entry : {NetworkEntry(1, "corp", kRsn), NetworkEntry(2, "corp", kWpa), NetworkEntry(3, "guest", kRsn),
                             NetworkEntry(4, "corp", kRsn, 0), NetworkEntry(5, "corp", kSsid + kWpa + kRsn),
                             NetworkEntry(6, "cor", kRsn)})
    list.insert(list.end(), entry.begin(), entry.end());
  const std::string corp = "corp";
  const std::span<const uint8_t> ssid(reinterpret_cast<const uint8_t*>(corp.data()), corp.size());
  const auto found = RsnAccessPoints(list, ssid);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0][5], 1);
  EXPECT_EQ(found[1][5], 5);
  Bytes lying = list;
  PutWord(lying, 4 + 112, 4000);  // the first entry's elements run past it
  EXPECT_TRUE(RsnAccessPoints(lying, ssid).empty());
}

}  // namespace
}  // namespace zelcon
