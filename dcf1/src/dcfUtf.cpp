#include <strings/dcfUtf.h>

namespace {

struct Utf8Form {
  std::uint8_t leadMin, leadMax, leadBits;
  std::uint32_t length, minimum;
};

// Lead bytes of the 2- to 6-byte forms, the payload bits of the lead byte, and the smallest
// code point the form may carry (anything below is overlong).
constexpr Utf8Form kForms[] = {
    {0xC0, 0xDF, 0x1F, 2, 0x80},      {0xE0, 0xEF, 0x0F, 3, 0x800},
    {0xF0, 0xF7, 0x07, 4, 0x10000},   {0xF8, 0xFB, 0x03, 5, 0x200000},
    {0xFC, 0xFD, 0x01, 6, 0x4000000},
};

constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;
constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

std::uint32_t Utf8Range::Peek(std::uint32_t& codePoint) const {
  if (AtEnd()) return 0;
  const std::uint8_t lead = cursor[0];
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  for (const Utf8Form& form : kForms) {
    if (lead < form.leadMin || lead > form.leadMax) continue;
    if (!terminated && static_cast<std::size_t>(end - cursor) < form.length) return 0;
    std::uint32_t value = lead & form.leadBits;
    for (std::uint32_t i = 1; i < form.length; ++i) {
      // In terminated input the NUL is not a continuation byte, so this never reads past it.
      const std::uint8_t next = cursor[i];
      if (next < 0x80 || next > 0xBF) return 0;
      value = (value << 6) | (next & 0x3Fu);
    }
    if (value < form.minimum) return 0;
    codePoint = value;
    return form.length;
  }
  return 0;  // a continuation byte, 0xFE or 0xFF
}

std::uint32_t Utf8ToUtf16(char16_t* out, std::uint32_t capacity, std::uint32_t* unitsWritten,
                          const char* in, std::int32_t inLength, std::uint32_t* bytesConsumed) {
  const bool terminated = inLength < 0;
  const auto* begin = reinterpret_cast<const std::uint8_t*>(in);
  Utf8Range input{begin, begin, false};  // a null input has nothing to read
  if (in != nullptr) {
    input = terminated ? Utf8Range{begin, nullptr, true} : Utf8Range{begin, begin + inLength, false};
  }
  if (terminated && capacity == 0) {
    if (unitsWritten != nullptr) *unitsWritten = 0;
    if (bytesConsumed != nullptr) *bytesConsumed = 0;
    return kUtfOutputFull;  // not even the terminator fits
  }
  const std::uint32_t room = terminated ? capacity - 1 : capacity;  // one kept for the 0
  std::uint32_t flags = 0;
  std::uint32_t written = 0;
  while (!input.AtEnd()) {
    std::uint32_t cp = 0;
    const std::uint32_t length = input.Peek(cp);
    if (length == 0) {
      flags |= kUtfInvalidInput;
      break;
    }
    if (terminated && cp == 0) {
      input.cursor += length;
      break;
    }
    const std::uint32_t units = (cp >= 0x10000 && cp <= kMaxCodePoint) ? 2 : 1;
    if (room - written < units) {
      flags |= kUtfOutputFull;
      break;
    }
    if (cp > kMaxCodePoint) {
      out[written++] = kReplacement;
      flags |= kUtfReplaced;
    } else if (units == 2) {
      out[written++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[written++] = static_cast<char16_t>(cp);
    }
    input.cursor += length;
  }
  if (terminated) out[written++] = 0;

  if (unitsWritten != nullptr) *unitsWritten = written;
  if (bytesConsumed != nullptr) *bytesConsumed = static_cast<std::uint32_t>(input.cursor - begin);
  return flags;
}

std::uint32_t Utf16Range::Peek(std::uint32_t& codePoint) const {
  const std::uint32_t unit = *begin;
  if (unit >= 0xDC00 && unit <= 0xDFFF) return 0;  // a low surrogate without its high one
  if (unit < 0xD800 || unit > 0xDBFF) {
    codePoint = unit;
    return 1;
  }
  if (end - begin < 2 || begin[1] < 0xDC00 || begin[1] > 0xDFFF) return 0;
  codePoint = ((unit & 0x3FF) + 0x40) * 1024 + (begin[1] & 0x3FFu);
  return 2;
}

std::uint32_t Utf16ToUtf8(std::uint8_t* out, std::uint32_t capacity, std::uint32_t* bytesWritten,
                          const char16_t* in, std::uint32_t units) {
  std::uint32_t flags = 0;
  std::uint32_t written = 0;
  for (Utf16Range input{in, in + units}; !input.AtEnd();) {
    std::uint32_t cp = 0;
    const std::uint32_t used = input.Peek(cp);
    if (used == 0) {
      flags |= kUtfInvalidInput;
      break;
    }
    if (cp == 0) break;

    std::uint32_t length;
    std::uint8_t leadMark;
    if (cp < 0x80) {
      length = 1, leadMark = 0x00;
    } else if (cp < 0x800) {
      length = 2, leadMark = 0xC0;
    } else if (cp < 0x10000) {
      length = 3, leadMark = 0xE0;
    } else {
      length = 4, leadMark = 0xF0;  // UTF-16 reaches no further than U+10FFFF
    }
    if (capacity - written < length) {
      flags |= kUtfOutputFull;
      break;
    }
    for (std::uint32_t k = length - 1; k > 0; --k) {
      out[written + k] = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
      cp >>= 6;
    }
    out[written] = static_cast<std::uint8_t>(leadMark | cp);
    written += length;
    input.begin += used;
  }
  if (bytesWritten != nullptr) *bytesWritten = written;
  return flags;
}
