#include "ksLib_OSSL/openssl_eap_tls_peer.h"

#include <strings.h>

#include <algorithm>
#include <new>

#include <dcf/dcfBytes.h>
#include <dcf/dcfEapHeader.h>

#include "ksLib_OSSL/tls_prf.h"
#include "tls-extensions/external_signer.h"

namespace {

constexpr std::uint8_t kFlagLength = 0x80;
constexpr std::uint8_t kFlagMore = 0x40;
constexpr std::uint8_t kFlagStart = 0x20;
constexpr std::uint8_t kVersionBits = 0x03;

constexpr std::uint32_t kFramingHeader = 6;   // the typed header and the flags byte
constexpr std::uint32_t kLengthField = 4;
constexpr std::uint32_t kMaxEapLength = 0xFFFF;

}  // namespace

OpenSslEapTlsPeer::OpenSslEapTlsPeer(TlsContext* context)
    : resumptionTimeout_(context->DefaultResumptionTimeout()) {
  context->AddRef();
  context_.Attach(context);
}

OpenSslEapTlsPeer::~OpenSslEapTlsPeer() { connection_.reset(); }

std::uint32_t OpenSslEapTlsPeer::EnableEapType(const char* name) {
  constexpr std::uint32_t kUnknownName = 0xFFFFFFFF;
  std::uint32_t index = 0;
  if (name == nullptr) return kUnknownName;
  if (strcasecmp(name, "TLS") == 0) index = 0;
  else if (strcasecmp(name, "TTLS") == 0) index = 1;
  else if (strcasecmp(name, "PEAP") == 0) index = 3;
  else return kUnknownName;
  if (types_[index].enabled) return kAlreadyEnabled;
  types_[index].enabled = true;
  enabled_[enabledCount_++] = index;
  return 0;
}

std::uint32_t OpenSslEapTlsPeer::SetMaxMessageSize(std::uint32_t bytes) {
  maxMessageSize_ = bytes;
  return 0;
}

std::uint32_t OpenSslEapTlsPeer::SetPeapVersionRange(std::uint32_t lowest, std::uint32_t highest) {
  peapMin_ = static_cast<std::uint8_t>(std::min<std::uint32_t>(lowest, 0xFF));
  peapMax_ = highest < 2 ? static_cast<std::uint8_t>(highest) : 1;
  return 0;
}

std::uint32_t OpenSslEapTlsPeer::SetSessionResumptionTimeout(std::uint32_t seconds) {
  resumptionTimeout_ = seconds;
  return 0;
}

std::uint32_t OpenSslEapTlsPeer::CreateConnection() {
  auto* made = new (std::nothrow) TlsConnection(*context_, *this);
  if (made == nullptr) return TlsContext::kOutOfMemory;
  connection_.reset(made);
  const std::int32_t opened = connection_->Open(resumptionTimeout_, &chainVerdictHook_);
  // Without the client's RSA certificate, or with its key in the context, there is nothing
  // for the signer to do.
  if (opened == 0 && signer_ != nullptr) {
    context_->InstallExternalSigner(connection_->ssl(), SignThroughHost, this);
  }
  return static_cast<std::uint32_t>(opened);
}

int OpenSslEapTlsPeer::SignThroughHost(void* peer, const std::uint8_t* input,
                                       std::uint32_t inputLength, std::uint32_t keySize,
                                       std::uint8_t* out, std::uint32_t capacity,
                                       std::uint32_t* outLength) noexcept {
  constexpr char kRsa = 'r';
  const auto& self = *static_cast<const OpenSslEapTlsPeer*>(peer);
  *outLength = 0;
  return self.signer_(self.signerArgument_, kRsa, keySize, input, inputLength, 0, 0, out, capacity,
                      outLength) == 0
             ? 0
             : -1;
}

std::uint32_t OpenSslEapTlsPeer::SetExternalSigner(ExternalSigner signer, void* argument) {
  signer_ = signer;
  signerArgument_ = argument;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::DeriveKeyMaterial(const char* label, std::uint8_t* out,
                                                  std::uint32_t length) const {
  return TlsPrf(*this, label, out, length);
}

std::uint32_t OpenSslEapTlsPeer::SetChainVerifyHook(ChainVerifyHook callback, void* argument) {
  chainVerdictHook_ = {callback, argument};
  if (connection_) connection_->SetChainVerifyHook(&chainVerdictHook_);
  return 0;
}

bool OpenSslEapTlsPeer::IsPeap() const { return eapType_ == kEapTypePeap; }

std::uint8_t OpenSslEapTlsPeer::VersionBits() const { return IsPeap() ? peapVersion_ : 0; }

std::int32_t OpenSslEapTlsPeer::ProcessRequest(const std::uint8_t* packet, std::uint32_t length) {
  std::uint8_t code = 0;
  std::uint8_t identifier = 0;
  std::uint16_t eapLength = 0;
  if (packet == nullptr || length < kEapTypedHeaderSize ||
      !ParseEapHeader(packet, length, code, identifier, eapLength) || eapLength < kEapTypedHeaderSize ||
      code != kEapCodeRequest) {
    return -1;
  }
  const std::uint8_t type = packet[4];
  const std::uint8_t* data = packet + kEapTypedHeaderSize;
  std::uint32_t dataLength = eapLength - kEapTypedHeaderSize;

  // Which of our types the conversation uses: chosen by the first request we accept.
  std::int32_t selected = selected_;
  if (responseState_ == kNotStarted) {
    selected = -1;
    for (std::uint32_t i = 0; i < enabledCount_; ++i) {
      if (types_[enabled_[i]].eapType == type) {
        selected = static_cast<std::int32_t>(enabled_[i]);
        break;
      }
    }
    if (selected < 0) {  // not ours: GetResponse answers with a Nak
      lastId_ = identifier;
      return 0;
    }
  } else if (type != eapType_) {
    return -1;
  }
  const bool peap = type == kEapTypePeap;

  // The framing, worked out on copies: a rejected request changes nothing.
  Event event = Event::kEmpty;
  std::uint32_t remaining = remaining_;
  std::uint8_t peapVersion = peap && responseState_ == kNotStarted ? peapMax_ : peapVersion_;
  bool fixVersion = false;
  if (dataLength > 0) {
    const std::uint8_t flags = data[0];
    ++data;
    --dataLength;
    if (peap) {
      const std::uint8_t version = flags & kVersionBits;
      if (!peapVersionFixed_) {
        if (version < peapMin_) return -1;
        peapVersion = std::min(version, peapMax_);
        fixVersion = true;
      } else if (version != peapVersion_) {
        return -1;
      }
    }
    bool decided = false;
    if ((flags & kFlagLength) != 0) {
      std::uint32_t total = 0;
      if (!ReadBigEndian32(data, dataLength, total)) return -1;
      data += kLengthField;
      dataLength -= kLengthField;
      // The announced size bounds the reassembly before any byte of it is kept.
      if (total > maxMessageSize_) return -1;
      if (remaining == 0) {
        remaining = total;
        if (total == 0) decided = true;  // an empty message
      }
    }
    if (decided) {
      event = Event::kEmpty;
    } else if (remaining != 0) {
      if (dataLength == 0 || dataLength > remaining) return -1;
      remaining -= dataLength;
      if ((flags & kFlagMore) != 0) {
        if (remaining == 0) return -1;
        event = Event::kMore;
      } else {
        if (remaining != 0) return -1;
        event = Event::kComplete;
      }
    } else if ((flags & kFlagStart) != 0) {
      event = Event::kStart;
    } else if (dataLength == 0) {
      event = Event::kEmpty;
    } else if ((flags & kFlagMore) != 0) {
      return -1;  // fragments must announce the total length first
    } else {
      event = Event::kComplete;
    }
  }

  // Each event belongs to one response state.
  switch (event) {
    case Event::kComplete:
    case Event::kMore:
      if (responseState_ != kWaitingForServer) return -1;
      if (std::uint64_t{receivedBytes_} + dataLength > maxMessageSize_) return -1;
      break;
    case Event::kStart:
      if (responseState_ != kNotStarted || !connection_) return -1;
      break;
    case Event::kEmpty:
      if (responseState_ != kWaitingForServer && responseState_ != kSendingFragments) return -1;
      break;
  }

  lastId_ = identifier;
  selected_ = selected;
  eapType_ = type;
  remaining_ = remaining;
  if (peap) {
    peapVersion_ = peapVersion;
    if (fixVersion) peapVersionFixed_ = true;
  }

  switch (event) {
    case Event::kComplete: {
      receivedBytes_ += dataLength;
      const std::int32_t fed = connection_->FeedAndPump(data, dataLength);
      receivedBytes_ = 0;
      if (fed != 0 || connection_->Pump() != 0) return -1;
      return CollectHandshakeOutput();
    }
    case Event::kMore:
      return FeedFragment(data, dataLength);  // an acknowledgement follows
    case Event::kStart:
      if (connection_->Pump() != 0) return -1;
      return CollectHandshakeOutput();
    case Event::kEmpty:
      if (responseState_ == kSendingFragments) return 0;  // the server took a fragment
      responseState_ = kOutputPending;
      return connection_ && !connection_->FlushNetworkOutput() ? -1 : 0;
  }
  return -1;
}

std::int32_t OpenSslEapTlsPeer::FeedFragment(const std::uint8_t* data, std::uint32_t length) {
  receivedBytes_ += length;
  return connection_->Feed(data, length) == 0 ? 0 : -1;
}

std::int32_t OpenSslEapTlsPeer::CollectHandshakeOutput() {
  responseState_ = kOutputPending;
  if (!handshakeSeen_ && connection_->state() != TlsConnection::kEstablished) return 0;
  if (!handshakeSeen_) {
    handshakeSeen_ = true;
    if (!connection_->FlushNetworkOutput()) return -1;
    if (outgoing_.Empty()) handshakeOutputSent_ = true;
  }
  return 0;
}

std::int32_t OpenSslEapTlsPeer::BuildEmptyResponse(std::uint8_t* buffer, std::uint32_t size,
                                            std::uint32_t* length) const {
  if (size < kFramingHeader) return -1;
  WriteEapResponseHeader(buffer, lastId_, eapType_, static_cast<std::uint16_t>(kFramingHeader));
  buffer[5] = VersionBits();
  *length = kFramingHeader;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::GetResponse(std::uint8_t* buffer, std::uint32_t size,
                                     std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return -1;
  switch (responseState_) {
    case kNotStarted:
      if (nakIndex_ >= enabledCount_ || size < kFramingHeader) return -1;
      WriteEapResponseHeader(buffer, lastId_, kEapTypeNak, static_cast<std::uint16_t>(kFramingHeader));
      buffer[5] = types_[enabled_[nakIndex_++]].eapType;
      *length = kFramingHeader;
      return 0;
    case kWaitingForServer:
      return BuildEmptyResponse(buffer, size, length);
    case kOutputPending:
      if (connection_ && !connection_->FlushNetworkOutput()) return -1;
      if (outgoing_.Empty()) {
        if (BuildEmptyResponse(buffer, size, length) != 0) return -1;
        responseState_ = kWaitingForServer;
        return 0;
      }
      responseState_ = kSendingFragments;
      break;
    default:
      break;
  }
  if (responseState_ != kSendingFragments) return -1;

  // One EAP packet holds at most 65535 bytes, whatever the buffer.
  const std::uint32_t room = std::min(size, kMaxEapLength);
  if (room <= kFramingHeader + kLengthField) return -1;
  const std::uint32_t total = outgoing_.Length();
  std::uint32_t chunk = total - sendOffset_;
  std::uint32_t header = kFramingHeader;
  std::uint8_t flags = VersionBits();
  const bool fitsWhole = kFramingHeader + chunk <= room;
  if (sendOffset_ == 0 && !(IsPeap() && fitsWhole && tunnelWritten_)) {
    flags |= kFlagLength;
    header += kLengthField;
  }
  if (header + chunk > room) {
    flags |= kFlagMore;
    chunk = room - header;
  }
  WriteEapResponseHeader(buffer, lastId_, eapType_, static_cast<std::uint16_t>(header + chunk));
  buffer[5] = flags;
  if (header > kFramingHeader) {
    buffer[6] = static_cast<std::uint8_t>(total >> 24);
    buffer[7] = static_cast<std::uint8_t>(total >> 16);
    buffer[8] = static_cast<std::uint8_t>(total >> 8);
    buffer[9] = static_cast<std::uint8_t>(total);
  }
  std::copy_n(outgoing_.Data() + sendOffset_, chunk, buffer + header);
  *length = header + chunk;
  sendOffset_ += chunk;
  if (sendOffset_ == total) {
    sendOffset_ = 0;
    outgoing_.Clear();
    responseState_ = kWaitingForServer;
    if (handshakeSeen_) handshakeOutputSent_ = true;
  }
  return 0;
}

bool OpenSslEapTlsPeer::NetworkOutput(const std::uint8_t* bytes, std::uint32_t count) {
  try {
    outgoing_.Append(bytes, count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool OpenSslEapTlsPeer::ApplicationData(const std::uint8_t* bytes, std::uint32_t count) {
  try {
    tunnel_.Append(bytes, count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::int32_t OpenSslEapTlsPeer::WriteInnerEap(const std::uint8_t* packet, std::uint32_t length) {
  if (!connection_ || connection_->state() != TlsConnection::kEstablished || packet == nullptr) {
    return -1;
  }
  try {
    tunnelWritten_ = true;
    if (!IsPeap() || peapVersion_ != 0) {
      return connection_->WriteApplicationData(packet, length) == 0 ? 0 : -1;
    }
    SecureByteArray compressed;
    if (!CompressPeapV0Packet(packet, length, peapV0_, compressed)) return -1;
    return connection_->WriteApplicationData(compressed.Data(), compressed.Length()) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

std::int32_t OpenSslEapTlsPeer::ReadInnerEap(std::uint8_t* buffer, std::uint32_t size,
                                             std::uint32_t* length) {
  if (length == nullptr) return -1;
  *length = 0;
  if (tunnel_.Empty()) return 0;
  try {
    SecureByteArray expanded;
    PeapV0State state = peapV0_;
    const SecureByteArray* packet = &tunnel_;
    if (IsPeap() && peapVersion_ == 0) {
      if (tunnel_.Length() > kMaxEapLength - kEapHeaderSize) return -1;
      // A resumed session skips the first, header-less inner packet.
      bool resumed = false;
      if (!state.innerSeen && IsSessionResumed(&resumed) == 0 && resumed) state.innerSeen = true;
      ExpandPeapV0Packet(tunnel_.Data(), tunnel_.Length(), lastId_, state, expanded);
      packet = &expanded;
    }
    *length = packet->Length();
    // Too small: the caller learns the size and may ask again; nothing is lost.
    if (buffer == nullptr || size < packet->Length()) return kInnerBufferTooSmall;
    std::copy_n(packet->Data(), packet->Length(), buffer);
    peapV0_ = state;
    tunnel_.Clear();  // wipes
    return 0;
  } catch (const std::bad_alloc&) {
    *length = 0;
    return -1;
  }
}

std::int32_t OpenSslEapTlsPeer::GetTlsStatus(std::uint32_t* status) const {
  if (!handshakeSeen_) *status = 0;
  else if (selected_ == 0 || responseState_ != kOutputPending) *status = kHandshakeDone;
  else *status = kHandshakeDone | kTunnelOpen | (handshakeOutputSent_ ? kHandshakeOutputSent : 0);
  return 0;
}

std::int32_t OpenSslEapTlsPeer::GetLastTlsError(std::uint32_t* error) const {
  *error = connection_ ? connection_->firstError() : 0;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::GetFirstAlert(std::uint32_t* alert) const {
  *alert = connection_ ? connection_->firstAlert() : 0;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::IsSessionResumed(bool* resumed) const {
  if (!connection_ || connection_->state() != TlsConnection::kEstablished) return -1;
  *resumed = SSL_session_reused(connection_->ssl()) == 1;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::GetCipherSuite(std::uint16_t* suite) const {
  if (!connection_ || connection_->state() != TlsConnection::kEstablished) return -1;
  const SSL_CIPHER* cipher = SSL_get_current_cipher(connection_->ssl());
  if (cipher == nullptr) return -1;
  *suite = SSL_CIPHER_get_protocol_id(cipher);
  return 0;
}

std::int32_t OpenSslEapTlsPeer::GetPeapVersion(std::uint32_t* version) const {
  if (!peapVersionFixed_) return -1;
  *version = peapVersion_;
  return 0;
}

std::int32_t OpenSslEapTlsPeer::SaveSession() {
  if (!connection_ || connection_->state() != TlsConnection::kEstablished) return -1;
  SSL* ssl = connection_->ssl();
  SSL_SESSION* session = SSL_get_session(ssl);
  if (session == nullptr || SSL_session_reused(ssl) == 1) return 0;
  unsigned int idLength = 0;
  SSL_SESSION_get_id(session, &idLength);
  if (idLength == 0) return 0;
  context_->CacheSession(session);
  return 0;
}

std::int32_t OpenSslEapTlsPeer::DropSession() {
  if (!connection_ || connection_->ssl() == nullptr) return -1;
  context_->ForgetSession(SSL_get_session(connection_->ssl()));
  return 0;
}
