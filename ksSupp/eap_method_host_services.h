// What an EAP method may ask of the exchange it runs in: the user's names, the password and
// its hashes, prompts to the user, and notices to the owner. Every method holds one as its
// host; the EAP method host implements it over the identity and its owner.
#pragma once

#include <cstdint>

class dcfByteArray;
class dcfString;

class EapMethodHostServices {
 public:
  // The identity's user name; "" when none is set. Never null.
  virtual const char* GetUserName() = 0;
  // The second name when set, else the user name cut before its first '@'; "" when
  // neither. Never null.
  virtual const char* GetOuterName() = 0;
  // The Windows user name when set, else the text after the last '\' of the outer name's
  // source; "" when none. Never null.
  virtual const char* GetWindowsUserName() = 0;
  // The password, asking the owner when the identity holds none; null when the owner
  // declines. The host keeps ownership.
  virtual const char* GetPassword() = 0;
  // 16-byte LAN Manager and NT hashes of the password; null without a password.
  virtual const std::uint8_t* GetLmPasswordHash() = 0;
  virtual const std::uint8_t* GetNtPasswordHash() = 0;
  // Shows the server's text (`length` bytes, not NUL-terminated) to the user and returns
  // the typed answer; false when the owner gives none.
  virtual bool AnswerChallenge(const char* text, std::uint32_t length, dcfByteArray& answer) = 0;
  // A token code from the owner, without a server text; false when none.
  virtual bool GetToken(dcfByteArray& token) = 0;
  // Asks the owner for two values (in a password change: old and new password); on
  // success `second` is the password from then on. False, `second` emptied, when declined.
  virtual bool CredentialPrompt(const char* message, dcfString& first, dcfString& second) = 0;
  // True when a password was set on, or cleared from, the identity.
  virtual bool HasIdentityPassword() = 0;
  // Passed to the owner; no method uses it.
  virtual void Notice(std::uint32_t code) = 0;
  // Tells the owner that the method has succeeded (argument 0).
  virtual void NotifyMethodSucceeded(std::uint32_t reserved) = 0;

 protected:
  // Methods never delete their host through this interface.
  ~EapMethodHostServices() = default;
};

// The same interface under the name the hosts give what they serve their methods
// (EapMethodHost::Services()).
using EapMethodServices = EapMethodHostServices;
