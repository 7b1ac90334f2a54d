#pragma once
// Page texts are UTF-16 (as JavaScript sees them); files and paths are UTF-8.
#include <string>
#include <string_view>

namespace wendrake {

// Invalid UTF-8 bytes become U+FFFD.
std::u16string ToUtf16(std::string_view utf8);
// Lone surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view utf16);
// A text with a lone surrogate has no UTF-8 form: no file or name can hold it whole.
bool HasLoneSurrogate(std::u16string_view utf16);

// ASCII letters only, as page method names and game folder names are compared.
char16_t AsciiLower(char16_t c);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
std::string AsciiLowered(std::string_view text);

}  // namespace wendrake
