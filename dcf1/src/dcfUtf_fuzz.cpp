// The UTF converters on arbitrary input: bounded output, exact stopping, and a round trip of
// what converted cleanly.
#include <collections/dcfByteArray.h>
#include <collections/dcfWideArray.h>
#include <dcf/dcfBytes.h>
#include <strings/dcfUtf.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::uint32_t capacity = data[0];
  const char* text = reinterpret_cast<const char*>(data + 1);
  const auto length = static_cast<std::int32_t>(size - 1);

  // Counted UTF-8 into a bounded buffer with a guard unit after it.
  std::vector<char16_t> out(capacity + 1, 0xABCD);
  std::uint32_t written = 0, consumed = 0;
  const std::uint32_t flags = Utf8ToUtf16(out.data(), capacity, &written, text, length, &consumed);
  if (written > capacity || consumed > static_cast<std::uint32_t>(length) || out[capacity] != 0xABCD)
    std::abort();
  // Clean output re-encodes to exactly the bytes consumed. Not clean: a replaced code point,
  // a unit 0, or surrogates the decoder took from 3-byte forms (lead 0xED), which it accepts
  // one by one and which may pair up.
  bool clean = (flags & kUtfReplaced) == 0 && std::memchr(text, 0xED, consumed) == nullptr;
  for (std::uint32_t i = 0; i < written && clean; ++i) {
    const bool pairStart = out[i] >= 0xD800 && out[i] <= 0xDBFF && i + 1 < written &&
                           out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF;
    if (pairStart) {
      ++i;
    } else if (out[i] == 0 || (out[i] >= 0xD800 && out[i] <= 0xDFFF)) {
      clean = false;
    }
  }
  if (clean) {
    std::vector<std::uint8_t> again(4 * written + 1);
    std::uint32_t bytes = 0;
    if (Utf16ToUtf8(again.data(), static_cast<std::uint32_t>(again.size()), &bytes, out.data(),
                    written) != 0 ||
        bytes != consumed || std::memcmp(again.data(), text, bytes) != 0) {
      std::abort();
    }
  }

  // NUL-terminated forms through the arrays.
  const std::string terminated(text, static_cast<std::size_t>(length));
  dcfWideArray wide;
  wide.AssignUtf8(terminated.c_str());
  if (wide.Length() == 0 || wide[wide.Length() - 1] != 0) std::abort();
  dcfByteArray bytes;
  bytes.AssignUtf8(wide.Data());
  if (bytes.Length() == 0 || bytes[bytes.Length() - 1] != 0) std::abort();

  // The input read as UTF-16 units, terminated.
  std::vector<char16_t> units(static_cast<std::size_t>(length) / 2 + 1, 0);
  std::memcpy(units.data(), text, static_cast<std::size_t>(length) / 2 * 2);
  SecureByteArray secure;
  secure.AssignUtf8(units.data());
  if (secure.Length() > 4 * (units.size() - 1) + 1) std::abort();

  // Hex pairs, counting and writing.
  std::uint8_t hex[64];
  const char* end = nullptr;
  const std::uint32_t count = HexToBytes(hex, capacity % 65, terminated.c_str(), &end);
  if (count > capacity % 65 || end != terminated.c_str() + 2 * count) std::abort();
  return 0;
}
