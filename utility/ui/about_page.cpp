#include "utility/ui/about_page.h"

#include <cstdio>
#include <optional>

#include "platform/gui/control_builder.h"
#include "platform/gui/desktop/version_info.h"
#include "platform/gui/platform.h"
#include "utility/ui/link_snapshot.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kFirmware = 1001;
constexpr int kHardware = 1009;
constexpr int kMacAddress = 1048;
constexpr int kDriver = 1068;
constexpr int kUtilityVersion = 1073;
constexpr int kLibraryVersion = 1074;
constexpr int kRegion = 1076;
constexpr int kRegionLabel = 1132;

std::string Printf(const char* format, auto... values) {
  char text[64];
  std::snprintf(text, sizeof(text), format, values...);
  return text;
}

// "a.b.c.d (m-d-y)": the product version with the program file's date.
std::string VersionLine(const std::optional<zfw::ProductVersion>& version,
                        const std::optional<zfw::FileDate>& date) {
  if (!version) return "";
  const zfw::ProductVersion& v = *version;
  std::string line = Printf("%d.%d.%d.%d (", v[0], v[1], v[2], v[3]);
  if (date) line += Printf("%d-%d-%d", date->month, date->day, date->year);
  return line + ")";
}

}  // namespace

std::string CAboutPage::RegionName(uint32_t regionCode) {
  switch (regionCode) {
    case 0x20: return "IC (Canada)";
    case 0x30: return "ETSI (Europe)";
    case 0x31: return "Spain";
    case 0x32: return "France";
    case 0x40: return "MKK (Japan)";
    default: return "FCC (United States)";
  }
}

void CAboutPage::buildControls(zfw::ControlBuilder& b) {
  const std::pair<const char*, int> fields[] = {
      {"Configuration Utility Version:", kUtilityVersion},
      {"Configuration DLL Version:", kLibraryVersion},
      {"Hardware Version:", kHardware},
      {"Firmware Version:", kFirmware},
      {"NDIS Driver Version:", kDriver},
      {"MAC Address:", kMacAddress}};
  for (const auto& [label, id] : fields) b.text(0, label).edit(id, 0, zfw::ES_READONLY).row();
  b.text(kRegionLabel, "").edit(kRegion, 0, zfw::ES_READONLY).row();
  b.stretch();
}

bool CAboutPage::onSetActive() {
  zfw::IVersionInfo* info = zfw::hasPlatform() ? zfw::platform().versionInfo : nullptr;
  if (info) {
    const std::optional<zfw::FileDate> date = info->programDate();
    setItemText(kUtilityVersion, VersionLine(info->programVersion(), date));
    setItemText(kLibraryVersion, VersionLine(info->libraryVersion(), date));
  }
  for (int id : {kHardware, kFirmware, kDriver, kMacAddress, kRegion}) setItemText(id, "");
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (adapter) {
    IAdapterControl& lib = m_sheet->Library();
    uint32_t value = 0;
    if (lib.QueryChipVersion(adapter, value) == 0) setItemText(kHardware, Printf("%u.0", value));
    if (lib.QueryFirmwareVersion(adapter, value) == 0) {
      setItemText(kFirmware, Printf("%u.%u.%u.%u", value >> 24, (value >> 16) & 0xFF,
                                    (value >> 8) & 0xFF, value & 0xFF));
    }
    char text[100] = {};
    if (lib.QueryDriverVersion(adapter, text, sizeof(text)) == 0) {
      text[sizeof(text) - 1] = '\0';
      std::string driver = text;
      char date[100] = {};
      if (lib.QueryDriverDate(adapter, date, sizeof(date)) == 0) {
        date[sizeof(date) - 1] = '\0';
        driver += std::string(" (") + date + ")";
      }
      setItemText(kDriver, driver);
    }
    uint8_t mac[6] = {};
    if (lib.GetMacAddress(adapter, mac, sizeof(mac)) == 0) {
      setItemText(kMacAddress, Printf("%02X %02X %02X %02X %02X %02X", mac[0], mac[1], mac[2],
                                      mac[3], mac[4], mac[5]));
    }
    setItemText(kRegionLabel, "Region Code:");
    setItemText(kRegion, RegionName(LinkSnapshot(*m_sheet).regionCode));
  }
  return CZelconPage::onSetActive();
}
