#include "utility/core/auto_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zelcon {
namespace {

struct Ap {
  std::string ssid;
  int32_t rssi;
  std::vector<uint8_t> vendor;  // the first 8 bytes of the vendor element
  uint32_t infrastructure = 1;
};

std::vector<uint8_t> Offer(uint8_t flags) { return {221, 9, 0x02, 0x5A, 0x9C, 0, 0, flags}; }

std::vector<uint8_t> ScanList(const std::vector<Ap>& aps) {
  std::vector<uint8_t> b(4, 0);
  const uint32_t count = static_cast<uint32_t>(aps.size());
  std::memcpy(b.data(), &count, 4);
  for (const Ap& ap : aps) {
    SCAN_LIST_ENTRY e{};
    e.Length = sizeof e;
    e.SsidLength = static_cast<uint32_t>(ap.ssid.size());
    std::memcpy(e.Ssid, ap.ssid.data(), std::min<size_t>(ap.ssid.size(), 32));
    e.Rssi = ap.rssi;
    e.InfrastructureMode = ap.infrastructure;
    if (!ap.vendor.empty()) std::memcpy(e.Vendor, ap.vendor.data(), std::min<size_t>(ap.vendor.size(), 8));
    const auto* p = reinterpret_cast<const uint8_t*>(&e);
    b.insert(b.end(), p, p + sizeof e);
  }
  return b;
}

TEST(AutoLink, TheVendorElementGivesTheClass) {
  struct Case {
    const char* what;
    std::vector<uint8_t> vendor;
    std::optional<int> apClass;
  };
  const Case cases[] = {
      {"not configured", Offer(0x01), 0},
      {"not configured wins over configured", Offer(0x03), 0},
      {"configured by Auto Link", Offer(0x02), 1},
      {"class 2", Offer(0x04), 2},
      {"no class bit", Offer(0x08), std::nullopt},
      {"other element id", {48, 9, 0x02, 0x5A, 0x9C, 0, 0, 1}, std::nullopt},
      {"other OUI", {221, 9, 0x00, 0x50, 0xF2, 0, 0, 1}, std::nullopt},
      {"type 1", {221, 9, 0x02, 0x5A, 0x9C, 1, 0, 1}, std::nullopt},
      {"subtype 1", {221, 9, 0x02, 0x5A, 0x9C, 0, 1, 1}, std::nullopt},
      {"no element", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SCAN_LIST_ENTRY e{};
    if (!c.vendor.empty()) std::memcpy(e.Vendor, c.vendor.data(), c.vendor.size());
    EXPECT_EQ(AutoLinkClass(e), c.apClass);
  }
}

TEST(AutoLink, OffersAccessPointsStrongestFirstInScanOrderAmongEquals) {
  ProfileList profiles;
  PROFILE_ENTRY covering{};
  SetFieldText(covering.ssid, "Lab-5G");  // begins with "Lab": covers a class-1 "Lab"
  covering.networkType = 1;
  profiles.Append(covering);
  const std::vector<uint8_t> list = ScanList({
      {"First", -66, Offer(0x01)},
      {"Plain", -40, {}},                      // offers nothing
      {"Lab", -50, Offer(0x02)},               // class 1 with a profile: left out
      {"Hall", -60, Offer(0x02)},              // class 1 without one
      {"Second", -66, Offer(0x04)},            // same signal as First: after it
      {"Peer", -30, Offer(0x01), 0},           // ad hoc: no access point
      {"Faint", -120, Offer(0x01)},            // below -96 dBm: no signal
      {"Loud", -20, Offer(0x01)},              // above the scale
      {"Top", INT32_MAX, Offer(0x01)},         // whatever the adapter reports: no overflow
      {"Bottom", INT32_MIN, Offer(0x01)},
      {std::string(33, 'x'), -20, Offer(0x01)},  // SSID too long
  });
  const std::vector<AutoLinkAccessPoint> found = FindAutoLinkAccessPoints(list, profiles);
  std::vector<std::string> names;
  for (const AutoLinkAccessPoint& ap : found) names.push_back(ap.ssid + ":" + std::to_string(ap.signal));
  EXPECT_EQ(names, (std::vector<std::string>{"Loud:40", "Top:40", "Hall:36", "First:30", "Second:30",
                                             "Faint:0", "Bottom:0"}));
  EXPECT_EQ(found[2].apClass, 1);
  EXPECT_EQ(found[4].apClass, 2);
  EXPECT_EQ(found[4].flags, 0x04);
}

TEST(AutoLink, TheComboTextCarriesTheSignalAndGivesBackTheSsid) {
  EXPECT_EQ(AutoLinkComboText({"Office", 30, 0, 1}), "Office (Rssi=75%)");
  EXPECT_EQ(SsidOfAutoLinkComboText("Lab (Rssi=50%)"), "Lab");
  EXPECT_EQ(SsidOfAutoLinkComboText("A (Rssi=1) (Rssi=50%)"), "A (Rssi=1)");
  EXPECT_EQ(SsidOfAutoLinkComboText("Bare"), "Bare");
}

TEST(AutoLink, TheFinalProfileIsWpaPskWithThePinAsPassphrase) {
  PROFILE_ENTRY p = FinalAutoLinkProfile("Office", "12345678");
  EXPECT_EQ(FieldText(p.name), "Office");
  EXPECT_EQ(FieldText(p.ssid), "Office");
  EXPECT_EQ(p.authMode, static_cast<uint32_t>(kAuthWpaPsk));
  EXPECT_EQ(p.encryption, 2u);
  EXPECT_EQ(p.prefer, 1u);
  EXPECT_EQ(p.networkType, 1u);
  EXPECT_EQ(p.wlanMode, 0u);
  EXPECT_EQ(p.wpa.passphraseLength, 8u);
  EXPECT_EQ(std::memcmp(p.wpa.passphrase, "12345678", 8), 0);
  PROFILE_ENTRY open = OpenAutoLinkProfile("Office");
  EXPECT_EQ(open.authMode, 0u);
  EXPECT_EQ(open.encryption, 0u);
  EXPECT_EQ(open.wlanMode, 255u);
}

TEST(AutoLink, PinLengthsAreThoseOfAPassphrase) {
  EXPECT_FALSE(IsAutoLinkPinLength(7));
  EXPECT_TRUE(IsAutoLinkPinLength(8));
  EXPECT_TRUE(IsAutoLinkPinLength(64));
  EXPECT_FALSE(IsAutoLinkPinLength(65));
}

TEST(AutoLink, TheAdapterAddressIsReadAsADottedQuadOrNothing) {
  struct Case {
    const char* text;
    std::vector<uint8_t> octets;
  };
  const Case cases[] = {
      {"10.0.0.5", {10, 0, 0, 5}},
      {"192.168.200.254", {192, 168, 200, 254}},
      {"0.0.0.0", {0, 0, 0, 0}},
      {"256.1.1.1", {0, 0, 0, 0}},
      {"10.0.0", {0, 0, 0, 0}},
      {"10.0.0.5.6", {0, 0, 0, 0}},
      {"10.0.x.5", {0, 0, 0, 0}},
      {"", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AdapterAddress a = ParseAdapterAddress(false, c.text);
    EXPECT_EQ(std::vector<uint8_t>(a.ipv4, a.ipv4 + 4), c.octets);
  }
}

TEST(AutoLink, TheExchangeRecordsCarryFlagsPinAndAddress) {
  const HLVN_SWIFTBOND_SEC_INFO sec =
      MakeSwiftBondSecurity(0x05, "12345678", ParseAdapterAddress(true, "10.0.0.5"));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&sec);
  EXPECT_EQ(bytes[0], 168);
  EXPECT_EQ(bytes[1], 0x05);
  EXPECT_EQ(std::memcmp(bytes + 2, "12345678", 8), 0);
  EXPECT_EQ(bytes[10], 0);  // zero-padded
  EXPECT_EQ(bytes[162] | bytes[163] << 8, 2);  // DHCP
  EXPECT_EQ(std::vector<uint8_t>(bytes + 164, bytes + 168), (std::vector<uint8_t>{10, 0, 0, 5}));
  EXPECT_EQ(MakeSwiftBondSecurity(1, "", {}).SecurityWord, 1);
  // The block is the same constant in every record.
  EXPECT_EQ(std::memcmp(sec.SecurityBlock, MakeSwiftBondSecurity(1, "", {}).SecurityBlock, 128), 0);

  const HLVN_SWIFTBOND_SETUP_REQ setup = MakeSwiftBondSetup(0x05);
  const auto* s = reinterpret_cast<const uint8_t*>(&setup);
  EXPECT_EQ(std::vector<uint8_t>(s, s + 8), (std::vector<uint8_t>{8, 5, 1, 0, 1, 0, 0, 0}));

  HLVN_SWIFTBOND_AP_INFO info{};
  info.SsidLength = 6;
  std::memcpy(info.Ssid, "Office", 6);
  EXPECT_EQ(SwiftBondApSsid(info), "Office");
  info.SsidLength = 33;
  EXPECT_EQ(SwiftBondApSsid(info), std::nullopt);
}

}  // namespace
}  // namespace zelcon
