#pragma once
// What every KSSTK export shares: no exception leaves it, and handles are checked before use.
#include <new>
#include <utility>

#include <dcf/RefCounted.h>
#include <dcf/dcfException.h>
#include <ksstk.h>

#include "ksSupp/trace.h"
#include "platform/win32/hresult.h"

// Traces, at level 1, that an export caught an exception.
void TraceCaughtException(const char* exportName, const dcfException& exception) noexcept;
void TraceCaughtException(const char* exportName, const char* what) noexcept;
// Traces, at level 1, that an export refused its arguments.
void TraceRefusal(const char* exportName, const char* reason) noexcept;

// Runs the body of an export. A framework exception becomes its HRESULT, a failed
// allocation E_OUTOFMEMORY and anything else E_FAIL; each is traced at level 1.
template <class Body>
KSSTK_RESULT GuardExport(const char* exportName, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const dcfException& exception) {
    TraceCaughtException(exportName, exception);
    return FAILED(exception.Code()) ? exception.Code() : E_FAIL;
  } catch (const std::bad_alloc&) {
    TraceCaughtException(exportName, "out of memory");
    return E_OUTOFMEMORY;
  } catch (...) {
    TraceCaughtException(exportName, "unknown exception");
    return E_FAIL;
  }
}

// Runs a creator: make() returns the new object (one reference), which becomes *out.
// Without memory the handle is null and the result 0; other failures as GuardExport, with a
// null handle.
template <class Make>
KSSTK_RESULT GuardCreator(const char* exportName, KSSTK_HANDLE* out, Make&& make) noexcept {
  if (out == nullptr) {
    TraceRefusal(exportName, "null out pointer");
    return E_POINTER;
  }
  *out = nullptr;
  return GuardExport(exportName, [&]() -> KSSTK_RESULT {
    try {
      *out = std::forward<Make>(make)();
    } catch (const std::bad_alloc&) {
      TraceCaughtException(exportName, "out of memory");
    }
    return 0;
  });
}

// The handle of an object is its RefCounted base; the same pointer goes into messages.
inline KSSTK_HANDLE ToHandle(RefCounted* object) { return object; }

// Finds the object of the family T behind a handle: E_POINTER for null, E_INVALIDARG for a
// handle of another family (both traced). A released handle remains the host's error.
template <class T>
HRESULT FromHandle(const char* exportName, KSSTK_HANDLE handle, T*& object) noexcept {
  object = nullptr;
  if (handle == nullptr) {
    TraceRefusal(exportName, "null handle");
    return E_POINTER;
  }
  object = dynamic_cast<T*>(static_cast<RefCounted*>(handle));
  if (object == nullptr) {
    TraceRefusal(exportName, "handle of another kind");
    return E_INVALIDARG;
  }
  return S_OK;
}

// As FromHandle, where a null handle stands for "none" (object null, S_OK).
template <class T>
HRESULT FromOptionalHandle(const char* exportName, KSSTK_HANDLE handle, T*& object) noexcept {
  object = nullptr;
  return handle == nullptr ? S_OK : FromHandle(exportName, handle, object);
}

// Runs the body of an export that works on one object of the family T: body(T&) runs only
// for a valid handle.
template <class T, class Body>
KSSTK_RESULT GuardHandleExport(const char* exportName, KSSTK_HANDLE handle, Body&& body) noexcept {
  return GuardExport(exportName, [&]() -> KSSTK_RESULT {
    T* object = nullptr;
    if (const HRESULT refused = FromHandle(exportName, handle, object)) return refused;
    return std::forward<Body>(body)(*object);
  });
}

// A creator that makes its object from an object of the family T.
template <class T, class Make>
KSSTK_RESULT GuardHandleCreator(const char* exportName, KSSTK_HANDLE handle, KSSTK_HANDLE* out,
                                Make&& make) noexcept {
  T* object = nullptr;
  if (const HRESULT refused = FromHandle(exportName, handle, object)) {
    if (out != nullptr) *out = nullptr;
    return refused;
  }
  return GuardCreator(exportName, out, [&]() -> KSSTK_HANDLE { return std::forward<Make>(make)(*object); });
}
