#include "results/ReportBuffer.h"

namespace linkward {

size_t DecodeMultibyteUtf8(const std::string& text, size_t pos, char32_t* character) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  size_t length = 0;
  char32_t value = 0;
  // The allowed range of the second byte excludes overlong forms, surrogates
  // and code points above U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *character = REPLACEMENT_CHARACTER;
    return 1;
  }
  for (size_t i = 1; i < length; ++i) {
    if (pos + i >= text.size()) {
      *character = REPLACEMENT_CHARACTER;
      return i;
    }
    const unsigned char next = byte(pos + i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
      *character = REPLACEMENT_CHARACTER;
      return i;
    }
    value = (value << 6) | (next & 0x3F);
  }
  *character = value;
  return length;
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

bool IsValidUtf8(const std::string& text) {
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(text, pos, &c);
    // U+FFFD itself takes three bytes; a replaced sequence never does with
    // the bytes EF BF BD.
    if (c == REPLACEMENT_CHARACTER && text.compare(pos, length, "\xEF\xBF\xBD") != 0) return false;
    pos += length;
  }
  return true;
}

std::string ValidUtf8(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  std::string valid;
  valid.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const size_t length = DecodeUtf8(text, pos, &c);
    AppendUtf8(c, &valid);  // the same bytes for a well-formed character
    pos += length;
  }
  return valid;
}

}  // namespace linkward
