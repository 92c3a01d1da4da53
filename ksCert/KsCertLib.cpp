#include "ksCert/KsCertLib.h"

#include <dcf/dcfComPtr.h>

#include <string>
#include <string_view>

#include "ksCert/KsCertArray.h"
#include "ksCert/KsCertChainEngine.h"
#include "ksCert/KsCertFieldNames.h"
#include "ksCert/KsCertHolders.h"
#include "ksCert/KsCertLocations.h"
#include "ksCert/KsCertName.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/dcfCom.h"
#include "platform/win32/ansi_code_page.h"

template <>
void dcfCreateInstance<KsCertLib, ksCertUtility>(ksCertUtility** object) {
  KsCertLib* root = nullptr;
  dcfCreateInstance<KsCertLib, KsCertLib>(&root);
  *object = root;
}

namespace {

constexpr char kSourceFile[] = "KsCertLib";

std::u16string_view TextOf(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

// The narrow copy of a store name that the system-store path opens: the low byte of each
// UTF-16 unit.
std::string LowBytes(const char16_t* text) {
  std::string narrow;
  for (char16_t unit : TextOf(text)) narrow.push_back(static_cast<char>(unit & 0xFF));
  return narrow;
}

// Hands an object out through an interface, with the reference the caller already holds.
template <class Interface, class Class>
HRESULT HandOut(Class* object, Interface** out) {
  *out = object;
  return object != nullptr ? S_OK : S_FALSE;
}

}  // namespace

HRESULT KsCertLib::CreateInstance(KsCertLib** object) {
  return Created(new (std::nothrow) KsCertLib, object);
}

KsCertLib::KsCertLib() : KsComObject(kSourceFile) {}

HRESULT KsCertLib::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertUtility, static_cast<ksCertUtility*>(this)},
      {IID_ksCertUtility2, static_cast<ksCertUtility2*>(this)},
  };
  return QueryMap(map, iid, object);
}

KsCertStore* KsCertLib::OpenStore(plat::BSTR storeName, plat::BSTR distinguishedName,
                                  plat::BSTR location) {
  const std::string narrowName = LowBytes(storeName);
  CertStoreHolder handle;
  bool followsFiles = true;
  switch (MatchLocationIgnoringCase(location)) {
    case KsCertLocation::LocalMachine:
      handle.reset(capi::CertOpenSystemStore(capi::StoreLocation::LocalMachine,
                                             plat::WideToAnsi(TextOf(storeName))));
      break;
    case KsCertLocation::CurrentUser:
      handle.reset(capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser,
                                             plat::WideToAnsi(TextOf(storeName))));
      break;
    case KsCertLocation::RemoteStore: {
      // The store name is the directory server; nothing is escaped.
      const std::string url = "ldap://" + plat::WideToAnsi(TextOf(storeName)) + "/" +
                              plat::WideToAnsi(TextOf(distinguishedName)) + "?userCertificate";
      handle.reset(capi::CertOpenLdapStore(url));
      // An unreachable directory still yields a store: an empty one.
      if (!handle) handle.reset(capi::CertOpenMemoryStore());
      followsFiles = false;
      break;
    }
    case KsCertLocation::None:
      handle.reset(capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, narrowName));
      break;
  }
  if (!handle) return nullptr;
  if (followsFiles) capi::CertControlStore(handle.get(), 0, capi::CERT_STORE_CTRL_AUTO_RESYNC, nullptr);

  KsCertStore* store = nullptr;
  dcfCreateInstance<KsCertStore>(&store);
  store->Attach(handle.release(), /*forceClose=*/false, static_cast<ksCertUtility*>(this));
  return store;
}

HRESULT KsCertLib::OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName,
                                 plat::BSTR location, ksCertStore** store) {
  if (store == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    return HandOut<ksCertStore>(OpenStore(storeName, distinguishedName, location), store);
  });
}

HRESULT KsCertLib::OpenCertStore(plat::BSTR storeName, plat::BSTR distinguishedName,
                                 plat::BSTR location, ksCertStore2** store) {
  if (store == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    return HandOut<ksCertStore2>(OpenStore(storeName, distinguishedName, location), store);
  });
}

KsCertChainEngine* KsCertLib::MakeEngine(plat::BSTR location) {
  KsCertChainEngine* engine = nullptr;
  dcfCreateInstance<KsCertChainEngine>(&engine);
  engine->SetOwner(static_cast<ksCertUtility*>(this));
  switch (MatchLocationExactly(location)) {
    case KsCertLocation::LocalMachine:
      engine->UseSystemDefault(capi::StoreLocation::LocalMachine);
      break;
    case KsCertLocation::CurrentUser:
      engine->UseSystemDefault(capi::StoreLocation::CurrentUser);
      break;
    default:
      break;  // the engine builds its own from its stores when first needed
  }
  return engine;
}

HRESULT KsCertLib::CreateCertChainEngine(plat::BSTR location, ksCertChainEngine** engine) {
  if (engine == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] { return HandOut<ksCertChainEngine>(MakeEngine(location), engine); });
}

HRESULT KsCertLib::CreateCertChainEngine(ksCertChainEngine2** engine) {
  if (engine == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] { return HandOut<ksCertChainEngine2>(MakeEngine(nullptr), engine); });
}

HRESULT KsCertLib::CreateCertChainEngine(plat::BSTR location, ksCertChainEngine2** engine) {
  if (engine == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] { return HandOut<ksCertChainEngine2>(MakeEngine(location), engine); });
}

HRESULT KsCertLib::CreateCertName(ksCertName** name) {
  if (name == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] { return HandOut<ksCertName>(MakeName(), name); });
}

HRESULT KsCertLib::CreateCertName(ksCertName2** name) {
  if (name == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] { return HandOut<ksCertName2>(MakeName(), name); });
}

KsCertName* KsCertLib::MakeName() {
  // A name keeps no owner.
  KsCertName* made = nullptr;
  dcfCreateInstance<KsCertName>(&made);
  return made;
}

HRESULT KsCertLib::CreateCertArray(const ksCertBlob* certs, std::uint32_t count, ksCertArray** array) {
  if (array == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&]() -> HRESULT {
    KsCertArray* made = nullptr;
    dcfCreateInstance<KsCertArray>(&made);
    dcfComPtr<KsCertArray> holder;
    holder.Attach(made);
    made->SetOwner(static_cast<ksCertUtility*>(this));
    if (certs != nullptr) {
      for (std::uint32_t i = 0; i < count; ++i) {
        if (!made->Add(certs[i].data, certs[i].length)) {
          *array = nullptr;
          return S_FALSE;
        }
      }
    }
    made->AddRef();
    *array = made;
    return S_OK;
  });
}

HRESULT KsCertLib::GetCertFieldCode(plat::BSTR fieldName, std::int32_t* code) {
  if (code == nullptr) return E_POINTER;
  *code = LookupCertFieldCode(fieldName);
  return S_OK;
}
