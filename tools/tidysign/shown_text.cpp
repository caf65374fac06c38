#include "tools/tidysign/shown_text.h"

#include <cstdio>

namespace tidysign {
namespace {

bool Escaped(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) ||  // C0, DEL, C1
         c == 0x2028 || c == 0x2029 ||            // line and paragraph separators
         c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) ||                // marks, embeddings, overrides and isolates
         (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF;  // no characters
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string ShownOnOneLine(const std::wstring& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    // Where wide text is UTF-16, a pair of surrogates is one character.
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const auto low = static_cast<char32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    switch (c) {
      case U'\\':
        shown += "\\\\";
        continue;
      case U'\n':
        shown += "\\n";
        continue;
      case U'\r':
        shown += "\\r";
        continue;
      case U'\t':
        shown += "\\t";
        continue;
      default:
        break;
    }
    // A byte of a name that is not UTF-8, carried as U+DC80 to U+DCFF: shown as the byte it is.
    if (c >= 0xDC80 && c <= 0xDCFF) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c - 0xDC00));
      shown += escape;
      continue;
    }
    if (!Escaped(c)) {
      AppendUtf8(c, &shown);
      continue;
    }
    char escape[16];
    if (c < 0x100) {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
    } else if (c < 0x10000) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
    } else {
      std::snprintf(escape, sizeof escape, "\\U%08x", static_cast<unsigned>(c));
    }
    shown += escape;
  }
  return shown;
}

}  // namespace tidysign
