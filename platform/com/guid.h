// Globally unique identifiers of classes, interfaces and type libraries, laid
// out as on the system the servers were designed for (one 32-bit, two 16-bit
// and eight single-byte fields), and their registry text form
// "{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkin::com {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
};

bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

// Reads the braced text form: 38 characters, braces required, hexadecimal
// digits in either case, dashes after the 8th, 12th, 16th and 20th digit.
// nullopt for anything else (no blanks, no missing braces, no extra text).
std::optional<GUID> parseGuid(std::string_view text);
// The braced text form with upper-case digits, as registry keys name it.
std::string formatGuid(const GUID& guid);

struct GuidHash {
  std::size_t operator()(const GUID& guid) const;
};

}  // namespace velkin::com
