// Addresses met while capturing: resolving a reference against the page's
// base address, and deriving the local file name of a resource.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkin::capture {

// Longest address a resolution may produce; longer results are failures.
inline constexpr size_t kMaxResolvedAddress = 2048;

// True for an address of the web ("http://" or "https://" anywhere in it).
bool isWebAddress(std::string_view address);

// True when address starts with "http://" or "https://", in any case: an
// address that is downloaded rather than copied from this machine.
bool hasWebScheme(std::string_view address);

// Resolves value against base: absolute values are kept, web bases are
// combined by RFC 3986 rules, path bases by folder arithmetic. nullopt when
// either is empty or the combination fails or is too long.
std::optional<std::string> resolveAddress(std::string_view base, std::string_view value);

// text with every byte for which encode is true written as "%XX" (capital
// hexadecimal digits), every other byte as it is.
std::string percentEncoded(std::string_view text, bool (*encode)(unsigned char byte));

// The local file name for a resolved address: the last path component (a
// query address gives "name.htm"), "%20" as blanks. nullopt when none can
// be derived or it would not be a single safe path component (empty, ".",
// "..", containing "/", a backslash or NUL).
std::optional<std::string> localFileName(std::string_view address);

}  // namespace velkin::capture
