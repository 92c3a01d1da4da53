#pragma once
// The length limit of an edit. The framework's texts are UTF-8 bytes and the limit counts
// them, as an edit of a byte-string program counts its bytes: the fields behind the edits
// (an SSID, a profile name) hold that many bytes. Internal to platform/gui.
class QLineEdit;
class QString;

namespace zfw {

// Typing or pasting beyond `maxBytes` bytes is refused. 0 or less: no limit.
void limitEditBytes(QLineEdit* edit, int maxBytes);
// Sets the edit's text as the program (not the user) does: a text longer than the limit is
// shown whole, and the user may shorten it.
void setEditText(QLineEdit* edit, const QString& text);

}  // namespace zfw
