#pragma once
// What a backend with an adapter answers from the adapter's registry key rather than from the
// adapter: the driver's version and date, the key's path, and the profile in use.
#include "hosts/adapterctl/adapter_control_base.h"

namespace zelcon {

class AdapterRegistryValues : public AdapterControlBase {
public:
  static constexpr const char* kAdapterKey =
      "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000";

  using AdapterControlBase::AdapterControlBase;

  int SetProfileInUse(void* handle, const char* name, uint32_t length) override;
  int QueryProfileInUse(void* handle, char* buffer, uint32_t size) override;
  int QueryDriverVersion(void* handle, char* buffer, uint32_t size) override;
  int QueryDriverDate(void* handle, char* buffer, uint32_t size) override;
  int QueryRegistryPath(void* handle, char* buffer, uint32_t size) override;
};

}  // namespace zelcon
