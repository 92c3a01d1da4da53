#include "ksCert/KsCertLocations.h"

#include <string_view>

#include "inc/ksCertUtility.h"

namespace {

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

KsCertLocation MatchLocationIgnoringCase(const char16_t* location) {
  if (location == nullptr || location[0] == u'\0') return KsCertLocation::None;
  const std::u16string_view text(location);
  if (EqualIgnoringCase(text, kCertLocationLocalMachine)) return KsCertLocation::LocalMachine;
  if (EqualIgnoringCase(text, kCertLocationCurrentUser)) return KsCertLocation::CurrentUser;
  if (EqualIgnoringCase(text, kCertLocationRemoteStore)) return KsCertLocation::RemoteStore;
  return KsCertLocation::None;
}

KsCertLocation MatchLocationExactly(const char16_t* location) {
  if (location == nullptr || location[0] == u'\0') return KsCertLocation::None;
  const std::u16string_view text(location);
  if (text == kCertLocationLocalMachine) return KsCertLocation::LocalMachine;
  if (text == kCertLocationCurrentUser) return KsCertLocation::CurrentUser;
  return KsCertLocation::None;
}
