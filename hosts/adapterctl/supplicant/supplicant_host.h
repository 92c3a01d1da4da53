#pragma once
// The supplicant's host inside the adapter-control library: one asynchronous link of
// libpentrel.so on a thread of its own, fed by the driver's events and answered through its
// OIDs. The profile's WPA information and identity become the link's network and identity;
// at association the link gets the elements of the association and the port goes up; the
// EAPOL frames the driver posts go to the link, whose frames go out as raw frames and whose
// keys are set on the driver; on a CCKM network the driver's request before a reassociation
// goes to the link, and the link's CCKM element back to the driver; a TKIP MIC failure the
// driver reports goes to the link, which sends the access point its MIC-failure report
// (an EAPOL-Key request with the Error bit). Requests for secrets
// are answered from the profile only: what the profile does not hold is not answered, and
// the method fails. The utility hears the link's progress as connection texts (1012) and
// the authorized port as 1008.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/adapter_control_base.h"
#include "hosts/adapterctl/notifier.h"
#include "hosts/adapterctl/supplicant/adapter_oids.h"
#include "hosts/adapterctl/supplicant/pentrel_module.h"

namespace zelcon {

// What ZelconSetWPAInformation hands over, with the identity created before it.
struct WpaNetwork {
  uint32_t networkType = 1;  // 1 infrastructure, 0 ad hoc
  uint32_t authMode = 0;     // the profile's authentication code
  uint32_t encryption = 0;   // the profile's: 0 none, 1 WEP, 2 TKIP, 3 AES
  std::string passphrase;
  std::string ssid;
  PendingIdentity identity;
  ~WpaNetwork();  // the pass phrase is wiped
};

// Whether the network needs the library: a pass phrase, or 802.1X.
bool NeedsSupplicant(const WpaNetwork& network);

class SupplicantHost {
public:
  // Loads the library at `libraryPath` and starts the link; null (and why, in `error`) when
  // the library cannot be used.
  static std::unique_ptr<SupplicantHost> Start(AdapterOids& adapter, Notifier& notifier,
                                               const std::string& libraryPath, std::string& error);
  ~SupplicantHost();  // stops the link and unloads the library
  SupplicantHost(const SupplicantHost&) = delete;
  SupplicantHost& operator=(const SupplicantHost&) = delete;

  // The network of the next association.
  void SetNetwork(WpaNetwork network);
  // The driver associated: the link learns the association and its port goes up. An
  // earlier connection that had not reached its keys is reported failed.
  void Associated();
  // The utility takes the port down.
  void PortDown();
  // The association ended: the port goes down, and a connection that had not reached its
  // keys is reported failed.
  void Disconnected();
  // An 802.3 frame of type 888E that the driver received (event 132).
  void ReceiveFrame(std::span<const uint8_t> frame);
  // The driver sent the raw frame of this tag (event 133).
  void FrameSent(uint16_t tag);
  // The driver is about to reassociate on a CCKM network (event 136: the target's 8-byte
  // timestamp and its BSSID) and waits for the link's CCKM element.
  void CckmRequested(std::span<const uint8_t> request);
  // The driver found a TKIP MIC failure (event 10: u32 flags, 6 for the pairwise key, 14 for
  // the group key): the link hears it as an authentication event of the associated BSSID.
  void MicFailure(std::span<const uint8_t> flags);

  // The link's last status (KSSTK_LINK_STATUS_*) and the keys it set on the driver so far.
  uint32_t LinkStatus() const { return linkStatus_; }
  uint32_t KeysInstalled() const { return keysInstalled_; }

private:
  SupplicantHost(AdapterOids& adapter, Notifier& notifier, std::unique_ptr<PentrelModule> pentrel);
  bool Open(std::string& error);
  static uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message);
  void Handle(KSSTK_CALLBACK_MESSAGE& message);
  void SendEapol(const KSSTK_SEND_EAPOL_MESSAGE& message);
  void SetKey(uint32_t oid, const void* record, uint32_t length, bool counts);
  void AnswerCckm(const KSSTK_CCKM_REQUEST_MESSAGE& message);
  void UseCckm(bool on);
  void AnswerPassword(KSSTK_GET_PASSWORD_MESSAGE& message);
  void AnswerCredentials(KSSTK_GET_CREDENTIALS_MESSAGE& message);
  void AnswerPrivateKeyOperation(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE& message);
  void ReportRefusal(const KSSTK_AUTH_FAILED_NAS_MESSAGE& message);
  void UseIdentity(const PendingIdentity& identity);
  void ReportStatus(uint32_t status);
  void OfferPmkidCandidates();
  void ReportUnfinishedConnection();

  AdapterOids& adapter_;
  Notifier& notifier_;
  std::unique_ptr<PentrelModule> pentrel_;
  KSSTK_CONTEXT context_ = nullptr;
  KSSTK_IDENTITY identity_ = nullptr;
  KSSTK_LINK link_ = nullptr;
  std::thread linkThread_;

  std::mutex mutex_;  // the network and the addresses, shared with the link thread
  WpaNetwork network_;
  uint8_t station_[6] = {};
  uint8_t bssid_[6] = {};
  uint16_t nextTag_ = 1;
  // Frames handed to the driver and not yet sent: a key waits for them, so that the last
  // handshake message does not go out under the key it installs.
  std::set<uint16_t> unsent_;
  std::condition_variable sent_;

  std::atomic<uint32_t> linkStatus_{KSSTK_LINK_STATUS_IDLE};
  std::atomic<uint32_t> keysInstalled_{0};
};

}  // namespace zelcon
