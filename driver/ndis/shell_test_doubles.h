#pragma once
// Test doubles of the layers under the shell, shaped like the real ones: a station core
// and a chip layer that are reached only through their operation tables (and the shell's
// links), allocate through the OS-service table, claim the adapter's resources through
// it, and write every call into one log. Header only, for the shell's tests.
#include <functional>
#include <string>
#include <vector>

#include "driver/core/core_adapter_ops.h"
#include "driver/hal/hal_adapter_ops.h"
#include "driver/ndis/miniport.h"
#include "driver/ndis/os_service_table.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/host.h"
#include "platform/ndis/register_file_chip.h"

namespace shell_test {

struct ChipLayerDouble {
  HalAdapterHead Head;
  AdapterResources* Resources;
};

struct CoreDouble {
  CoreAdapterHead Head;
  ChipLayerDouble* Chip;
};

// What the doubles do, and what they saw. One Layers is active at a time.
struct Layers {
  std::vector<std::string> log;
  // Behaviour.
  bool coreCreationFails = false;
  ULONG startStatus = 0;
  std::function<void(HalAdapter*)> onStart;  // runs inside the chip layer's Start
  ULONG isrResult = 1;
  std::function<void()> onIsr;  // runs inside the chip layer's ISR (acknowledge the chip)
  ULONG resetStatus = StatusSuccess;
  BOOLEAN hangCheck = FALSE;
  BOOLEAN mediaConnected = TRUE;
  bool transmitPulls = true;  // the transmit kick takes every queued send
  // Observations.
  std::vector<SendDescriptor*> sent;
  std::vector<PVOID> returnedRecords;
  std::vector<std::pair<ULONG, std::vector<UCHAR>>> events;
  bool devicesCleared = false;
  CoreDouble* core = nullptr;
  AdapterContainer* container = nullptr;

  ShellLinks links{};
  static Layers*& active() {
    static Layers* current = nullptr;
    return current;
  }
  static Layers& L() { return *active(); }
  static void note(const std::string& what) { L().log.push_back(what); }

  static OsLayer* OsOf(HalAdapter* hal) { return reinterpret_cast<HalAdapterHead*>(hal)->Container->Os; }

  // --- chip layer ----------------------------------------------------------------------
  static ULONG HalInit(HalAdapter*) { return 0; }
  static ULONG HalStart(HalAdapter* hal) {
    note("chip start");
    if (L().onStart) L().onStart(hal);
    return L().startStatus;
  }
  static void HalStop(HalAdapter*, ULONG removed) { note("chip stop " + std::to_string(removed)); }
  static ULONG HalReset(HalAdapter*) {
    note("chip reset");
    return L().resetStatus;
  }
  static void HalNoOperation(HalAdapter*) {}
  static void HalShutdown(HalAdapter*) { note("chip shutdown"); }
  static void HalEnable(HalAdapter*) { note("enable interrupts"); }
  static void HalDisable(HalAdapter*) { note("disable interrupts"); }
  static void HalReturn(HalAdapter*, ReceiveRecord* record) { L().returnedRecords.push_back(record); }
  static ULONG HalTransmit(HalAdapter*, SendDescriptor*) { return 0; }
  static BOOLEAN HalHangCheck(HalAdapter*) { return L().hangCheck; }
  static ULONG HalIsr(HalAdapter*) {
    note("chip isr");
    if (L().onIsr) L().onIsr();
    return L().isrResult;
  }
  static void HalDpc(HalAdapter*) { note("chip deferred"); }
  static void HalSetLed(HalAdapter*, ULONG) {}
  static void HalDestroy(HalAdapter* hal) {
    note("chip destroy");
    auto* chip = reinterpret_cast<ChipLayerDouble*>(hal);
    OsLayer* os = OsOf(hal);
    if (chip->Resources != nullptr) chip->Resources->Release(chip->Resources);
    FreeSendPathLists(os);
    os->Table->Free(os, chip, sizeof(ChipLayerDouble), 0, nullptr);
  }
  static constexpr HalAdapterOps kHalOps = {
      HalInit,  HalStart,   HalStop,        HalReset,  HalNoOperation, HalShutdown,    HalEnable,
      HalDisable, nullptr,  nullptr,        HalReturn, HalTransmit,    nullptr,        HalHangCheck,
      HalIsr,   HalDpc,     HalNoOperation, HalNoOperation, HalSetLed, HalDestroy,     nullptr};

  // --- station core -------------------------------------------------------------------------
  static ULONG CoreInit(CoreAdapter*) { return 0; }
  static void CoreHalt(CoreAdapter* core, ULONG argument) {
    note("core halt " + std::to_string(argument));
    HalAdapter* hal = reinterpret_cast<HalAdapter*>(reinterpret_cast<CoreDouble*>(core)->Chip);
    HalOps(hal).Stop(hal, argument);
  }
  static void CoreNoOperation(CoreAdapter*) {}
  static ULONG CoreSend(CoreAdapter*, SendDescriptor* record) {
    L().sent.push_back(record);
    return 0;
  }
  static void CoreDestroy(CoreAdapter* core) {
    note("core destroy");
    auto* double_ = reinterpret_cast<CoreDouble*>(core);
    HalAdapter* hal = reinterpret_cast<HalAdapter*>(double_->Chip);
    HalOps(hal).Destroy(hal);
    OsLayer* os = double_->Head.Container->Os;
    os->Table->Free(os, double_, sizeof(CoreDouble), 0, nullptr);
    L().core = nullptr;
  }
  static constexpr CoreAdapterOps kCoreOps = {CoreInit, CoreHalt, CoreNoOperation, CoreNoOperation, CoreSend,
                                              nullptr,  nullptr,  CoreNoOperation, nullptr,         nullptr,
                                              nullptr,  nullptr,  nullptr,         nullptr,         CoreDestroy,
                                              nullptr};

  // Creates the core and, as the core would, the chip layer with its resources and send
  // path lists; on a failure nothing is left.
  static CoreAdapter* CreateCore(ULONG* status, AdapterContainer* container) {
    note("create core");
    L().container = container;
    OsLayer* os = container->Os;
    *status = StatusFailure;
    if (L().coreCreationFails) return nullptr;
    PVOID coreMemory = nullptr, chipMemory = nullptr;
    if (os->Table->Allocate(os, &coreMemory, sizeof(CoreDouble), 0, nullptr) != StatusSuccess) return nullptr;
    if (os->Table->Allocate(os, &chipMemory, sizeof(ChipLayerDouble), 0, nullptr) != StatusSuccess) {
      os->Table->Free(os, coreMemory, sizeof(CoreDouble), 0, nullptr);
      return nullptr;
    }
    auto* core = static_cast<CoreDouble*>(coreMemory);
    auto* chip = static_cast<ChipLayerDouble*>(chipMemory);
    core->Head = {&kCoreOps, container};
    chip->Head = {&kHalOps, container};
    core->Chip = chip;
    if (os->Table->GetAdapterResources(os, &chip->Resources) != StatusSuccess ||
        CreateSendPathLists(os) != StatusSuccess) {
      if (chip->Resources != nullptr) chip->Resources->Release(chip->Resources);
      FreeSendPathLists(os);
      os->Table->Free(os, chip, sizeof(ChipLayerDouble), 0, nullptr);
      os->Table->Free(os, core, sizeof(CoreDouble), 0, nullptr);
      return nullptr;
    }
    container->Hal = reinterpret_cast<HalAdapter*>(chip);
    L().core = core;
    *status = StatusSuccess;
    return reinterpret_cast<CoreAdapter*>(core);
  }

  Layers() {
    active() = this;
    links.CreateCoreAdapter = &CreateCore;
    links.StartCore = [](CoreAdapter*) { note("start core"); };
    links.LeaveNetworkForHalt = [](CoreAdapter*) { note("leave network"); };
    links.IsMediaConnected = [](CoreAdapter*) { return L().mediaConnected; };
    links.QueryOid = [](CoreAdapter*, NDIS_OID, PVOID, ULONG, PULONG written, PULONG) {
      *written = 4;
      return NDIS_STATUS_SUCCESS;
    };
    links.SetOid = [](CoreAdapter*, NDIS_OID, PVOID, ULONG, PULONG, PULONG) -> ULONG { return StatusInvalidData; };
    links.StopFirmware = [](HalAdapter*) { note("stop firmware"); };
    links.StartTransmit = [](HalAdapter*) {
      note("transmit");
      if (L().transmitPulls) {
        while (TakePendingSend(L().container->Context)) {
        }
      }
    };
    links.ClearControlDevices = [] { L().devicesCleared = true; };
    links.RegisterControlDevice = [](MiniportContext*) { note("register device"); };
    links.DeregisterControlDevice = [](MiniportContext*) { note("deregister device"); };
    links.WaitForUtilityClose = [](MiniportContext*) { note("wait for utility"); };
    links.PostUtilityEvent = [](ULONG code, const void* payload, ULONG length) {
      const auto* bytes = static_cast<const UCHAR*>(payload);
      L().events.push_back({code, std::vector<UCHAR>(bytes, bytes + length)});
    };
  }
  ~Layers() { active() = nullptr; }
};

// The adapter under test: a register-file chip with the expected PCI identity, a scheduler
// and the shell loaded on the doubles.
struct ShellAdapter {
  Layers layers;
  ndis::Scheduler scheduler;
  ndis::RegisterFileChip chip;
  std::unique_ptr<ndis::NdisHost> host;

  explicit ShellAdapter(ndis::AdapterConfig config = {}) {
    chip.setPciDword(0x00, 0x2D171E4D);
    chip.setPciDword(0x2C, 0x00011E4D);
    config.checkForHang = false;
    config.violations = ndis::ViolationPolicy::Record;
    host = ndis::NdisHost::load(
        [this](PDRIVER_OBJECT driver, PUNICODE_STRING path) { return ShellDriverEntry(driver, path, &layers.links); },
        std::move(config), chip, scheduler);
  }

  MiniportContext* context() { return static_cast<MiniportContext*>(host->miniportContext()); }
};

inline ndis::AdapterConfig WithWdm(std::uint8_t major, std::uint8_t minor) {
  ndis::AdapterConfig config;
  config.wdmMajor = major;
  config.wdmMinor = minor;
  return config;
}

}  // namespace shell_test
