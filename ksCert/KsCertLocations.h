#pragma once
// The three store locations the root understands, and how a location argument is matched:
// only a non-empty location can match, by its text up to the first NUL.
#include "platform/win32/bstr.h"

enum class KsCertLocation { None, LocalMachine, CurrentUser, RemoteStore };

// Compared with "Local Machine", "Current User" and "Remote Store", ASCII case ignored.
KsCertLocation MatchLocationIgnoringCase(const char16_t* location);

// Compared with "Local Machine" and "Current User" exactly.
KsCertLocation MatchLocationExactly(const char16_t* location);
