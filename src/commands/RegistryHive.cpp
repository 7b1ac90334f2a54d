#include "commands/RegistryHive.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/Text.h"

namespace wendrake {
namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kOldHeader = u"REGEDIT4";
constexpr std::u16string_view kLocalMachine = u"HKEY_LOCAL_MACHINE";
constexpr std::u16string_view kCrLf = u"\r\n";

constexpr std::pair<std::u16string_view, std::u16string_view> kRootAliases[] = {
    {u"HKLM", u"HKEY_LOCAL_MACHINE"}, {u"HKCU", u"HKEY_CURRENT_USER"},   {u"HKCR", u"HKEY_CLASSES_ROOT"},
    {u"HKU", u"HKEY_USERS"},          {u"HKCC", u"HKEY_CURRENT_CONFIG"},
};

// Components with the root spelled out and the 32-bit view folded into the
// native one, as the registry redirects a 32-bit program.
std::vector<std::u16string> KeyComponents(std::u16string_view key) {
  std::vector<std::u16string> parts;
  while (!key.empty()) {
    const size_t slash = key.find(u'\\');
    const std::u16string_view part = key.substr(0, slash);
    if (!part.empty()) parts.emplace_back(part);
    key = slash == std::u16string_view::npos ? std::u16string_view{} : key.substr(slash + 1);
  }
  if (!parts.empty()) {
    for (const auto& [alias, root] : kRootAliases)
      if (EqualsIgnoreAsciiCase(parts[0], alias)) parts[0] = root;
  }
  // All of them, so that the id of an id is the same id.
  while (parts.size() >= 4 && EqualsIgnoreAsciiCase(parts[0], kLocalMachine) && EqualsIgnoreAsciiCase(parts[1], u"Software") &&
         EqualsIgnoreAsciiCase(parts[2], u"Wow6432Node"))
    parts.erase(parts.begin() + 2);
  return parts;
}

std::u16string Join(const std::vector<std::u16string>& parts) {
  std::u16string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined.push_back(u'\\');
    joined += part;
  }
  return joined;
}

std::u16string Lower(std::u16string text) {
  std::ranges::transform(text, text.begin(), AsciiLower);
  return text;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::optional<std::uint32_t> ParseHexNumber(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t number = 0;
  for (char16_t c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    number = (number << 4) | static_cast<std::uint32_t>(digit);
  }
  return number;
}

std::u16string DecodeFileText(std::string_view bytes) {
  auto units = [&](size_t from, bool bigEndian) {
    std::u16string text;
    text.reserve((bytes.size() - from) / 2);
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]);
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return text;
  };
  if (bytes.starts_with("\xFF\xFE")) return units(2, false);
  if (bytes.starts_with("\xFE\xFF")) return units(2, true);
  if (bytes.starts_with("\xEF\xBB\xBF")) return ToUtf16(bytes.substr(3));
  // No mark but a NUL high byte after an ASCII first character: UTF-16LE all the same.
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return units(0, false);
  return ToUtf16(bytes);
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Reads "..." with \\ and \" escapes from the start of `rest` and moves past it.
// Any other backslash stays as it is.
std::optional<std::u16string> ReadQuoted(std::u16string_view& rest) {
  if (rest.empty() || rest.front() != u'"') return std::nullopt;
  std::u16string text;
  for (size_t i = 1; i < rest.size(); ++i) {
    const char16_t c = rest[i];
    if (c == u'\\' && i + 1 < rest.size() && (rest[i + 1] == u'\\' || rest[i + 1] == u'"')) {
      text.push_back(rest[++i]);
    } else if (c == u'"') {
      rest.remove_prefix(i + 1);
      return text;
    } else {
      text.push_back(c);
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::u16string_view list) {
  std::vector<std::uint8_t> data;
  std::u16string_view rest = Trim(list);
  while (!rest.empty()) {
    const size_t comma = rest.find(u',');
    const std::u16string_view item = Trim(rest.substr(0, comma));
    const auto byte = ParseHexNumber(item);
    if (!byte || item.size() > 2) return std::nullopt;
    data.push_back(static_cast<std::uint8_t>(*byte));
    if (comma == std::u16string_view::npos) break;
    rest = Trim(rest.substr(comma + 1));
  }
  return data;
}

bool IsHexContinuation(std::u16string_view line) {
  line = Trim(line);
  return !line.empty() && std::ranges::all_of(line, [](char16_t c) { return HexDigit(c) >= 0 || c == u',' || c == u'\\' || IsSpace(c); });
}

struct ValueLine {
  RegistryValue value;
  bool remove = false;  // "Name"=-
};

// One value, with the continuation lines of a hex list; `index` ends on the
// value's last line. Nothing when the value is malformed.
std::optional<ValueLine> ParseValue(const std::vector<std::u16string_view>& lines, size_t& index) {
  std::u16string_view rest = Trim(lines[index]);
  ValueLine parsed;
  if (rest.front() == u'@') {
    rest.remove_prefix(1);
  } else {
    auto name = ReadQuoted(rest);
    if (!name) return std::nullopt;
    parsed.value.name = std::move(*name);
  }
  rest = Trim(rest);
  if (rest.empty() || rest.front() != u'=') return std::nullopt;
  rest = Trim(rest.substr(1));

  if (rest == u"-") {
    parsed.remove = true;
    return parsed;
  }
  if (!rest.empty() && rest.front() == u'"') {
    auto text = ReadQuoted(rest);
    if (!text || !Trim(rest).empty()) return std::nullopt;
    parsed.value = RegistryValue::String(parsed.value.name, *text);
    return parsed;
  }
  if (StartsWithIgnoreCase(rest, u"dword:")) {
    const auto number = ParseHexNumber(rest.substr(6));
    if (!number) return std::nullopt;
    parsed.value.type = kRegDword;
    for (int shift = 0; shift < 32; shift += 8) parsed.value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    return parsed;
  }
  if (StartsWithIgnoreCase(rest, u"hex:")) {
    parsed.value.type = kRegBinary;
    rest.remove_prefix(4);
  } else if (StartsWithIgnoreCase(rest, u"hex(")) {
    const size_t close = rest.find(u"):");
    const auto type = close == std::u16string_view::npos ? std::nullopt : ParseHexNumber(rest.substr(4, close - 4));
    if (!type) return std::nullopt;
    parsed.value.type = *type;
    rest.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  std::u16string list(Trim(rest));
  size_t last = index;
  while (!list.empty() && list.back() == u'\\') {
    list.pop_back();
    // A list cut short by the end of the file or by another line is not the value.
    if (last + 1 >= lines.size() || !IsHexContinuation(lines[last + 1])) return std::nullopt;
    list += Trim(lines[++last]);
  }
  auto data = ParseHexBytes(list);
  if (!data) return std::nullopt;
  parsed.value.data = std::move(*data);
  index = last;
  return parsed;
}

void AppendQuoted(std::u16string& out, std::u16string_view text) {
  out.push_back(u'"');
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  out.push_back(u'"');
}

// The text of a REG_SZ that a quoted line gives back byte for byte.
std::optional<std::u16string> QuotableText(const RegistryValue& value) {
  if (value.type != kRegSz || value.data.size() < 2 || value.data.size() % 2 != 0) return std::nullopt;
  if (value.data[value.data.size() - 2] != 0 || value.data.back() != 0) return std::nullopt;
  std::u16string text = value.Text();
  if (text.size() != value.data.size() / 2 - 1 || !IsWritableRegistryName(text)) return std::nullopt;
  return text;
}

void AppendHex(std::u16string& out, std::uint32_t number, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kDigits[(number >> shift) & 0xF]);
}

void AppendValue(std::u16string& out, const RegistryValue& value) {
  const size_t lineStart = out.size();
  if (value.name.empty()) {
    out.push_back(u'@');
  } else {
    AppendQuoted(out, value.name);
  }
  out.push_back(u'=');
  if (auto text = QuotableText(value)) {
    AppendQuoted(out, *text);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    out += u"dword:";
    AppendHex(out, value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<std::uint32_t>(value.data[3]) << 24, 8);
  } else {
    if (value.type == kRegBinary) {
      out += u"hex:";
    } else {
      out += u"hex(";
      std::u16string type;
      for (std::uint32_t rest = value.type; rest != 0 || type.empty(); rest >>= 4) type.insert(type.begin(), u"0123456789abcdef"[rest & 0xF]);
      out += type + u"):";
    }
    // Wrapped as regedit does, so long binary values stay readable.
    size_t column = out.size() - lineStart;
    for (size_t i = 0; i < value.data.size(); ++i) {
      AppendHex(out, value.data[i], 2);
      column += 2;
      if (i + 1 == value.data.size()) break;
      out.push_back(u',');
      if (++column >= 76) {
        out += u"\\\r\n  ";
        column = 2;
      }
    }
  }
  out += kCrLf;
}

}  // namespace

RegistryValue RegistryValue::String(std::u16string_view name, std::u16string_view text) {
  RegistryValue value{std::u16string(name), kRegSz, {}};
  value.data.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  value.data.insert(value.data.end(), {0, 0});
  return value;
}

std::u16string RegistryValue::Text() const {
  std::u16string text;
  text.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::u16string RegistryKeyId(std::u16string_view key) { return Lower(Join(KeyComponents(key))); }

bool IsWritableRegistryName(std::u16string_view name) {
  return name.find_first_of(u"\r\n", 0, 2) == std::u16string_view::npos && name.find(u'\0') == std::u16string_view::npos && !HasLoneSurrogate(name);
}

RegistryHive RegistryHive::Parse(std::string_view bytes) {
  RegistryHive hive;
  const std::u16string text = DecodeFileText(bytes);
  const auto lines = SplitLines(text);
  // Without a header the lines are read all the same: a hand-made or damaged
  // file still gives up every value it holds.
  std::optional<std::u16string> current;
  for (size_t index = 0; index < lines.size(); ++index) {
    const std::u16string_view line = Trim(lines[index]);
    if (line.empty() || line.front() == u';' || line == kHeader || line == kOldHeader) continue;
    if (line.front() == u'[') {
      const size_t close = line.rfind(u']');
      // Blanks inside the brackets are no part of the path, so the key read is the
      // key written back.
      std::u16string_view path = Trim(line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
      // Kept under the name it is written with (a lone surrogate has no UTF-8 form),
      // so two names that differ only there are one key now, as on the next read.
      const std::u16string writable = HasLoneSurrogate(path) ? ToUtf16(ToUtf8(path)) : std::u16string();
      if (!writable.empty()) path = writable;
      current.reset();
      if (!path.empty() && path.front() == u'-') {
        hive.DeleteKey(path.substr(1));
      } else if (std::u16string id = RegistryKeyId(path); !id.empty()) {
        if (!hive.Find(id)) hive.Add(std::u16string(path), std::move(id));
        current = std::u16string(path);
      }
      continue;
    }
    if (!current || (line.front() != u'"' && line.front() != u'@')) continue;
    auto parsed = ParseValue(lines, index);
    if (!parsed) continue;
    if (parsed->remove) {
      hive.DeleteValue(*current, parsed->value.name);
    } else {
      hive.SetValue(*current, std::move(parsed->value));
    }
  }
  return hive;
}

std::string RegistryHive::Serialize() const {
  std::u16string out(kHeader);
  out += kCrLf;
  out += kCrLf;
  for (const auto& key : keys_) {
    out += u"[" + key.path + u"]";
    out += kCrLf;
    for (const auto& value : key.values) AppendValue(out, value);
    out += kCrLf;
  }
  return ToUtf8(out);
}

RegistryKeySection* RegistryHive::Find(std::u16string_view id) { return const_cast<RegistryKeySection*>(std::as_const(*this).Find(id)); }

const RegistryKeySection* RegistryHive::Find(std::u16string_view id) const {
  const auto found = std::ranges::find(keys_, id, &RegistryKeySection::id);
  return found == keys_.end() ? nullptr : &*found;
}

RegistryKeySection& RegistryHive::Add(std::u16string path, std::u16string id) {
  return keys_.emplace_back(RegistryKeySection{std::move(path), std::move(id), {}});
}

bool RegistryHive::HasKey(std::u16string_view key) const {
  const std::u16string id = RegistryKeyId(key);
  if (id.empty()) return false;
  // A root always exists.
  if (id.find(u'\\') == std::u16string::npos) return true;
  return std::ranges::any_of(keys_, [&](const RegistryKeySection& section) {
    return section.id == id || (section.id.size() > id.size() && section.id.starts_with(id) && section.id[id.size()] == u'\\');
  });
}

void RegistryHive::AddKey(std::u16string_view key) {
  std::u16string id = RegistryKeyId(key);
  if (id.empty() || Find(id)) return;
  // A new key is written under its own name, not the 32-bit alias.
  Add(Join(KeyComponents(key)), std::move(id));
}

void RegistryHive::DeleteKey(std::u16string_view key) {
  const std::u16string id = RegistryKeyId(key);
  if (id.empty()) return;
  std::erase_if(keys_, [&](const RegistryKeySection& section) {
    return section.id == id || (section.id.size() > id.size() && section.id.starts_with(id) && section.id[id.size()] == u'\\');
  });
}

const RegistryValue* RegistryHive::FindValue(std::u16string_view key, std::u16string_view name) const {
  const RegistryKeySection* section = Find(RegistryKeyId(key));
  if (!section) return nullptr;
  const auto found = std::ranges::find_if(section->values, [&](const RegistryValue& value) { return EqualsIgnoreAsciiCase(value.name, name); });
  return found == section->values.end() ? nullptr : &*found;
}

void RegistryHive::SetValue(std::u16string_view key, RegistryValue value) {
  const std::u16string id = RegistryKeyId(key);
  if (id.empty()) return;
  AddKey(key);
  RegistryKeySection& section = *Find(id);
  const auto found =
      std::ranges::find_if(section.values, [&](const RegistryValue& existing) { return EqualsIgnoreAsciiCase(existing.name, value.name); });
  if (found != section.values.end()) {
    // The registry keeps a value's name as first written.
    value.name = std::move(found->name);
    *found = std::move(value);
  } else {
    section.values.push_back(std::move(value));
  }
}

bool RegistryHive::DeleteValue(std::u16string_view key, std::u16string_view name) {
  RegistryKeySection* section = Find(RegistryKeyId(key));
  return section && std::erase_if(section->values, [&](const RegistryValue& value) { return EqualsIgnoreAsciiCase(value.name, name); }) > 0;
}

}  // namespace wendrake
