#include "ksCert/KsComObject.h"

#include <dcf/dcfSourceFiles.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "ksCert/dcfCom.h"
#include "ksCert/test_support.h"

namespace {

using kscert_test::HandledExceptions;

constexpr IID IID_Probe = {0x12345678, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

struct IProbe : IUnknown {
  // Throws what `kind` names inside the envelope, or returns S_OK.
  virtual HRESULT Run(int kind) = 0;
};

class Probe final : public IProbe, public KsComObject {
public:
  static HRESULT creatorResult;  // what CreateInstance answers instead of making one

  static HRESULT CreateInstance(Probe** object) {
    if (FAILED(creatorResult)) return creatorResult;
    return Created(new (std::nothrow) Probe, object);
  }
  HRESULT QueryInterface(const IID& iid, void** object) override {
    const KsInterfaceEntry map[] = {{IID_Probe, static_cast<IProbe*>(this)}};
    return QueryMap(map, iid, object);
  }
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  static constexpr int kRunLine = __LINE__ + 2;
  HRESULT Run(int kind) override {
    return RunGuarded(__LINE__, [&]() -> HRESULT {
      switch (kind) {
        case 1:
          dcfThrowRangeException(dcfRangeException("index out of range"), 7, "somewhere");
        case 2:
          throw std::runtime_error("not ours");
        case 3: {
          dcfSequenceException deep("deep");
          for (int i = 0; i < 4; ++i) deep.NextLevel();
          throw deep;
        }
        default:
          return S_OK;
      }
    });
  }

private:
  Probe() : KsComObject("ProbeSource") {}
};
HRESULT Probe::creatorResult = S_OK;

TEST(CertObjectModel, CreationGivesOneReferenceAndTheLastReleaseDestroys) {
  const std::uint32_t before = KsCertObjectCount();
  IProbe* probe = nullptr;
  dcfCreateInstance<Probe>(&probe);
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(KsCertObjectCount(), before + 1);
  EXPECT_EQ(probe->AddRef(), 2u);
  EXPECT_EQ(probe->Release(), 1u);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_EQ(KsCertObjectCount(), before);
}

TEST(CertObjectModel, FailedCreationThrowsWithTheCreatorsResult) {
  for (HRESULT result : {E_OUTOFMEMORY, E_FAIL}) {
    Probe::creatorResult = result;
    IProbe* untouched = reinterpret_cast<IProbe*>(0x1);
    try {
      dcfCreateInstance<Probe>(&untouched);
      ADD_FAILURE() << "no exception";
    } catch (const dcfRunTimeException& e) {
      EXPECT_EQ(e.Code(), result);
      EXPECT_STREQ(e.TypeName(), "dcfRunTimeException");
      EXPECT_EQ(e.Depth(), 0);
      EXPECT_STREQ(e.Frame(0).message, "dcfCreateInstance: Error on CreateInstance()");
      EXPECT_STREQ(e.Frame(0).file, dcfSourceFile::kDcfCom);
      EXPECT_EQ(e.Frame(0).line, 485);
    }
    EXPECT_EQ(untouched, reinterpret_cast<IProbe*>(0x1));
  }
  Probe::creatorResult = S_OK;
}

TEST(CertObjectModel, QueryInterfaceFollowsTheMap) {
  IProbe* probe = nullptr;
  dcfCreateInstance<Probe>(&probe);
  EXPECT_EQ(probe->QueryInterface(IID_Probe, nullptr), E_POINTER);
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(probe->QueryInterface(IID_ksCert, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(probe->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(probe));
  EXPECT_EQ(kscert_test::CountOf(probe), 2u);
  static_cast<IUnknown*>(out)->Release();
  probe->Release();
}

// Every exception inside an operation becomes S_FALSE and gets one frame of the catch site.
TEST(CertObjectModel, EnvelopeHandlesEveryException) {
  struct Case {
    int kind;
    const char* typeName;
    int depth;
    const char* frame0;
    const char* lastMessage;
  };
  const Case cases[] = {
      {1, "dcfRangeException", 1, "index out of range", "Exception Handled"},
      {2, "dcfRunTimeException", 1, "non-DCF exception caught in ksCert implementation", "Exception Handled"},
      {3, "dcfSequenceException", 4, "deep", "!!! exception levels exceeded !!!"},
  };
  IProbe* probe = nullptr;
  dcfCreateInstance<Probe>(&probe);
  for (const Case& c : cases) {
    HandledExceptions handled;
    EXPECT_EQ(probe->Run(c.kind), S_FALSE) << c.kind;
    ASSERT_EQ(handled.All().size(), 1u) << c.kind;
    const dcfException& e = handled.All()[0];
    EXPECT_STREQ(e.TypeName(), c.typeName);
    EXPECT_EQ(e.Depth(), c.depth);
    EXPECT_STREQ(e.Frame(0).message, c.frame0);
    EXPECT_STREQ(e.Frame(c.depth).message, c.lastMessage);
    EXPECT_STREQ(e.Frame(c.depth).file, "ProbeSource");
    EXPECT_EQ(e.Frame(c.depth).line, Probe::kRunLine);
  }
  HandledExceptions none;
  EXPECT_EQ(probe->Run(0), S_OK);
  EXPECT_TRUE(none.All().empty());
  probe->Release();
}

}  // namespace
