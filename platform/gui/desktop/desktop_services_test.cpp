// The desktop services' own logic; where a service needs a real desktop (tray, X11 key
// grabs), the offscreen failure path.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

#include "platform/gui/desktop/device_node_watcher.h"
#include "platform/gui/desktop/device_watcher.h"
#include "platform/gui/desktop/file_dialog.h"
#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/desktop/ip_helper.h"
#include "platform/gui/desktop/os_info.h"
#include "platform/gui/desktop/service_control.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/desktop/version_info.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"

// What the adapter-control library exports for the version page; here the test's own.
extern "C" [[gnu::visibility("default"), gnu::used]] const char zfwTestLibraryVersion[] = "2.1.0.7";

namespace zfw {
namespace {

using testing::FakePlatform;

TEST(OsInfo, EachEmulationSettingNamesItsVersion) {
  using F = OsVersion::Family;
  const struct {
    const char* setting;
    bool present;
    F family;
    uint32_t major, minor;
    bool known;
  } cases[] = {
      {"", true, F::WinNT, 5, 0, true},      {"xp", true, F::WinNT, 5, 1, true},
      {"2000", true, F::WinNT, 5, 0, true},  {"2003", true, F::WinNT, 5, 2, true},
      {"nt4", true, F::WinNT, 4, 0, true},   {"9x", true, F::Win9x, 4, 10, true},
      {"unsupported", true, F::WinNT, 6, 0, true}, {"fail", false, F::WinNT, 0, 0, true},
      {"XP", true, F::WinNT, 5, 0, false},   {"vista", true, F::WinNT, 5, 0, false},
  };
  for (const auto& c : cases) {
    bool known = !c.known;
    const std::optional<OsVersion> v = OsInfo::emulated(c.setting, &known);
    EXPECT_EQ(known, c.known) << c.setting;
    ASSERT_EQ(v.has_value(), c.present) << c.setting;
    if (!v) continue;
    EXPECT_EQ(v->family, c.family) << c.setting;
    EXPECT_EQ(v->major, c.major) << c.setting;
    EXPECT_EQ(v->minor, c.minor) << c.setting;
  }
}

TEST(ServiceControl, AStopTakesItsQueriesAndAStartFollows) {
  SimulatedServiceControl scm;
  EXPECT_FALSE(scm.open("WZCSVC"));
  scm.add("WZCSVC", SERVICE_RUNNING, 3);
  ASSERT_TRUE(scm.open("WZCSVC"));
  uint32_t state = 0;
  ASSERT_TRUE(scm.stop("WZCSVC"));
  for (uint32_t expected : {SERVICE_STOP_PENDING, SERVICE_STOP_PENDING, SERVICE_STOPPED, SERVICE_STOPPED}) {
    ASSERT_TRUE(scm.queryStatus("WZCSVC", state));
    EXPECT_EQ(state, expected);
  }
  EXPECT_FALSE(scm.stop("WZCSVC"));  // not running
  EXPECT_TRUE(scm.start("WZCSVC"));
  EXPECT_FALSE(scm.start("WZCSVC"));  // already running
  EXPECT_EQ(scm.find("WZCSVC")->stops, 2);
  EXPECT_EQ(scm.find("WZCSVC")->starts, 2);
}

TEST(ServiceControl, TheFileKeepsTheStateAcrossProcesses) {
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/services";
  std::ofstream(file) << "# services\nWZCSVC running 2\nbroken line\nOther stopped 1 extra\n";
  {
    SimulatedServiceControl scm(file);
    EXPECT_TRUE(scm.open("WZCSVC"));
    EXPECT_FALSE(scm.open("Other"));  // a line that cannot be read is skipped
    uint32_t state = 0;
    ASSERT_TRUE(scm.stop("WZCSVC"));
    scm.queryStatus("WZCSVC", state);
    scm.queryStatus("WZCSVC", state);
    EXPECT_EQ(state, SERVICE_STOPPED);
  }
  SimulatedServiceControl again(file);
  uint32_t state = 0;
  ASSERT_TRUE(again.queryStatus("WZCSVC", state));
  EXPECT_EQ(state, SERVICE_STOPPED);
  std::string problems;
  SimulatedServiceControl::parse("A running 0\nB sleeping\n", &problems);
  EXPECT_EQ(problems,
            "line 1: expected <name> <running|stopped> [<queries>]\n"
            "line 2: expected <name> <running|stopped> [<queries>]\n");
}

TEST(IpHelper, DefaultGatewaysComeFromTheRouteTable) {
  const std::string table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "wlan0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0Z01A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
      "short\n";
  const auto gateways = LinuxIpHelper::defaultGateways(table);
  ASSERT_EQ(gateways.size(), 1u);
  EXPECT_EQ(gateways[0].first, "wlan0");
  EXPECT_EQ(gateways[0].second, "192.168.1.1");
}

TEST(IpHelper, TheLoopbackIsNoAdapterAndRowsHaveTheirType) {
  LinuxIpHelper helper;
  for (const IpAdapterInfo& a : helper.adapters()) {
    EXPECT_NE(a.name, "lo");
    const std::optional<IfRow> row = helper.ifEntry(a.index);
    ASSERT_TRUE(row.has_value()) << a.name;
    EXPECT_EQ(row->physAddress, a.address) << a.name;
  }
  EXPECT_FALSE(helper.ifEntry(0xFFFFFFF0u).has_value());
}

TEST(VersionInfo, VersionsParseStrictly) {
  const struct {
    const char* text;
    bool valid;
    ProductVersion v;
  } cases[] = {{"1.2.3.4", true, {1, 2, 3, 4}}, {"1.0.0", true, {1, 0, 0, 0}}, {"65535", true, {65535, 0, 0, 0}},
               {"65536", false, {}},            {"1..2", false, {}},          {"1.2.3.4.5", false, {}},
               {"1.2.", false, {}},             {"", false, {}},              {"a.b", false, {}}};
  for (const auto& c : cases) {
    const auto v = LinuxVersionInfo::parse(c.text);
    ASSERT_EQ(v.has_value(), c.valid) << c.text;
    if (v) {
      EXPECT_EQ(*v, c.v) << c.text;
    }
  }
}

TEST(VersionInfo, ProgramLibraryAndDate) {
  LinuxVersionInfo info("zfwTestLibraryVersion");
  EXPECT_EQ(info.programVersion(), (ProductVersion{1, 0, 0, 0}));
  EXPECT_EQ(info.libraryVersion(), (ProductVersion{2, 1, 0, 7}));
  EXPECT_FALSE(LinuxVersionInfo("noSuchVersionSymbol").libraryVersion().has_value());
  const std::optional<FileDate> date = info.programDate();
  ASSERT_TRUE(date.has_value());
  EXPECT_GE(date->year, 2020);
  EXPECT_GE(date->month, 1);
  EXPECT_LE(date->month, 12);
}

TEST(FileDialog, FiltersExtensionsAndReadOnlyTargets) {
  EXPECT_EQ(QtFileDialog::nameFilters("cfg Files (*.cfg)|*.cfg||"), std::vector<std::string>{"cfg Files (*.cfg)"});
  EXPECT_EQ(QtFileDialog::nameFilters("Profiles|*.cfg;*.bak|All|*.*||"),
            (std::vector<std::string>{"Profiles (*.cfg *.bak)", "All (*.*)"}));
  EXPECT_EQ(QtFileDialog::withDefaultExt("/tmp/export", "cfg"), "/tmp/export.cfg");
  EXPECT_EQ(QtFileDialog::withDefaultExt("/tmp.d/export.old", "cfg"), "/tmp.d/export.old");
  EXPECT_EQ(QtFileDialog::withDefaultExt("/tmp.d/export", "cfg"), "/tmp.d/export.cfg");
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/locked.cfg";
  std::ofstream(file) << "x";
  EXPECT_EQ(QtFileDialog::refusal(file, OFN_NOREADONLYRETURN), "");
  chmod(file.c_str(), 0444);  // marked read-only: refused even for root
  EXPECT_NE(QtFileDialog::refusal(file, OFN_NOREADONLYRETURN), "");
  EXPECT_EQ(QtFileDialog::refusal(file, OFN_OVERWRITEPROMPT), "");
  EXPECT_EQ(QtFileDialog::refusal(dir.path().toStdString() + "/new.cfg", OFN_NOREADONLYRETURN), "");
}

TEST(Desktop, WithoutADesktopTheTrayAndTheHotKeyFail) {
  FakePlatform fake;
  if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "runs on the offscreen platform";
  QtTrayIcon tray;
  TrayIconData data;
  data.flags = NIF_ICON | NIF_TIP;
  data.iconId = 146;
  data.tip = "Card Unplugged";
  EXPECT_FALSE(tray.notify(ITrayIcon::Action::Add, data));
  X11HotKey hotKey;
  bool pressed = false;
  EXPECT_FALSE(hotKey.registerHotKey(32772, MOD_ALT, VK_F2, [&](int) { pressed = true; }));
  EXPECT_FALSE(hotKey.handleKeyPress(68, 0x8));  // nothing registered: not ours
  EXPECT_FALSE(pressed);
}

TEST(DeviceWatcher, HardwareIdsComeFromTheInterfacesDevice) {
  QTemporaryDir dir;
  const std::string net = dir.path().toStdString();
  auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
  QDir(dir.path()).mkpath("wlan0/device");
  write(net + "/wlan0/device/vendor", "0x1e4d\n");
  write(net + "/wlan0/device/device", "0x1f00\n");
  write(net + "/wlan0/device/subsystem_vendor", "0x1e4d\n");
  write(net + "/wlan0/device/subsystem_device", "0x0001\n");
  QDir(dir.path()).mkpath("usb0/device/interface");  // "device" is the USB interface
  write(net + "/usb0/idVendor", "2b97\n");
  write(net + "/usb0/idProduct", "1fa0\n");
  QDir(dir.path()).mkpath("usb1/device");
  write(net + "/usb1/device/idVendor", "2b97\n");
  write(net + "/usb1/device/idProduct", "614\n");
  QDir(dir.path()).mkpath("bad0/device");
  write(net + "/bad0/device/vendor", "0x1e4d0\n");
  write(net + "/bad0/device/device", "zz\n");
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net, "wlan0"), "PCI\\VEN_1E4D&DEV_1F00&SUBSYS_00011E4D");
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net, "usb1"), "USB\\VID_2B97&PID_0614");
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net + "/usb0", "device/interface"), "");  // no paths as names
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net, "bad0"), "");
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net, "lo"), "");
  EXPECT_EQ(NetlinkDeviceWatcher::hardwareId(net, ".."), "");
  EXPECT_EQ(NetlinkDeviceWatcher::interfaceName("PCI\\VEN_1E4D&DEV_1F00&SUBSYS_00011E4D", "wlan0"),
            "\\\\?\\PCI#VEN_1E4D&DEV_1F00&SUBSYS_00011E4D#wlan0#{ad498944-762f-11d0-8dcb-00c04fc3358c}");
}

TEST(DeviceWatcher, EventsRaisedOnAnotherThreadArriveOnTheGuiThread) {
  FakePlatform fake;
  std::vector<std::string> names;
  std::thread::id deliveredOn;
  ASSERT_TRUE(fake.devices.start([&](const DeviceChange& c) {
    names.push_back(std::to_string(c.event) + " " + c.name);
    deliveredOn = std::this_thread::get_id();
  }));
  std::thread source([&] { fake.devices.plug("USB\\VID_2B97&PID_1FA0", "wlan1"); });
  source.join();
  EXPECT_TRUE(names.empty());
  testing::processEvents();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].substr(0, 6), "32768 ");
  EXPECT_EQ(deliveredOn, std::this_thread::get_id());
  fake.devices.stop();
  fake.devices.unplug("USB\\VID_2B97&PID_1FA0", "wlan1");
  EXPECT_EQ(names.size(), 1u);  // not registered: nothing
}

TEST(DeviceWatcher, TheNetlinkWatcherRegisters) {
  FakePlatform fake;
  NetlinkDeviceWatcher watcher;
  EXPECT_TRUE(watcher.start([](const DeviceChange&) {}));
  watcher.stop();
}

// A driver host's socket in its run directory: the adapter arrives when the socket appears
// (also in a directory made later), goes when it goes, and one put in place of a socket left
// behind is a removal and an arrival.
TEST(DeviceNodeWatcher, TheNodeAppearingAndGoingIsTheAdaptersArrivalAndRemoval) {
  FakePlatform fake;
  QTemporaryDir root;
  const std::string runDir = root.path().toStdString() + "/run/zelnic";
  const std::string node = runDir + "/HlvnDev0";
  std::vector<uint32_t> events;
  ASSERT_TRUE(fake.devices.start([&](const DeviceChange& c) {
    if (c.event == DBT_DEVNODES_CHANGED) return;
    EXPECT_EQ(c.deviceType, uint32_t{DBT_DEVTYP_DEVICEINTERFACE});
    EXPECT_EQ(c.name, "\\\\?\\PCI#VEN_1E4D&DEV_1F00#HlvnDev0#{ad498944-762f-11d0-8dcb-00c04fc3358c}");
    events.push_back(c.event);
  }));
  DeviceNodeWatcher watcher(fake.devices, node, "PCI\\VEN_1E4D&DEV_1F00");
  ASSERT_TRUE(watcher.start());
  const auto waitFor = [&](size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (events.size() < count && std::chrono::steady_clock::now() < end) testing::processEvents();
    return events.size() >= count;
  };
  const auto put = [&](const std::string& name) {  // bound under a passing name, then renamed in
    std::ofstream(runDir + "/" + name + ".pending") << "socket";
    std::filesystem::rename(runDir + "/" + name + ".pending", runDir + "/" + name);
  };

  std::filesystem::create_directories(runDir);
  put("HlvnDev1");  // another device: not this one
  put("HlvnDev0");
  ASSERT_TRUE(waitFor(1));
  std::filesystem::remove(node);
  ASSERT_TRUE(waitFor(2));
  put("HlvnDev0");
  ASSERT_TRUE(waitFor(3));
  put("HlvnDev0");  // the next host's, over the one the last left behind
  ASSERT_TRUE(waitFor(5));
  std::filesystem::remove_all(root.path().toStdString() + "/run");  // the directory goes with it
  ASSERT_TRUE(waitFor(6));
  EXPECT_EQ(events, (std::vector<uint32_t>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL,
                                           DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL,
                                           DBT_DEVICEREMOVECOMPLETE}));
  watcher.stop();
}

}  // namespace
}  // namespace zfw
