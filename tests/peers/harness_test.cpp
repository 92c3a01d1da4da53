// The harness itself, with an EAP-MD5 responder written here from RFC 3748 and RFC 1994
// (MD5 over identifier, secret and challenge, through OpenSSL): it proves the namespace,
// hostapd, the EAPOL port and the relay before any method of ours takes part.
#include <openssl/evp.h>

#include "tests/peers/hostapd_fixture.h"

namespace peers {
namespace {

class OpenSslMd5Responder : public EapResponder {
 public:
  explicit OpenSslMd5Responder(std::string secret) : secret_(std::move(secret)) {}

  std::optional<Bytes> OnRequest(std::span<const uint8_t> request) override {
    if (request.size() < 6 || request[4] != 4 || request.size() < 6u + request[5]) {
      return std::nullopt;
    }
    Bytes input = {request[1]};
    input.insert(input.end(), secret_.begin(), secret_.end());
    input.insert(input.end(), request.begin() + 6, request.begin() + 6 + request[5]);
    Bytes response = {2, request[1], 0, 22, 4, 16};
    response.resize(22);
    unsigned int size = 0;
    EVP_Digest(input.data(), input.size(), response.data() + 6, &size, EVP_md5(), nullptr);
    return response;
  }

 private:
  std::string secret_;
};

class HarnessTest : public HostapdTest {};

TEST_F(HarnessTest, RelaysAConversationAndDeauthenticationLiftsTheHoldAfterFailure) {
  StartHostapd({.eapUsers = {"\"alice\" MD5 \"secret\""}});
  const MacAddress station = NewStation();

  OpenSslMd5Responder wrong("wrong");
  EapTranscript failed = Converse("alice", wrong, station);
  EXPECT_EQ(failed.outcome, EapOutcome::kFailure) << Describe(failed);

  // Without the deauthentication that Converse does, hostapd would ignore this MAC for 60 s.
  OpenSslMd5Responder right("secret");
  EapTranscript passed = Converse("alice", right, station);
  ASSERT_EQ(passed.outcome, EapOutcome::kSuccess) << Describe(passed);
  ASSERT_EQ(passed.sent.size(), 2u);
  EXPECT_EQ(passed.sent[0], (Bytes{2, passed.received[0][1], 0, 10, 1, 'a', 'l', 'i', 'c', 'e'}));
}

TEST(EapolFrameTest, ParsesByTheEapolLengthAndRejectsShortBodies) {
  Bytes frame = {1, 0x80, 0xC2, 0, 0, 3, 2, 0, 0, 0, 0, 1, 0x88, 0x8E, 2, 0, 0, 5, 1, 7, 0, 5, 1};
  frame.resize(60, 0);  // padded to the Ethernet minimum
  auto parsed = ParseEapolFrame(frame);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->body, (Bytes{1, 7, 0, 5, 1}));
  EXPECT_EQ(parsed->destination, kPaeGroupAddress);

  frame.resize(22);  // one byte short of the EAPOL length
  EXPECT_FALSE(ParseEapolFrame(frame));
  frame[12] = 0x08;  // not EAPOL
  frame.resize(60);
  EXPECT_FALSE(ParseEapolFrame(frame));
}

}  // namespace
}  // namespace peers
