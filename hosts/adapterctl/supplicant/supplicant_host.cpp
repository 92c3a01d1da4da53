#include "hosts/adapterctl/supplicant/supplicant_host.h"

#include <algorithm>
#include <cstring>

#include "driver/ndis/private_oids.h"
#include "hosts/adapterctl/device/published_oids.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/adapterctl/supplicant/association_elements.h"

namespace zelcon {
namespace {

constexpr uint32_t kAssociationInformationBytes = 1024;
constexpr size_t kMaxPmkidCandidates = 16;  // what the library takes
constexpr uint16_t kEtherTypeEapol = 0x888E;
constexpr size_t kEthernetHeaderBytes = 14;
constexpr size_t kSendFrameMax = 1514;
// How long a key waits for the frames before it; the driver sends within milliseconds.
constexpr std::chrono::milliseconds kSendWait{1000};

// EAP types of the identity's methods, and MS-CHAP-V2 inside PEAP and TTLS.
constexpr uint32_t kEapTls = 13;
constexpr uint32_t kEapLeap = 17;
constexpr uint32_t kEapTtls = 21;
constexpr uint32_t kEapPeap = 25;
constexpr uint32_t kEapMsChapV2 = 26;
constexpr uint32_t kTtlsInnerMsChapV2 = 4;

constexpr char kAuthenticationFailed[] = "Authentication failed";

// ZelconSetWPAInformation carries the profile's authentication code (not the adapter's):
// 2 WPA-PSK, 9 WPA2-PSK; 3, 5, 6, 7 WPA and 10, 11, 12, 14 WPA2 with an EAP method; 8, 13,
// 15, 16, 17 802.1X (CCX or dynamic WEP); 0, 1, 4 open, shared or automatic (no supplicant).
bool PassphraseNetwork(uint32_t authMode) { return authMode == 2 || authMode == 9; }
bool WpaProfile(uint32_t authMode) {
  return authMode == 2 || authMode == 3 || authMode == 5 || authMode == 6 || authMode == 7;
}
bool Wpa2Profile(uint32_t authMode) {
  return authMode == 9 || authMode == 10 || authMode == 11 || authMode == 12 || authMode == 14;
}
bool EapNetwork(uint32_t authMode) { return authMode > 2 && authMode != 4 && authMode != 9 && authMode <= 17; }
constexpr uint32_t kEncryptionTkip = 2, kEncryptionAes = 3;
// The key index the library gives the CCKM key-request key (KRK): its own, not the driver's.
constexpr uint32_t kCckmKeyRequestKeyIndex = 0xFFFFFFFF;
constexpr uint32_t kCcxFlagCckm = 0x4;  // OID_HLVN_CCX_FLAGS: the host answers CCKM requests
constexpr uint32_t kCckmElementMax = 128;  // what OID_HLVN_CCX_CCKM_ELEMENT carries

uint32_t AssociationMode(const WpaNetwork& network) {
  const bool wpaCipher = network.encryption == kEncryptionTkip || network.encryption == kEncryptionAes;
  if (wpaCipher && WpaProfile(network.authMode)) return KSSTK_ASSOCIATION_WPA;
  if (wpaCipher && Wpa2Profile(network.authMode)) return KSSTK_ASSOCIATION_RSN;
  return EapNetwork(network.authMode) ? KSSTK_ASSOCIATION_8021X : KSSTK_ASSOCIATION_STATIC;
}

uint32_t Cipher(uint32_t encryption) {
  switch (encryption) {
    case 1: return KSSTK_CIPHER_WEP;
    case 2: return KSSTK_CIPHER_TKIP;
    case 3: return KSSTK_CIPHER_CCMP;
    default: return 0;
  }
}

std::vector<uint8_t> Bytes(const void* record, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace

WpaNetwork::~WpaNetwork() { Wipe(passphrase); }

bool NeedsSupplicant(const WpaNetwork& network) {
  return PassphraseNetwork(network.authMode) || EapNetwork(network.authMode);
}

std::unique_ptr<SupplicantHost> SupplicantHost::Start(AdapterOids& adapter, Notifier& notifier,
                                                      const std::string& libraryPath, std::string& error) {
  std::unique_ptr<PentrelModule> pentrel = PentrelModule::Load(libraryPath, error);
  if (!pentrel) return nullptr;
  std::unique_ptr<SupplicantHost> host(new SupplicantHost(adapter, notifier, std::move(pentrel)));
  if (!host->Open(error)) return nullptr;
  return host;
}

SupplicantHost::SupplicantHost(AdapterOids& adapter, Notifier& notifier, std::unique_ptr<PentrelModule> pentrel)
    : adapter_(adapter), notifier_(notifier), pentrel_(std::move(pentrel)) {}

bool SupplicantHost::Open(std::string& error) {
  if (pentrel_->KSSTK_Initialize() != 0) {
    error = "the supplicant library did not start";
    pentrel_->KSSTK_Terminate();
    return false;
  }
  pentrel_->KSSTK_CreateContext(&context_);
  if (context_ != nullptr) pentrel_->KSSTK_CONTEXT_Initialize(context_);
  if (context_ != nullptr) pentrel_->KSSTK_CONTEXT_CreateLinkAsynchronousA(context_, &link_);
  if (link_ == nullptr) {
    error = "the supplicant library made no link";
    return false;  // the destructor releases what was made
  }
  pentrel_->KSSTK_LINK_SetCallbackA(link_, &SupplicantHost::Callback, reinterpret_cast<uintptr_t>(this));
  pentrel_->KSSTK_LINK_Initialize(link_);
  linkThread_ = std::thread([this] { pentrel_->KSSTK_LINK_Thread(link_); });
  return true;
}

SupplicantHost::~SupplicantHost() {
  if (link_ != nullptr) pentrel_->KSSTK_LINK_Terminate(link_);
  if (linkThread_.joinable()) linkThread_.join();
  for (KSSTK_HANDLE handle : {link_, identity_, context_}) {
    if (handle != nullptr) pentrel_->KSSTK_Release(handle);
  }
  pentrel_->KSSTK_Terminate();
}

void SupplicantHost::SetNetwork(WpaNetwork network) {
  // CCKM is WPA's with 802.1X in the library: the driver names it in the association (where
  // the access point offers it) and asks for the element before a reassociation.
  UseCckm(AssociationMode(network) == KSSTK_ASSOCIATION_WPA && EapNetwork(network.authMode));
  std::lock_guard lock(mutex_);
  UseIdentity(network.identity);
  network_.networkType = network.networkType;
  network_.authMode = network.authMode;
  network_.encryption = network.encryption;
  Wipe(network_.passphrase);
  network_.passphrase = network.passphrase;
  network_.ssid = network.ssid;
  network_.identity = network.identity;
  // The pass phrase's PSK is ready before the access point's first handshake message.
  if (PassphraseNetwork(network_.authMode) && !network_.passphrase.empty()) {
    pentrel_->KSSTK_LINK_PrecomputeWpaPskA(link_, network_.passphrase.c_str(),
                                           reinterpret_cast<const uint8_t*>(network_.ssid.data()),
                                           static_cast<uint32_t>(network_.ssid.size()));
  }
}

// A new identity for the library from the profile's; none when the profile names no method.
void SupplicantHost::UseIdentity(const PendingIdentity& profile) {
  KSSTK_IDENTITY identity = nullptr;
  if (profile.method != PendingIdentity::Method::None) pentrel_->KSSTK_CONTEXT_CreateIdentity(context_, &identity);
  if (identity != nullptr) {
    const std::string user = profile.domain.empty() ? profile.loginName : profile.domain + "\\" + profile.loginName;
    pentrel_->KSSTK_IDENTITY_SetUserNameA(identity, user.c_str());
    if (!profile.password.empty()) pentrel_->KSSTK_IDENTITY_SetPasswordA(identity, profile.password.c_str());
    uint32_t type = kEapTls;
    switch (profile.method) {
      case PendingIdentity::Method::Peap: type = kEapPeap; break;
      case PendingIdentity::Method::Leap: type = kEapLeap; break;
      case PendingIdentity::Method::Ttls: type = kEapTtls; break;
      default: break;
    }
    pentrel_->KSSTK_IDENTITY_SetEapTypes(identity, &type, 1);
    pentrel_->KSSTK_IDENTITY_SetPeapInnerEapTypes(identity, &kEapMsChapV2, 1);
    pentrel_->KSSTK_IDENTITY_SetTtlsInnerAuthProtocol(identity, kTtlsInnerMsChapV2);
    if (!profile.anonymousName.empty()) pentrel_->KSSTK_IDENTITY_SetTtlsIdentityA(identity, profile.anonymousName.c_str());
    if (profile.certHash.size() == 20) pentrel_->KSSTK_IDENTITY_SetUserCertificate(identity, profile.certHash.data());
    pentrel_->KSSTK_IDENTITY_Initialize(identity);
  }
  pentrel_->KSSTK_LINK_SetIdentity(link_, identity);
  if (identity_ != nullptr) pentrel_->KSSTK_Release(identity_);
  identity_ = identity;
}

void SupplicantHost::Associated() {
  ReportUnfinishedConnection();
  std::optional<std::vector<uint8_t>> station = adapter_.Query(kOidCurrentAddress, 6);
  std::optional<std::vector<uint8_t>> bssid = adapter_.Query(kOidBssid, 6);
  if (!station || station->size() != 6 || !bssid || bssid->size() != 6) return;
  std::optional<std::vector<uint8_t>> ssidRecord = adapter_.Query(kOidSsid, 36);
  std::vector<uint8_t> ssid;
  if (ssidRecord && ssidRecord->size() == 36) {
    uint32_t length = 0;
    std::memcpy(&length, ssidRecord->data(), 4);
    ssid.assign(ssidRecord->begin() + 4, ssidRecord->begin() + 4 + std::min<uint32_t>(length, 32));
  }
  std::optional<AssociationElements> association;
  if (auto record = adapter_.Query(kOidAssociationInformation, kAssociationInformationBytes))
    association = ParseAssociationInformation(*record);
  std::optional<std::vector<uint8_t>> beacon;
  if (auto list = adapter_.Query(OID_HLVN_SCAN_LIST, kZelconScanBufferSize))
    beacon = BeaconElements(*list, std::span<const uint8_t, 6>(bssid->data(), 6));

  const std::vector<uint8_t> supplicantIe = association ? SecurityElements(association->request) : std::vector<uint8_t>{};
  const std::vector<uint8_t> authenticatorIe = beacon ? SecurityElements(*beacon) : std::vector<uint8_t>{};
  const std::vector<uint8_t> responseIe = association ? association->response : std::vector<uint8_t>{};

  std::lock_guard lock(mutex_);
  if (!NeedsSupplicant(network_)) return;  // an open or static-WEP network
  std::memcpy(station_, station->data(), 6);
  std::memcpy(bssid_, bssid->data(), 6);
  KSSTK_NETWORK_INFO info{};
  info.Length = sizeof info;
  info.NetworkType = network_.networkType == 0 ? KSSTK_NETWORK_AD_HOC : KSSTK_NETWORK_INFRASTRUCTURE;
  info.AssociationMode = AssociationMode(network_);
  info.Use8021X = EapNetwork(network_.authMode) ? 1 : 0;
  info.KeySource = PassphraseNetwork(network_.authMode) ? KSSTK_KEY_SOURCE_PASSPHRASE
                   : info.Use8021X != 0                  ? KSSTK_KEY_SOURCE_EAP
                                                         : KSSTK_KEY_SOURCE_NONE;
  info.Cipher = Cipher(network_.encryption);
  std::memcpy(info.StationAddress, station_, 6);
  std::memcpy(info.Bssid, bssid_, 6);
  info.Passphrase.A = network_.passphrase.c_str();
  if (ssid.empty()) ssid.assign(network_.ssid.begin(), network_.ssid.end());
  info.Ssid = ssid.data();
  info.SsidLength = static_cast<uint32_t>(ssid.size());
  info.SupplicantIe = supplicantIe.data();
  info.SupplicantIeLength = static_cast<uint32_t>(supplicantIe.size());
  info.AuthenticatorIe = authenticatorIe.data();
  info.AuthenticatorIeLength = static_cast<uint32_t>(authenticatorIe.size());
  info.AssociationResponseIe = responseIe.data();
  info.AssociationResponseIeLength = static_cast<uint32_t>(responseIe.size());
  pentrel_->KSSTK_LINK_SetNetworkInfoA(link_, &info);
  pentrel_->KSSTK_LINK_PortUp(link_);
}

void SupplicantHost::PortDown() { pentrel_->KSSTK_LINK_PortDown(link_); }

// The CCKM bit of the driver's CCX flags, the other bits as they are.
void SupplicantHost::UseCckm(bool on) {
  const std::optional<std::vector<uint8_t>> answer = adapter_.Query(OID_HLVN_CCX_FLAGS, 4);
  uint32_t flags = 0;
  if (answer && answer->size() == 4) std::memcpy(&flags, answer->data(), 4);
  const uint32_t wanted = on ? flags | kCcxFlagCckm : flags & ~kCcxFlagCckm;
  if (answer && wanted == flags) return;
  adapter_.Set(OID_HLVN_CCX_FLAGS, Bytes(&wanted, sizeof wanted));
}

void SupplicantHost::CckmRequested(std::span<const uint8_t> request) {
  KSSTK_CCKM_START start{};
  if (request.size() < sizeof start.Timestamp + sizeof start.Bssid) return;
  std::memcpy(start.Timestamp, request.data(), sizeof start.Timestamp);
  std::memcpy(start.Bssid, request.data() + sizeof start.Timestamp, sizeof start.Bssid);
  pentrel_->KSSTK_LINK_CCKM_StartReassociation(link_, &start);
}

// The link's answer to a CCKM request: its element for the reassociation (a fast handoff),
// or none (a first association: the driver reassociates without one at once).
void SupplicantHost::AnswerCckm(const KSSTK_CCKM_REQUEST_MESSAGE& message) {
  const bool handoff = message.Kind == 1 && message.ElementLength != 0 && message.ElementLength <= kCckmElementMax;
  const uint32_t words[2] = {handoff ? 1u : 0u, handoff ? message.ElementLength : 0u};
  std::vector<uint8_t> record = Bytes(words, sizeof words);
  if (handoff) record.insert(record.end(), message.Element, message.Element + message.ElementLength);
  adapter_.Set(OID_HLVN_CCX_CCKM_ELEMENT, std::move(record));
}

void SupplicantHost::MicFailure(std::span<const uint8_t> flags) {
  KSSTK_AUTHENTICATION_EVENT event{};
  if (flags.size() < sizeof event.Flags) return;
  event.Length = sizeof event;
  std::memcpy(&event.Flags, flags.data(), sizeof event.Flags);
  {
    std::lock_guard lock(mutex_);
    if (!NeedsSupplicant(network_)) return;
    std::memcpy(event.Bssid, bssid_, sizeof event.Bssid);
  }
  pentrel_->KSSTK_LINK_ReceiveAuthenticationEvent(link_, &event);
}

void SupplicantHost::Disconnected() {
  ReportUnfinishedConnection();
  PortDown();
}

// The association ended (or the driver associated anew) before the keys were agreed: a
// wrong pass phrase ends so, the access point giving up on the handshake.
void SupplicantHost::ReportUnfinishedConnection() {
  uint32_t status = linkStatus_;
  const bool unfinished = status == KSSTK_LINK_STATUS_AUTHENTICATING || status == KSSTK_LINK_STATUS_WAITING_FOR_KEYS ||
                          status == KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS;
  if (unfinished && linkStatus_.compare_exchange_strong(status, KSSTK_LINK_STATUS_IDLE))
    notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, kAuthenticationFailed);
}

void SupplicantHost::ReceiveFrame(std::span<const uint8_t> frame) {
  if (frame.size() <= kEthernetHeaderBytes) return;
  const uint16_t type = static_cast<uint16_t>(frame[12] << 8 | frame[13]);
  if (type != kEtherTypeEapol) return;
  const std::span<const uint8_t> eapol = frame.subspan(kEthernetHeaderBytes);
  pentrel_->KSSTK_LINK_ReceiveEapol(link_, eapol.data(), static_cast<uint32_t>(eapol.size()));
}

void SupplicantHost::FrameSent(uint16_t tag) {
  std::lock_guard lock(mutex_);
  unsent_.erase(tag);
  sent_.notify_all();
}

// The library's C callback: nothing thrown inside may leave it.
uint32_t KSSTK_CALL SupplicantHost::Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  if (user == 0 || message == nullptr || message->Size < sizeof *message) return 0;
  try {
    reinterpret_cast<SupplicantHost*>(user)->Handle(*message);
  } catch (...) {
    // A request left unanswered fails; a lost report is only a lost report.
  }
  return 0;
}

void SupplicantHost::Handle(KSSTK_CALLBACK_MESSAGE& message) {
  switch (message.Code) {
    case KSSTK_MSG_LINK_STATUS:
      if (message.Size >= sizeof(KSSTK_LINK_STATUS_MESSAGE))
        ReportStatus(reinterpret_cast<KSSTK_LINK_STATUS_MESSAGE&>(message).Status);
      break;
    case KSSTK_MSG_LINK_FAILURE:
      notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, kAuthenticationFailed);
      break;
    case KSSTK_MSG_AUTH_FAILED_NAS:
      if (message.Size >= sizeof(KSSTK_AUTH_FAILED_NAS_MESSAGE))
        ReportRefusal(reinterpret_cast<const KSSTK_AUTH_FAILED_NAS_MESSAGE&>(message));
      break;
    case KSSTK_MSG_SEND_EAPOL:
      if (message.Size >= sizeof(KSSTK_SEND_EAPOL_MESSAGE))
        SendEapol(reinterpret_cast<const KSSTK_SEND_EAPOL_MESSAGE&>(message));
      break;
    case KSSTK_MSG_ADD_KEY: {
      const auto& add = reinterpret_cast<const KSSTK_ADD_KEY_MESSAGE&>(message);
      // The CCKM key-request key stays in the library, which signs its requests with it.
      if (message.Size >= sizeof add && add.Key.KeyLength <= message.Size - sizeof add &&
          add.Key.KeyIndex != kCckmKeyRequestKeyIndex)
        SetKey(kOidAddKey, &add.Key, static_cast<uint32_t>(sizeof add.Key + add.Key.KeyLength), true);
      break;
    }
    case KSSTK_MSG_CCKM_REQUEST: {
      const auto& request = reinterpret_cast<const KSSTK_CCKM_REQUEST_MESSAGE&>(message);
      if (message.Size >= sizeof request && request.ElementLength <= message.Size - sizeof request)
        AnswerCckm(request);
      break;
    }
    case KSSTK_MSG_SET_WEP_KEY: {
      const auto& wep = reinterpret_cast<const KSSTK_SET_WEP_KEY_MESSAGE&>(message);
      if (message.Size >= sizeof wep && wep.Wep.KeyLength <= message.Size - sizeof wep)
        SetKey(kOidAddWep, &wep.Wep, static_cast<uint32_t>(sizeof wep.Wep + wep.Wep.KeyLength), true);
      break;
    }
    case KSSTK_MSG_REMOVE_KEY: {
      const auto& remove = reinterpret_cast<const KSSTK_REMOVE_KEY_MESSAGE&>(message);
      if (message.Size >= sizeof remove) SetKey(kOidRemoveKey, &remove.Key, sizeof remove.Key, false);
      break;
    }
    case KSSTK_MSG_SET_PMKID_LIST: {
      const auto& list = reinterpret_cast<const KSSTK_SET_PMKID_LIST_MESSAGE&>(message);
      const uint64_t entries = sizeof(KSSTK_BSSID_INFO) * uint64_t{list.Pmkid.BSSIDInfoCount};
      if (message.Size >= sizeof list && entries <= message.Size - sizeof list)
        SetKey(kOidPmkid, &list.Pmkid, static_cast<uint32_t>(sizeof list.Pmkid + entries), false);
      break;
    }
    case KSSTK_MSG_GET_PASSWORD:
      if (message.Size >= sizeof(KSSTK_GET_PASSWORD_MESSAGE))
        AnswerPassword(reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE&>(message));
      break;
    case KSSTK_MSG_GET_CREDENTIALS:
      if (message.Size >= sizeof(KSSTK_GET_CREDENTIALS_MESSAGE))
        AnswerCredentials(reinterpret_cast<KSSTK_GET_CREDENTIALS_MESSAGE&>(message));
      break;
    case KSSTK_MSG_VALIDATE_SERVER_CERT:
      // The verdict starts as "untrusted" so that a chain nobody judged is refused.
      if (message.Size >= sizeof(KSSTK_VALIDATE_SERVER_CERT_MESSAGE)) {
        reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE&>(message).Verdict = KSSTK_CHAIN_UNTRUSTED_ROOT;
        pentrel_->KSSTK_ProcessCallbackA(&message);
      }
      break;
    case KSSTK_MSG_PRIVATE_KEY_OPERATION:
      if (message.Size >= sizeof(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE))
        AnswerPrivateKeyOperation(reinterpret_cast<KSSTK_PRIVATE_KEY_OPERATION_MESSAGE&>(message));
      break;
    default:
      break;  // reports the utility does not show, and the pre-authentication port's messages
  }
}

// The host holds no keys of its own. For the profile's certificate it leaves the request
// unanswered, so that the library signs with that certificate's key from the user's
// certificate store (and fails when the store has none); any other certificate is refused.
void SupplicantHost::AnswerPrivateKeyOperation(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE& message) {
  std::lock_guard lock(mutex_);
  const std::vector<uint8_t>& ours = network_.identity.certHash;
  const bool profileCertificate = ours.size() == sizeof message.CertificateHash &&
                                  std::equal(ours.begin(), ours.end(), message.CertificateHash);
  if (!profileCertificate) message.Failed = 1;
}

// The server refused the station: the utility's own words for the credentials it checks.
void SupplicantHost::ReportRefusal(const KSSTK_AUTH_FAILED_NAS_MESSAGE& message) {
  const char* text = kAuthenticationFailed;
  if (message.Reason != KSSTK_NAS_FAILURE_GUARD_TIME) {
    switch (message.EapType) {
      case kEapTls: text = "Illegal login name or certificate for WPA authentication!"; break;
      case kEapLeap:
      case kEapTtls:
      case kEapPeap: text = "Illegal login name or password for WPA authentication!"; break;
      default: break;
    }
  }
  notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, text);
}

void SupplicantHost::ReportStatus(uint32_t status) {
  linkStatus_ = status;
  switch (status) {
    case KSSTK_LINK_STATUS_AUTHENTICATING:
      notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, "Authenticating...");
      break;
    case KSSTK_LINK_STATUS_WAITING_FOR_KEYS:
    case KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS:
      notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, "Waiting for keys...");
      break;
    case KSSTK_LINK_STATUS_AUTHENTICATED:
    case KSSTK_LINK_STATUS_FAST_RECONNECTED:
      OfferPmkidCandidates();
      [[fallthrough]];
    case KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X:  // a pass-phrase network's keys are in place
    case KSSTK_LINK_STATUS_NO_AUTHENTICATOR:
      notifier_.Post(ZELCON_NOTIFY_CONNECTION_TEXT, 0, "Authenticated");
      notifier_.Post(ZELCON_NOTIFY_PORT_AUTHORIZED);
      break;
    default:
      break;
  }
}

// The access points of the network the station may roam to, as the link's PMKID candidates:
// the library answers with the PMKID map (an opportunistic PMKID for each under the PMK just
// validated) that goes to the driver through OID_802_11_PMKID, so that a roam names it in
// the reassociation and skips EAP. The driver's own candidate indication does not reach this
// process, so the candidates come from its scan list once the port is authorized.
void SupplicantHost::OfferPmkidCandidates() {
  std::vector<uint8_t> ssid;
  {
    std::lock_guard lock(mutex_);
    if (AssociationMode(network_) != KSSTK_ASSOCIATION_RSN || !EapNetwork(network_.authMode)) return;
    ssid.assign(network_.ssid.begin(), network_.ssid.end());
  }
  const std::optional<std::vector<uint8_t>> list = adapter_.Query(OID_HLVN_SCAN_LIST, kZelconScanBufferSize);
  if (!list) return;
  std::vector<std::array<uint8_t, 6>> bssids = RsnAccessPoints(*list, ssid);
  bssids.resize(std::min<size_t>(bssids.size(), kMaxPmkidCandidates));
  std::vector<uint8_t> record(sizeof(KSSTK_PMKID_CANDIDATE_LIST) + bssids.size() * sizeof(KSSTK_PMKID_CANDIDATE));
  auto* candidates = reinterpret_cast<KSSTK_PMKID_CANDIDATE_LIST*>(record.data());
  candidates->Version = 1;
  candidates->NumCandidates = static_cast<uint32_t>(bssids.size());
  for (size_t i = 0; i < bssids.size(); ++i)
    std::memcpy(candidates->CandidateList[i].BSSID, bssids[i].data(), 6);  // no pre-authentication
  pentrel_->KSSTK_LINK_ReceivePMKIDCandidateListEvent(link_, candidates);
}

void SupplicantHost::SendEapol(const KSSTK_SEND_EAPOL_MESSAGE& message) {
  if (message.Frame == nullptr || message.FrameLength > kSendFrameMax - kEthernetHeaderBytes) return;
  std::vector<uint8_t> record(4);
  {
    std::lock_guard lock(mutex_);
    record.insert(record.end(), bssid_, bssid_ + 6);
    record.insert(record.end(), station_, station_ + 6);
    const uint16_t tag = nextTag_++;
    unsent_.insert(tag);
    record[2] = static_cast<uint8_t>(tag);
    record[3] = static_cast<uint8_t>(tag >> 8);
  }
  record.push_back(static_cast<uint8_t>(kEtherTypeEapol >> 8));
  record.push_back(static_cast<uint8_t>(kEtherTypeEapol & 0xFF));
  record.insert(record.end(), message.Frame, message.Frame + message.FrameLength);
  const auto frameLength = static_cast<uint16_t>(record.size() - 4);
  record[0] = static_cast<uint8_t>(frameLength);
  record[1] = static_cast<uint8_t>(frameLength >> 8);
  const uint16_t tag = static_cast<uint16_t>(record[2] | record[3] << 8);
  if (adapter_.Set(OID_HLVN_SEND_FRAME, std::move(record)) != 0) FrameSent(tag);  // nothing to wait for
}

void SupplicantHost::SetKey(uint32_t oid, const void* record, uint32_t length, bool counts) {
  {
    std::unique_lock lock(mutex_);
    sent_.wait_for(lock, kSendWait, [this] { return unsent_.empty(); });
    unsent_.clear();  // a frame the driver never reported holds no later key up
  }
  const bool taken = adapter_.Set(oid, Bytes(record, length)) == 0;  // the key record is wiped there
  if (taken && counts) ++keysInstalled_;
}

void SupplicantHost::AnswerPassword(KSSTK_GET_PASSWORD_MESSAGE& message) {
  std::lock_guard lock(mutex_);
  if (network_.identity.password.empty()) return;
  pentrel_->KSSTK_AllocStringA(network_.identity.password.c_str(), &message.Password.A);
}

void SupplicantHost::AnswerCredentials(KSSTK_GET_CREDENTIALS_MESSAGE& message) {
  std::lock_guard lock(mutex_);
  const PendingIdentity& identity = network_.identity;
  if (identity.loginName.empty() || identity.password.empty()) return;
  pentrel_->KSSTK_AllocStringA(identity.loginName.c_str(), &message.UserName.A);
  pentrel_->KSSTK_AllocStringA(identity.password.c_str(), &message.Password.A);
}

}  // namespace zelcon
