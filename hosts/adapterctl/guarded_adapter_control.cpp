#include "hosts/adapterctl/guarded_adapter_control.h"

#include <mutex>

namespace zelcon {

int GuardedAdapterControl::OpenAdapter(void*& handle) {
  std::unique_lock lock(mutex_);
  handle = nullptr;
  void* opened = nullptr;
  int result = inner_->OpenAdapter(opened);
  if (opened) open_.insert(opened);
  handle = opened;
  return result;
}

int GuardedAdapterControl::CloseAdapter(void* handle) {
  std::unique_lock lock(mutex_);
  if (handle == nullptr || open_.erase(handle) == 0) return 1;
  return inner_->CloseAdapter(handle);
}

}  // namespace zelcon
