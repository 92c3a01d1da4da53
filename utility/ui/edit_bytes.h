#pragma once
// A profile's text fields are bytes, and not every byte string is text: an edit shows bytes
// that are not UTF-8 as replacement characters, so its text read back would change them.
// What the user left as it was shown goes back byte for byte; what the user typed goes back
// as UTF-8, cut at a character boundary to fit its field.
#include <cstddef>
#include <string>

#include "platform/gui/wnd.h"

class EditBytes {
public:
  explicit EditBytes(size_t fieldBytes) : m_fieldBytes(fieldBytes) {}
  ~EditBytes();  // wiped: a pass phrase passes through
  EditBytes(const EditBytes&) = delete;
  EditBytes& operator=(const EditBytes&) = delete;

  // Puts `bytes` into edit `id` of `window` and notes how the edit shows them.
  void Show(zfw::Wnd& window, int id, const std::string& bytes);
  // What the field is to hold for the edit's text now.
  std::string Take(const zfw::Wnd& window, int id) const;

private:
  size_t m_fieldBytes;
  std::string m_bytes;
  std::string m_shown;
};
