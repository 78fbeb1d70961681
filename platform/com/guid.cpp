#include "platform/com/guid.h"

#include <cstring>
#include <functional>

#include "platform/text.h"

namespace velkin::com {

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace {

// Reads `digits` hexadecimal digits at text[pos]; false on any other byte.
bool readHex(std::string_view text, size_t pos, size_t digits, std::uint32_t& out) {
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int value = platform::hexDigitValue(text[pos + i]);
    if (value < 0) return false;
    out = (out << 4) | static_cast<std::uint32_t>(value);
  }
  return true;
}

}  // namespace

std::optional<GUID> parseGuid(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return std::nullopt;
  GUID guid;
  std::uint32_t value = 0;
  if (!readHex(text, 1, 8, value)) return std::nullopt;
  guid.Data1 = value;
  if (!readHex(text, 10, 4, value)) return std::nullopt;
  guid.Data2 = static_cast<std::uint16_t>(value);
  if (!readHex(text, 15, 4, value)) return std::nullopt;
  guid.Data3 = static_cast<std::uint16_t>(value);
  // Data4: two bytes before the last dash, six after it.
  static constexpr size_t kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!readHex(text, kBytePositions[i], 2, value)) return std::nullopt;
    guid.Data4[i] = static_cast<std::uint8_t>(value);
  }
  return guid;
}

std::string formatGuid(const GUID& guid) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(38);
  const auto put = [&](std::uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  };
  text += '{';
  put(guid.Data1, 8);
  text += '-';
  put(guid.Data2, 4);
  text += '-';
  put(guid.Data3, 4);
  text += '-';
  for (size_t i = 0; i < 8; ++i) {
    if (i == 2) text += '-';
    put(guid.Data4[i], 2);
  }
  text += '}';
  return text;
}

std::size_t GuidHash::operator()(const GUID& guid) const {
  std::uint64_t low = 0;
  std::memcpy(&low, guid.Data4, sizeof low);
  const std::uint64_t high = (std::uint64_t{guid.Data1} << 32) | (std::uint64_t{guid.Data2} << 16) | guid.Data3;
  return std::hash<std::uint64_t>{}(high ^ (low * 0x9E3779B97F4A7C15ull));
}

}  // namespace velkin::com
