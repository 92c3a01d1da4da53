#pragma once
// dcfCreateInstance: the one way objects of the certificate library are made. No registry,
// class factory or COM run-time is involved: Class::CreateInstance allocates and constructs
// the object (reference count 0), and dcfCreateInstance hands it out with one reference.
#include <dcf/dcfException.h>
#include <dcf/dcfSourceFiles.h>

#include "platform/win32/hresult.h"

// Where a failed creation is recorded in the exception's trace.
inline constexpr std::int32_t kDcfCreateInstanceLine = 485;

// Makes a Class and stores it, with one reference, as *object. When Class::CreateInstance
// fails (E_OUTOFMEMORY when the object cannot be allocated) it throws dcfRunTimeException
// "dcfCreateInstance: Error on CreateInstance()" whose code is the creator's HRESULT, and
// *object is left as it was.
template <class Class, class Interface>
void dcfCreateInstance(Interface** object) {
  Class* created = nullptr;
  const HRESULT result = Class::CreateInstance(&created);
  if (FAILED(result) || created == nullptr) {
    dcfRunTimeException failure("dcfCreateInstance: Error on CreateInstance()");
    failure.SetCode(FAILED(result) ? result : E_FAIL);
    dcfThrowRunTimeException(failure, kDcfCreateInstanceLine, dcfSourceFile::kDcfCom);
  }
  Interface* handedOut = created;
  handedOut->AddRef();
  *object = handedOut;
}
