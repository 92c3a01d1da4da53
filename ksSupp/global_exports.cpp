// The global KSSTK functions: library start and stop, trace settings, memory shared with the
// host and reference counting of any handle.
#include <cstdlib>
#include <cstring>

#include <dcf/dcfMD5Stream.h>
#include <dcf/dcfWipe.h>
#include <ksstk.h>

#include "ksLib_OSSL/tls_library.h"
#include "ksSupp/export_guard.h"
#include "ksSupp/trace.h"

namespace {
constexpr std::size_t kTlsSeedBytes = 32;
}  // namespace

KSSTK_RESULT KSSTK_Initialize(void) {
  return GuardExport("KSSTK_Initialize", []() -> KSSTK_RESULT {
    if (TlsLibraryInit() != 0) return -1;
    std::uint8_t seed[kTlsSeedBytes];
    GetRandomBytes(seed, sizeof seed);
    const std::int32_t seeded = TlsSeedRandom(seed, sizeof seed);
    dcfWipe(seed, sizeof seed);
    return seeded == 0 ? 0 : -1;
  });
}

KSSTK_RESULT KSSTK_Terminate(void) {
  return GuardExport("KSSTK_Terminate", [] { return TlsLibraryCleanup(), 0; });
}

KSSTK_RESULT KSSTK_SetTraceLevel(int32_t level) {
  SetTraceLevel(level);
  return 0;
}

KSSTK_RESULT KSSTK_SetTraceCallbackA(KSSTK_TRACE_CALLBACK_A callback) {
  SetTraceCallbackA(callback);
  return 0;
}

KSSTK_RESULT KSSTK_SetTraceCallbackW(KSSTK_TRACE_CALLBACK_W callback) {
  SetTraceCallbackW(callback);
  return 0;
}

KSSTK_RESULT KSSTK_Alloc(uint32_t size, void** block) {
  if (block == nullptr) return TraceRefusal("KSSTK_Alloc", "null out pointer"), E_POINTER;
  *block = size == 0 ? nullptr : std::malloc(size);
  return 0;
}

KSSTK_RESULT KSSTK_Free(void* block) {
  std::free(block);
  return 0;
}

KSSTK_RESULT KSSTK_AllocStringA(const char* source, char** copy) {
  if (copy == nullptr) return TraceRefusal("KSSTK_AllocStringA", "null out pointer"), E_POINTER;
  if (source == nullptr) source = "";
  const std::size_t bytes = std::strlen(source) + 1;
  *copy = static_cast<char*>(std::malloc(bytes));
  if (*copy != nullptr) std::memcpy(*copy, source, bytes);
  return 0;
}

KSSTK_RESULT KSSTK_AllocStringW(const KSSTK_WCHAR* source, KSSTK_WCHAR** copy) {
  if (copy == nullptr) return TraceRefusal("KSSTK_AllocStringW", "null out pointer"), E_POINTER;
  static const KSSTK_WCHAR kEmpty[1] = {0};
  if (source == nullptr) source = kEmpty;
  std::size_t units = 0;
  while (source[units] != 0) ++units;
  const std::size_t bytes = (units + 1) * sizeof(KSSTK_WCHAR);
  *copy = static_cast<KSSTK_WCHAR*>(std::malloc(bytes));
  if (*copy != nullptr) std::memcpy(*copy, source, bytes);
  return 0;
}

KSSTK_RESULT KSSTK_AllocBlob(KSSTK_BLOB* blob, const void* source, uint32_t length) {
  if (blob == nullptr) return TraceRefusal("KSSTK_AllocBlob", "null blob"), E_POINTER;
  blob->Data = nullptr;
  blob->Length = length;
  if (length == 0) return 0;
  blob->Data = static_cast<uint8_t*>(std::malloc(length));
  if (blob->Data == nullptr) {
    blob->Length = 0;
    return 0;
  }
  if (source != nullptr) {
    std::memcpy(blob->Data, source, length);
  } else {
    std::memset(blob->Data, 0, length);
  }
  return 0;
}

KSSTK_RESULT KSSTK_AddRef(KSSTK_HANDLE handle) {
  return GuardExport("KSSTK_AddRef", [&]() -> KSSTK_RESULT {
    RefCounted* object = nullptr;
    if (const HRESULT refused = FromHandle("KSSTK_AddRef", handle, object)) return refused;
    object->AddRef();
    return 0;
  });
}

KSSTK_RESULT KSSTK_Release(KSSTK_HANDLE handle) {
  return GuardExport("KSSTK_Release", [&]() -> KSSTK_RESULT {
    RefCounted* object = nullptr;
    if (const HRESULT refused = FromHandle("KSSTK_Release", handle, object)) return refused;
    object->Release();
    return 0;
  });
}
