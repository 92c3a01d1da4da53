#pragma once
// What every object of the certificate library shares: one reference count changed only by
// interlocked steps, one critical section, QueryInterface over the class's ordered
// interface map, and the envelope that turns any exception inside an operation into S_FALSE.
//
// A class derives from its interfaces and from KsComObject (the implementation base with
// the virtual destructor), overrides QueryInterface with its map and AddRef/Release with
// AddReference/ReleaseReference, and is made only by dcfCreateInstance (ksCert/dcfCom.h)
// through its static CreateInstance.
#include <dcf/dcfCriticalSection.h>
#include <dcf/dcfException.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/win32/interlocked.h"

#include "inc/ksCertUtility.h"

// One entry of an interface map: an identifier and the object's interface for it. The
// first entry is the object's identity, the one QueryInterface gives for IUnknown.
struct KsInterfaceEntry {
  const IID& iid;
  IUnknown* pointer;
};

// Objects of the library alive in the process (made and not yet destroyed).
std::uint32_t KsCertObjectCount();

// For tests: called with every exception that an operation's envelope handles, after its
// trace frame was added (null: nobody is told, as in production).
using KsHandledExceptionObserver = void (*)(const dcfException& handled);
void KsSetHandledExceptionObserver(KsHandledExceptionObserver observer);

// The envelope's catch: adds the trace frame of the catch site (source file, line) to a
// caught exception and drops it.
void KsMarkHandled(dcfException& exception, const char* sourceFile, std::int32_t line) noexcept;

// Runs work() (returning an HRESULT). A dcfException, or anything else thrown (recorded as a
// dcfRunTimeException "non-DCF exception caught in ksCert implementation"), gets the catch
// site's trace frame and is dropped; the result is then S_FALSE. Nothing leaves.
template <class Work>
HRESULT KsRunGuarded(const char* sourceFile, std::int32_t line, Work&& work) noexcept {
  try {
    return work();
  } catch (dcfException& exception) {
    KsMarkHandled(exception, sourceFile, line);
  } catch (...) {
    dcfRunTimeException foreign("non-DCF exception caught in ksCert implementation");
    KsMarkHandled(foreign, sourceFile, line);
  }
  return S_FALSE;
}

class KsComObject {
public:
  KsComObject(const KsComObject&) = delete;
  KsComObject& operator=(const KsComObject&) = delete;

  std::int32_t ReferenceCount() const { return references_.load(std::memory_order_acquire); }

protected:
  // sourceFile names the class in the trace frames of its operations.
  explicit KsComObject(const char* sourceFile);
  virtual ~KsComObject();

  std::uint32_t AddReference();
  // Destroys the object when the count reaches 0.
  std::uint32_t ReleaseReference();

  // QueryInterface over an ordered map: E_POINTER for a null out pointer, else *object is
  // first set to null; IUnknown gives the first entry; an identifier not in the map gives
  // E_NOINTERFACE; a match is AddRef'd and stored.
  template <std::size_t N>
  HRESULT QueryMap(const KsInterfaceEntry (&map)[N], const IID& iid, void** object) {
    return QueryMap(map, N, iid, object);
  }
  HRESULT QueryMap(const KsInterfaceEntry* map, std::size_t count, const IID& iid, void** object);

  template <class Work>
  HRESULT RunGuarded(std::int32_t line, Work&& work) noexcept {
    return KsRunGuarded(sourceFile_, line, static_cast<Work&&>(work));
  }

  dcfCriticalSection& ObjectLock() { return section_; }
  const char* SourceFile() const { return sourceFile_; }

  // The creators' common step: E_OUTOFMEMORY when the allocation gave null.
  template <class Class>
  static HRESULT Created(Class* made, Class** object) {
    *object = made;
    return made != nullptr ? S_OK : E_OUTOFMEMORY;
  }

private:
  std::atomic<std::int32_t> references_{0};
  dcfCriticalSection section_;
  const char* sourceFile_;
};

// Stores 0 (or null) through an out pointer when there is one: the stubs' first step.
template <class T>
void KsClearOut(T* out) {
  if (out != nullptr) *out = T{};
}
