// zelcon-demo --profile NAME --screenshot FILE: the utility's own windows on the adapter a
// running zelnicd serves, driven as a user would drive them where nobody can click. It picks
// the profile NAME in the main page's profile box (Data.cfg and Zelcon.ini in $ZELCON_HOME;
// libpentrel.so as the library finds it, ZELCON_PENTREL_LIBRARY), prints the road of the connection as the utility hears it (the profile
// applied, the association, the supplicant's progress, the keys installed, the status page),
// sends one data frame under the new keys, and saves a picture of the status page.
// Exit status 0 only when the status page shows the connection with its keys installed and
// the driver sent the frame.
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "driver/ndis/private_oids.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/guarded_adapter_control.h"
#include "hosts/adapterctl/notifier.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/desktop/single_instance.h"
#include "platform/gui/gui_runtime.h"
#include "platform/gui/platform.h"
#include "platform/ndis/control_run_dir.h"
#include "platform/win32/ini_file.h"
#include "utility/app/answering_message_box.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/main_page.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"
#include "zelconStrings.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();
std::mutex g_printMutex;

// The text the demo's data frame carries (tshark shows it decrypted from the capture).
constexpr char kPayload[] = "Zelnic demo: data through the driver under the handshake's keys";
constexpr uint16_t kFrameTag = 0x7E57;
constexpr int kFrameSentEvent = 133;  // the driver sent a raw frame; the parameter is its tag

struct Progress {
  std::mutex mutex;
  bool associated = false;
  bool failed = false;
  bool frameSent = false;
};
Progress g_progress;

void Step(const char* what, const std::string& detail) {
  std::lock_guard lock(g_printMutex);
  const double seconds = std::chrono::duration<double>(Clock::now() - g_start).count();
  std::printf("[%6.2f s] %-16s %s\n", seconds, what, detail.c_str());
  std::fflush(stdout);
}

// The library's notifications on their way to the windows: noted and printed first.
void PrintingPoster(void* window, uint32_t code, intptr_t param, const char* text) {
  {
    std::lock_guard lock(g_progress.mutex);
    if (code == HLVN_EVENT_ASSOCIATED) g_progress.associated = true;
    if (code == kFrameSentEvent && param == kFrameTag) g_progress.frameSent = true;
    if (code == ZELCON_NOTIFY_CONNECTION_TEXT && text != nullptr && std::strcmp(text, "Authentication failed") == 0)
      g_progress.failed = true;
  }
  if (code == HLVN_EVENT_ASSOCIATED) Step("associated", "the driver's media connect (event 1)");
  if (code == HLVN_EVENT_DISCONNECTED) Step("disconnected", "the driver's event 5");
  if (code == ZELCON_NOTIFY_CONNECTION_TEXT) Step("supplicant", text != nullptr ? text : "");
  if (code == ZELCON_NOTIFY_PORT_AUTHORIZED) Step("port authorized", "EAP and the 4-way handshake are done (1008)");
  if (code == kFrameSentEvent && param == kFrameTag) Step("data sent", "the driver sent the frame (event 133)");
  PostAdapterNotification(window, code, param, text);
}

void RunEvents(std::chrono::milliseconds slice) {
  QCoreApplication::processEvents();
  std::this_thread::sleep_for(slice);
}

// Runs the windows' events until `done` holds or the deadline passes.
template <class Done>
bool RunUntil(Clock::time_point deadline, Done done) {
  while (!done() && Clock::now() < deadline) RunEvents(std::chrono::milliseconds(10));
  return done();
}

// One 802.3 frame to a wired host behind the access point, as OID_HLVN_SEND_FRAME takes it:
// u16 length, u16 tag, the frame.
std::vector<uint8_t> DataFrameRecord(const uint8_t station[6]) {
  const uint8_t wiredHost[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  std::vector<uint8_t> frame(wiredHost, wiredHost + 6);
  frame.insert(frame.end(), station, station + 6);
  frame.insert(frame.end(), {0x88, 0xB5});  // the local experimental EtherType
  frame.insert(frame.end(), kPayload, kPayload + sizeof kPayload - 1);
  std::vector<uint8_t> record(4 + frame.size());
  record[0] = static_cast<uint8_t>(frame.size());
  record[1] = static_cast<uint8_t>(frame.size() >> 8);
  record[2] = static_cast<uint8_t>(kFrameTag);
  record[3] = static_cast<uint8_t>(kFrameTag >> 8);
  std::copy(frame.begin(), frame.end(), record.begin() + 4);
  return record;
}

int Usage() {
  std::fprintf(stderr, "usage: zelcon-demo --profile NAME --screenshot FILE.png\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string profile;
  std::string screenshot;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--profile") == 0) profile = argv[i + 1];
    else if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];
    else return Usage();
  }
  if (argc != 5 || profile.empty() || screenshot.empty()) return Usage();

  zfw::Platform services;
  std::unique_ptr<AnsweringMessageBox> answering;
  zfw::GuiRuntime runtime(argc, argv);
  const char* homeVariable = std::getenv("ZELCON_HOME");
  if (homeVariable == nullptr || *homeVariable == '\0') {
    std::fprintf(stderr, "zelcon-demo: ZELCON_HOME names the folder of Data.cfg and Zelcon.ini\n");
    return 2;
  }
  const std::string home = homeVariable;
  // Its single-instance mark lies in ZELCON_HOME, not in the session's: the demonstration runs
  // beside a Zelcon the user has open.
  zfw::LocalSingleInstance instance(home);
  // Nobody can click here: every message box is answered and its text kept beside Data.cfg.
  services = zfw::platform();
  answering = std::make_unique<AnsweringMessageBox>(home + "/message-boxes.log");
  services.messageBox = answering.get();
  services.singleInstance = &instance;
  zfw::installPlatform(&services);
  zfw::StringTable::install(zelconStrings());
  {
    // The user picks the profile: the worker does not join a preferred network meanwhile.
    plat::IniFile ini(home + "/Zelcon.ini");
    ini.WriteInt("Advanced", "Auto Configuration", 0);
    ini.WriteInt("Advanced", "AutoLink", 0);
  }

  zelcon::Notifier notifier;
  notifier.SetPoster(&PrintingPoster);
  auto device = std::make_unique<zelcon::DeviceAdapter>(notifier, plat::RegistryStore::FromEnvironment(),
                                                        ndis::ChooseControlRunDir().path + "/HlvnDev0");
  zelcon::DeviceAdapter& adapter = *device;
  zelcon::GuardedAdapterControl library(std::move(device));
  CZelconApp app(library);
  if (!app.InitInstance() || app.Sheet() == nullptr) {
    if (app.m_isSecondInstance)
      std::fprintf(stderr, "zelcon-demo: another zelcon-demo runs on %s: let it end first\n", home.c_str());
    else
      std::fprintf(stderr, "zelcon-demo: the utility did not start (its messages: %s/message-boxes.log)\n",
                   home.c_str());
    return 1;
  }
  CZelconSheet& sheet = *app.Sheet();
  CMainPage& page = *sheet.MainPage();
  sheet.setActivePage(&page);
  RunEvents(std::chrono::milliseconds(0));
  int status = 1;
  if (sheet.Adapter() == nullptr) {
    std::fprintf(stderr, "zelcon-demo: no adapter (is zelnicd running on this ZELNIC_RUN_DIR?)\n");
  } else {
    const int item = page.comboBox(CMainPage::IDC_PROFILE_BOX).findStringExact(profile);
    if (item < 0) {
      std::fprintf(stderr, "zelcon-demo: no profile \"%s\" in the profile box\n", profile.c_str());
    } else {
      page.comboBox(CMainPage::IDC_PROFILE_BOX).setCurSel(item);
      page.OnSelectProfile();
      Step("profile applied", "\"" + profile + "\" chosen in the profile box: " + page.itemText(CMainPage::IDC_STATUS));
      const auto text = [&](int id) { return page.itemText(id); };
      const auto deadline = Clock::now() + std::chrono::seconds(45);
      const bool keys = RunUntil(deadline, [&] {
        const zelcon::SupplicantHost* host = adapter.Supplicant();
        std::lock_guard lock(g_progress.mutex);
        return g_progress.failed || (host != nullptr && host->KeysInstalled() >= 2);
      });
      if (keys && !g_progress.failed) {
        Step("keys installed", std::to_string(adapter.Supplicant()->KeysInstalled()) +
                                   " keys set on the driver (OID_802_11_ADD_KEY: pairwise and group)");
      }
      const bool connected = keys && !g_progress.failed &&
                             RunUntil(deadline, [&] { return text(CMainPage::IDC_STATUS) == "Connected"; });
      Step("status page", "\"" + text(CMainPage::IDC_STATUS) + "\", SSID \"" + text(CMainPage::IDC_SSID) +
                              "\", BSSID " + text(CMainPage::IDC_BSSID) + ", " + text(CMainPage::IDC_NETWORK_TYPE) +
                              ", security " + text(CMainPage::IDC_SECURITY) + ", " +
                              text(CMainPage::IDC_CHANNEL_GROUP));
      if (connected) {
        uint8_t station[6] = {};
        void* handle = sheet.Adapter();
        if (adapter.GetMacAddress(handle, station, sizeof station) == 0 &&
            adapter.Set(OID_HLVN_SEND_FRAME, DataFrameRecord(station)) == 0 &&
            RunUntil(deadline, [] {
              std::lock_guard lock(g_progress.mutex);
              return g_progress.frameSent;
            })) {
          status = 0;
        } else {
          std::fprintf(stderr, "zelcon-demo: the data frame was not sent\n");
        }
      } else {
        std::fprintf(stderr, "zelcon-demo: the connection did not come up\n");
      }
      RunEvents(std::chrono::milliseconds(0));
      if (QWidget* window = sheet.widget(); window != nullptr && window->grab().save(QString::fromStdString(screenshot), "PNG"))
        Step("screenshot", screenshot);
      else
        std::fprintf(stderr, "zelcon-demo: cannot save %s\n", screenshot.c_str());
    }
  }
  app.ExitInstance();
  return status;
}
