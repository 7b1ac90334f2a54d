// The user data format. Code units below 236 keep the old two-letter pairs,
// whose first letter is always 'A'..'J'; any other unit is a four-letter group
// led by 'K'..'Z', so every old text still decodes and nothing is lost.
#include <cstdint>

#include "commands/SettingsStore.h"

namespace wendrake {
namespace {

constexpr char16_t kFirstGroupLetter = u'K';

char16_t Letter(unsigned offset) { return static_cast<char16_t>(u'A' + offset); }

std::u16string SplitAndMap(std::u16string_view text, std::u16string (*map)(std::u16string_view)) {
  const size_t caret = text.find(u'^');
  if (caret == std::u16string_view::npos) return map(text);
  return std::u16string(text.substr(0, caret + 1)) + map(text.substr(caret + 1));
}

}  // namespace

std::u16string EncodeUserData(std::u16string_view tail) {
  std::u16string encoded;
  encoded.reserve(tail.size() * 2);
  for (const char16_t unit : tail) {
    if (unit < 236) {
      const unsigned v = unit + 20u;
      encoded += {Letter(v / 26), Letter(v % 26)};
    } else {
      encoded += {static_cast<char16_t>(kFirstGroupLetter + (unit >> 12)), Letter((unit >> 8) & 15u), Letter((unit >> 4) & 15u), Letter(unit & 15u)};
    }
  }
  return encoded;
}

std::u16string DecodeUserData(std::u16string_view encoded) {
  std::u16string decoded;
  size_t i = 0;
  while (i + 1 < encoded.size()) {
    const char16_t lead = encoded[i];
    if (lead >= kFirstGroupLetter && lead <= u'Z') {
      // A group cut short at the end goes the way of an odd last letter.
      if (i + 4 > encoded.size()) break;
      unsigned unit = static_cast<unsigned>(lead - kFirstGroupLetter);
      for (size_t k = 1; k < 4; ++k) unit = (unit << 4) | ((static_cast<unsigned>(encoded[i + k]) - u'A') & 15u);
      decoded.push_back(static_cast<char16_t>(unit));
      i += 4;
    } else {
      // The old pair formula, wrap below 20 included.
      const int v = 26 * (encoded[i] & 0xFF) + (encoded[i + 1] & 0xFF) - 1755;
      decoded.push_back(static_cast<char16_t>((v & 0xFF) - 20));
      i += 2;
    }
  }
  return decoded;
}

std::u16string ToStoredUserData(std::u16string_view data) { return SplitAndMap(data, EncodeUserData); }

std::u16string FromStoredUserData(std::u16string_view stored) { return SplitAndMap(stored, DecodeUserData); }

}  // namespace wendrake
