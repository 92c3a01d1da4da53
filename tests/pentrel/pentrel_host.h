#pragma once
// The test host's hold on libpentrel.so: loaded once with dlopen, every export looked up by
// name with dlsym, nothing linked. Use: Pentrel().KSSTK_Alloc(...).
#include <ksstk.h>

#define PENTREL_EXPORTS(X)                                                                 \
  X(KSSTK_Initialize) X(KSSTK_Terminate) X(KSSTK_SetTraceLevel) X(KSSTK_SetTraceCallbackA) \
  X(KSSTK_SetTraceCallbackW) X(KSSTK_Alloc) X(KSSTK_Free) X(KSSTK_AllocStringA)            \
  X(KSSTK_AllocStringW) X(KSSTK_AllocBlob) X(KSSTK_AddRef) X(KSSTK_Release)

struct PentrelLibrary {
#define PENTREL_MEMBER(name) decltype(&::name) name = nullptr;
  PENTREL_EXPORTS(PENTREL_MEMBER)
#undef PENTREL_MEMBER
  void* module = nullptr;
};

// Loads the library on first use; a missing library or export fails the calling test.
const PentrelLibrary& Pentrel();
