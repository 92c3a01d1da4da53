#pragma once
// A miniport for the runtime's own tests: every handler forwards to a std::function the
// test sets, so a test writes just the driver behaviour it needs. Header only; one
// TestMiniport is active at a time.
#include <cstring>
#include <functional>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/host.h"
#include "platform/ndis/ndis.h"
#include "platform/ndis/register_file_chip.h"

namespace ndis::testing {

struct TestMiniport {
  NDIS_HANDLE wrapper = nullptr;
  NDIS_HANDLE adapter = nullptr;        // MiniportAdapterHandle from initialize
  NDIS_HANDLE configuration = nullptr;  // WrapperConfigurationContext from initialize

  std::function<NDIS_STATUS()> initialize = [] { return NDIS_STATUS_SUCCESS; };
  std::function<void()> halt = [] {};
  std::function<void(PBOOLEAN recognized, PBOOLEAN queueDeferred)> isr = [](PBOOLEAN r, PBOOLEAN q) {
    *r = FALSE;
    *q = FALSE;
  };
  std::function<void()> handleInterrupt = [] {};
  std::function<void()> enableInterrupt = [] {};
  std::function<NDIS_STATUS(NDIS_OID, PVOID, ULONG, PULONG, PULONG)> query =
      [](NDIS_OID, PVOID, ULONG, PULONG, PULONG) { return NDIS_STATUS_NOT_SUPPORTED; };
  std::function<NDIS_STATUS(NDIS_OID, PVOID, ULONG, PULONG, PULONG)> set =
      [](NDIS_OID, PVOID, ULONG, PULONG, PULONG) { return NDIS_STATUS_NOT_SUPPORTED; };
  std::function<void(PPNDIS_PACKET, UINT)> sendPackets = [](PPNDIS_PACKET, UINT) {};
  std::function<void(PNDIS_PACKET)> returnPacket = [](PNDIS_PACKET) {};
  std::function<NDIS_STATUS(PBOOLEAN)> reset = [](PBOOLEAN addressing) {
    *addressing = FALSE;
    return NDIS_STATUS_SUCCESS;
  };
  std::function<BOOLEAN()> checkForHang = [] { return FALSE; };
  std::function<void(NDIS_DEVICE_PNP_EVENT)> pnp = [](NDIS_DEVICE_PNP_EVENT) {};

  static TestMiniport*& active() {
    static TestMiniport* current = nullptr;
    return current;
  }

  TestMiniport() { active() = this; }
  ~TestMiniport() { active() = nullptr; }

  static NDIS_STATUS Initialize(PNDIS_STATUS, PUINT selected, PNDIS_MEDIUM, UINT, NDIS_HANDLE handle,
                                NDIS_HANDLE configuration) {
    TestMiniport& m = *active();
    m.adapter = handle;
    m.configuration = configuration;
    *selected = 0;
    NdisMSetAttributesEx(handle, &m, 0, NDIS_ATTRIBUTE_DESERIALIZE | NDIS_ATTRIBUTE_BUS_MASTER, NdisInterfacePci);
    return m.initialize();
  }

  static NDIS_STATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
    TestMiniport& m = *active();
    NdisInitializeWrapper(&m.wrapper, driver, path, nullptr);
    NDIS51_MINIPORT_CHARACTERISTICS c{};
    c.MajorNdisVersion = 5;
    c.MinorNdisVersion = 1;
    c.InitializeHandler = &Initialize;
    c.HaltHandler = [](NDIS_HANDLE ctx) { Self(ctx).halt(); };
    c.ISRHandler = [](PBOOLEAN r, PBOOLEAN q, NDIS_HANDLE ctx) { Self(ctx).isr(r, q); };
    c.HandleInterruptHandler = [](NDIS_HANDLE ctx) { Self(ctx).handleInterrupt(); };
    c.EnableInterruptHandler = [](NDIS_HANDLE ctx) { Self(ctx).enableInterrupt(); };
    c.QueryInformationHandler = [](NDIS_HANDLE ctx, NDIS_OID oid, PVOID b, ULONG l, PULONG w, PULONG n) {
      return Self(ctx).query(oid, b, l, w, n);
    };
    c.SetInformationHandler = [](NDIS_HANDLE ctx, NDIS_OID oid, PVOID b, ULONG l, PULONG r, PULONG n) {
      return Self(ctx).set(oid, b, l, r, n);
    };
    c.SendPacketsHandler = [](NDIS_HANDLE ctx, PPNDIS_PACKET p, UINT n) { Self(ctx).sendPackets(p, n); };
    c.ReturnPacketHandler = [](NDIS_HANDLE ctx, PNDIS_PACKET p) { Self(ctx).returnPacket(p); };
    c.ResetHandler = [](PBOOLEAN a, NDIS_HANDLE ctx) { return Self(ctx).reset(a); };
    c.CheckForHangHandler = [](NDIS_HANDLE ctx) { return Self(ctx).checkForHang(); };
    c.PnPEventNotifyHandler = [](NDIS_HANDLE ctx, NDIS_DEVICE_PNP_EVENT e, PVOID, ULONG) { Self(ctx).pnp(e); };
    return NdisMRegisterMiniport(m.wrapper, &c, sizeof c);
  }

  static TestMiniport& Self(NDIS_HANDLE context) { return *static_cast<TestMiniport*>(context); }
};

// A control device whose create, close and device-control requests go to `dispatch`, for a
// test miniport to register in its initialize handler; its handle goes to `device`.
inline NDIS_STATUS RegisterTestDevice(const TestMiniport& m, const char16_t* name, const char16_t* link,
                                      PDRIVER_DISPATCH dispatch, NDIS_HANDLE* device) {
  NDIS_STRING deviceName, linkName;
  NdisInitUnicodeString(&deviceName, name);
  NdisInitUnicodeString(&linkName, link);
  PDRIVER_DISPATCH table[IRP_MJ_MAXIMUM_FUNCTION + 1] = {};
  table[IRP_MJ_CREATE] = table[IRP_MJ_CLOSE] = table[IRP_MJ_DEVICE_CONTROL] = dispatch;
  PDEVICE_OBJECT object = nullptr;
  return NdisMRegisterDevice(m.wrapper, &deviceName, &linkName, table, &object, device);
}

// What a driver does with an event registration: references the event whose handle is the
// buffer's first word (as user mode passes it); `event` is null when that fails.
inline NTSTATUS ReferenceEventByFirstWord(const UCHAR* buffer, PKEVENT* event) {
  ULONG handle;
  std::memcpy(&handle, buffer, 4);
  PVOID object = nullptr;
  const NTSTATUS status = ObReferenceObjectByHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle)),
                                                    EVENT_MODIFY_STATE, *ExEventObjectType, UserMode, &object, nullptr);
  *event = static_cast<PKEVENT>(object);
  return status;
}

// Scheduler, chip and a loaded host with the test miniport; violations are recorded.
struct TestAdapter {
  Scheduler scheduler;
  RegisterFileChip chip;
  TestMiniport miniport;
  std::unique_ptr<NdisHost> host;

  explicit TestAdapter(AdapterConfig config = {}) {
    config.violations = ViolationPolicy::Record;
    host = NdisHost::load(&TestMiniport::DriverEntry, std::move(config), chip, scheduler);
  }

  // Runs driver code on the adapter's executor, now, at the given IRQL.
  void run(KIRQL irql, const std::function<void()>& body) {
    bool done = false;
    host->runtime().queueDriverEvent(Micros(0), EventKind::Host, irql, "test step", [&] {
      body();
      done = true;
    });
    scheduler.runUntil([&] { return done; }, Micros(0));
  }
};

}  // namespace ndis::testing
