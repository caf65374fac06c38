// UTF-8 is the ANSI code page here; wide characters are UTF-32.
//
// File names are byte strings that need not be UTF-8. So that every name survives the trip through
// wide text unchanged, a byte that is not part of valid UTF-8 becomes a lone surrogate, U+DC80 to
// U+DCFF (the byte plus U+DC00), and such a surrogate turns back into the very same byte. A log line
// that shows such a name therefore carries the name's own bytes, exactly as the system has them.
#include "platform/text.h"

#include <cstdint>
#include <cstring>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEscapeBase = 0xDC00;  // + a byte of 0x80 to 0xFF

char32_t Escaped(unsigned char byte, int* pos) {
  ++*pos;
  return kEscapeBase + byte;
}

// Decodes one UTF-8 sequence at `text[*pos]`, advancing `*pos` past it. The first byte of a
// malformed sequence (a stray continuation byte, a truncated or overlong form, a surrogate, a value
// above U+10FFFF) is escaped on its own, and the bytes after it are decoded afresh.
char32_t DecodeOne(const unsigned char* text, int size, int* pos) {
  const unsigned char lead = text[*pos];
  int extra = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++*pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return Escaped(lead, pos);
  }
  if (*pos + extra >= size)
    return Escaped(lead, pos);
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = text[*pos + i];
    if ((next & 0xC0) != 0x80)
      return Escaped(lead, pos);
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return Escaped(lead, pos);
  *pos += extra + 1;
  return value;
}

// Encodes one character as UTF-8 into `out` (room for four bytes) and returns its length. An
// escaped byte is that byte again; any other value that is no character (a surrogate, or above
// U+10FFFF) is encoded as U+FFFD.
int EncodeOne(char32_t value, char* out) {
  if (value >= kEscapeBase + 0x80 && value <= kEscapeBase + 0xFF) {
    out[0] = static_cast<char>(value - kEscapeBase);
    return 1;
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    value = kReplacement;
  if (value < 0x80) {
    out[0] = static_cast<char>(value);
    return 1;
  }
  if (value < 0x800) {
    out[0] = static_cast<char>(0xC0 | (value >> 6));
    out[1] = static_cast<char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (value >> 12));
    out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (value & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (value >> 18));
  out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (value & 0x3F));
  return 4;
}

}  // namespace

int AnsiToWide(const char* text, int size, wchar_t* out, int capacity) {
  if (text == nullptr || size <= 0 || out == nullptr || capacity <= 0)
    return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int pos = 0;
  int count = 0;
  while (pos < size) {
    // A run of plain ASCII, the common case, as far as there is room: eight bytes at a time while
    // none of them has its top bit set, then byte by byte.
    const int run_end = pos + (size - pos < capacity - count ? size - pos : capacity - count);
    while (run_end - pos >= 8) {
      std::uint64_t eight;
      std::memcpy(&eight, bytes + pos, 8);
      if ((eight & 0x8080808080808080ULL) != 0)
        break;
      for (int k = 0; k < 8; ++k)
        out[count + k] = static_cast<wchar_t>(bytes[pos + k]);
      pos += 8;
      count += 8;
    }
    while (pos < run_end && bytes[pos] < 0x80)
      out[count++] = static_cast<wchar_t>(bytes[pos++]);
    if (pos == size)
      break;
    const char32_t value = DecodeOne(bytes, size, &pos);
    if (count == capacity)
      return 0;
    out[count++] = static_cast<wchar_t>(value);
  }
  return count;
}

int WideToAnsi(const wchar_t* text, int size, char* out, int capacity) {
  if (text == nullptr || size <= 0 || capacity < 0)
    return 0;
  int count = 0;
  char encoded[4];
  int i = 0;
  if (capacity != 0) {
    // A run of plain ASCII, the common case, as far as there is room.
    const int run_end = size < capacity ? size : capacity;
    while (run_end - i >= 8) {
      std::uint32_t any = 0;
      for (int k = 0; k < 8; ++k)
        any |= static_cast<std::uint32_t>(text[i + k]);
      if (any >= 0x80)
        break;
      for (int k = 0; k < 8; ++k)
        out[count + k] = static_cast<char>(text[i + k]);
      i += 8;
      count += 8;
    }
    while (i < run_end && static_cast<std::uint32_t>(text[i]) < 0x80)
      out[count++] = static_cast<char>(text[i++]);
  }
  for (; i < size; ++i) {
    const auto unit = static_cast<std::uint32_t>(text[i]);
    const int length = EncodeOne(static_cast<char32_t>(unit), encoded);
    if (capacity != 0) {
      if (count + length > capacity)
        return 0;
      for (int j = 0; j < length; ++j)
        out[count + j] = encoded[j];
    }
    count += length;
  }
  return count;
}

}  // namespace platform
