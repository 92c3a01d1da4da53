#include "utility/ui/edit_bytes.h"

#include "utility/ui/wipe_string.h"

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// `text` cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string CutUtf8(std::string text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  while (end > 0 && IsContinuationByte(text[end])) --end;  // back to the cut character's start
  WipeBytes(text.data() + end, text.size() - end);  // the cut may be part of a pass phrase
  text.resize(end);
  return text;
}

}  // namespace

EditBytes::~EditBytes() {
  WipeString(m_bytes);
  WipeString(m_shown);
}

void EditBytes::Show(zfw::Wnd& window, int id, const std::string& bytes) {
  WipeString(m_bytes);
  WipeString(m_shown);
  m_bytes = bytes;
  window.setItemText(id, bytes);
  m_shown = window.itemText(id);
}

std::string EditBytes::Take(const zfw::Wnd& window, int id) const {
  std::string text = window.itemText(id);
  if (text == m_shown) {
    WipeString(text);
    return m_bytes;
  }
  return CutUtf8(std::move(text), m_fieldBytes);
}
