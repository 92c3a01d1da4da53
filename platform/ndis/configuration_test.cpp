// Registry parameters as the miniport reads them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/ndis/test_miniport.h"

namespace ndis {
namespace {

using testing::TestAdapter;

// Runs the body with an open configuration of the adapter, as a miniport's start-up would.
void WithConfiguration(TestAdapter& a, const std::function<void(NDIS_HANDLE)>& body) {
  a.run(PASSIVE_LEVEL, [&] {
    NDIS_STATUS status;
    NDIS_HANDLE handle;
    NdisOpenConfiguration(&status, &handle, a.miniport.configuration);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    body(handle);
    NdisCloseConfiguration(handle);
  });
}

struct ReadCase {
  const char* keyword;
  NDIS_PARAMETER_TYPE type;
  NDIS_STATUS status;
  ULONG integer;
};

TEST(RuntimeConfiguration, IntegersParseByTheirTypeAndMissingOrMalformedValuesFail) {
  AdapterConfig config;
  config.parameters = {{"FragThsd", "2346"}, {"TxAntenna", "FFFF"}, {"RxAntenna", "0x2"},
                       {"SignalThsds", "-70"}, {"Channel", "12a"},   {"RTSThsd", "4294967296"},
                       {"Empty", ""}};
  TestAdapter a(config);
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  const ReadCase cases[] = {
      {"FragThsd", NdisParameterInteger, NDIS_STATUS_SUCCESS, 2346},
      {"fragthsd", NdisParameterInteger, NDIS_STATUS_SUCCESS, 2346},  // names ignore case
      {"TxAntenna", NdisParameterHexInteger, NDIS_STATUS_SUCCESS, 0xFFFF},
      {"RxAntenna", NdisParameterHexInteger, NDIS_STATUS_SUCCESS, 2},
      {"SignalThsds", NdisParameterInteger, NDIS_STATUS_SUCCESS, static_cast<ULONG>(-70)},
      {"TxAntenna", NdisParameterInteger, NDIS_STATUS_FAILURE, 0},  // hex digits are not decimal
      {"Channel", NdisParameterInteger, NDIS_STATUS_FAILURE, 0},
      {"RTSThsd", NdisParameterInteger, NDIS_STATUS_FAILURE, 0},  // does not fit in 32 bits
      {"Empty", NdisParameterInteger, NDIS_STATUS_FAILURE, 0},
      {"Missing", NdisParameterInteger, NDIS_STATUS_FAILURE, 0},
  };
  WithConfiguration(a, [&](NDIS_HANDLE handle) {
    NDIS_STATUS status;
    for (const ReadCase& c : cases) {
      std::u16string wide(c.keyword, c.keyword + std::strlen(c.keyword));
      NDIS_STRING keyword;
      NdisInitUnicodeString(&keyword, wide.c_str());
      PNDIS_CONFIGURATION_PARAMETER parameter = nullptr;
      NdisReadConfiguration(&status, &parameter, handle, &keyword, c.type);
      EXPECT_EQ(status, c.status) << c.keyword;
      if (status == NDIS_STATUS_SUCCESS) {
        EXPECT_EQ(parameter->ParameterData.IntegerData, c.integer) << c.keyword;
      }
    }
  });
  EXPECT_TRUE(a.host->leaks().empty());
}

TEST(RuntimeConfiguration, StringsComeAsUtf16AndConvertToSingleBytesWithoutOverrunning) {
  AdapterConfig config;
  config.parameters = {{"DesiredSSID", "caf\xC3\xA9 \xE2\x82\xAC"}, {"DriverDesc", "Wireless adapter"}};
  TestAdapter a(config);
  ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
  WithConfiguration(a, [&](NDIS_HANDLE handle) {
    NDIS_STATUS status;
    NDIS_STRING keyword;
    NdisInitUnicodeString(&keyword, u"DesiredSSID");
    PNDIS_CONFIGURATION_PARAMETER parameter = nullptr;
    NdisReadConfiguration(&status, &parameter, handle, &keyword, NdisParameterString);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    const NDIS_STRING& text = parameter->ParameterData.StringData;
    EXPECT_EQ(std::u16string(text.Buffer, text.Length / 2), u"caf\u00E9 \u20AC");

    char narrow[8];
    ANSI_STRING ansi{0, sizeof narrow, narrow};
    EXPECT_EQ(NdisUnicodeStringToAnsiString(&ansi, &text), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(std::string(narrow, ansi.Length), "caf\xE9 ?");  // Latin-1; the euro has no byte

    char tiny[3];
    ANSI_STRING cut{0, sizeof tiny, tiny};
    EXPECT_EQ(NdisUnicodeStringToAnsiString(&cut, &text), NDIS_STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(std::string(tiny, cut.Length), "caf");
  });
}

TEST(RuntimeConfiguration, NetworkAddressIsReadFromHexDigits) {
  struct Case {
    const char* text;
    NDIS_STATUS status;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"02AABBCCDDEE", NDIS_STATUS_SUCCESS, {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}},
      {"02-aa-bb-cc-dd-ee", NDIS_STATUS_SUCCESS, {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}},
      {"02AABB", NDIS_STATUS_SUCCESS, {0x02, 0xAA, 0xBB}},  // the driver decides what length it takes
      {"02AABBCCDDE", NDIS_STATUS_FAILURE, {}},
      {"02AABBCCDDEG", NDIS_STATUS_FAILURE, {}},
      {nullptr, NDIS_STATUS_FAILURE, {}},
  };
  for (const Case& c : cases) {
    AdapterConfig config;
    if (c.text != nullptr) config.parameters["NetworkAddress"] = c.text;
    TestAdapter a(config);
    ASSERT_EQ(a.host->initialize(), NDIS_STATUS_SUCCESS);
    WithConfiguration(a, [&](NDIS_HANDLE handle) {
      NDIS_STATUS status;
      PVOID address = nullptr;
      UINT length = 0;
      NdisReadNetworkAddress(&status, &address, &length, handle);
      EXPECT_EQ(status, c.status) << (c.text ? c.text : "(none)");
      const auto* bytes = static_cast<const std::uint8_t*>(address);
      EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + length), c.bytes);
    });
  }
}

}  // namespace
}  // namespace ndis
