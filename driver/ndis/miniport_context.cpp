// Creation and destruction of the MiniportContext and the AdapterContainer.
#include "driver/ndis/miniport_context.h"

#include "driver/core/core_adapter_ops.h"
#include "driver/ndis/os_class.h"
#include "driver/ndis/os_service_table.h"
#include "driver/ndis/shell_links.h"

namespace {

constexpr int kOlderSystemStalls = 20000;  // 20,000 x 50 us: one second
constexpr UINT kStallMicroseconds = 50;

// Tagged, zero-filled pool memory; null when none is left.
template <typename T>
T* AllocateZeroed(ULONG tag) {
  PVOID memory = nullptr;
  if (NdisAllocateMemoryWithTag(&memory, sizeof(T), tag) != NDIS_STATUS_SUCCESS) return nullptr;
  NdisZeroMemory(memory, sizeof(T));
  return static_cast<T*>(memory);
}

}  // namespace

MiniportContext* CreateMiniportContext(NDIS_HANDLE adapterHandle) {
  auto* context = AllocateZeroed<MiniportContext>(kTagMiniportContext);
  if (context == nullptr) return nullptr;
  context->State = MiniportResetting;
  context->Destroy = &DestroyMiniportContext;
  context->AdapterHandle = adapterHandle;
  NdisAllocateSpinLock(&context->Lock);
  return context;
}

void DestroyMiniportContext(MiniportContext* context) {
  if (context == nullptr) return;
  if (context->Container != nullptr) context->Container->Destroy(context->Container);
  context->Container = nullptr;
  if (context->MapRegistersAllocated) {
    NdisMFreeMapRegisters(context->AdapterHandle);
    context->MapRegistersAllocated = FALSE;
  }
  NdisFreeSpinLock(&context->Lock);
  NdisFreeMemory(context, sizeof(MiniportContext), 0);
}

AdapterContainer* CreateAdapterContainer(MiniportContext* context, NDIS_HANDLE adapterHandle,
                                         NDIS_HANDLE configurationContext) {
  auto* container = AllocateZeroed<AdapterContainer>(kTagContainer);
  if (container == nullptr) return nullptr;
  container->MiniportAdapterHandle = adapterHandle;
  container->ConfigurationContext = configurationContext;
  container->Context = context;
  container->Destroy = &DestroyAdapterContainer;
  return container;
}

void DestroyAdapterContainer(AdapterContainer* container) {
  if (container == nullptr) return;
  MiniportContext* context = container->Context;
  if (IsOlderSystem()) {
    for (int i = 0; i < kOlderSystemStalls; ++i) NdisStallExecution(kStallMicroseconds);
  }
  const ShellLinks& links = Links();
  if (links.WaitForUtilityClose != nullptr) links.WaitForUtilityClose(context);
  if (links.DeregisterControlDevice != nullptr) links.DeregisterControlDevice(context);
  if (container->Core != nullptr) CoreOps(container->Core).Destroy(container->Core);  // and the chip layer
  container->Core = nullptr;
  container->Hal = nullptr;
  if (container->Os != nullptr) container->Os->Table->Destroy(container->Os);
  container->Os = nullptr;
  if (context != nullptr && context->MapRegistersAllocated) {
    NdisMFreeMapRegisters(container->MiniportAdapterHandle);
    context->MapRegistersAllocated = FALSE;
  }
  if (context != nullptr && context->Container == container) context->Container = nullptr;
  NdisFreeMemory(container, sizeof(AdapterContainer), 0);
}
