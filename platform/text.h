// Text helpers. The system's texts are UTF-8; "upper case" and "lower case"
// map the ASCII letters only, so multi-byte sequences pass through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace velkin::platform {

char asciiUpper(char c);
char asciiLower(char c);
std::string toAsciiUpper(std::string_view text);
std::string toAsciiLower(std::string_view text);
void makeAsciiUpper(std::string& text);

// Equality and ordering without regard to ASCII case.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// The order of names in every listing (the order the knowledge base's
// folders were designed to be read in): byte by byte after mapping the ASCII
// letters a-z to A-Z, bytes taken as unsigned, a shorter name before a longer
// one it begins. So "ab" < "Apple" < "a_b" ('_' comes after the letters),
// and UTF-8 names follow their code points, other letters keeping their case.
// Names that differ only in ASCII case keep their plain byte order ("Apple"
// before "apple"), so the order is total. Negative, zero or positive.
int compareNames(std::string_view a, std::string_view b);
inline bool nameLess(std::string_view a, std::string_view b) { return compareNames(a, b) < 0; }
bool endsWith(std::string_view text, std::string_view suffix);
bool endsWithIgnoreCase(std::string_view text, std::string_view suffix);

// Path pieces: the last component of a "/"-separated path, and everything
// before it (without the trailing "/"). "/a/b" gives "b" and "/a".
std::string_view baseName(std::string_view path);
std::string_view parentPath(std::string_view path);
std::string joinPath(std::string_view folder, std::string_view name);

// The longest start of text of at most maxBytes that ends on a UTF-8
// character boundary.
std::string_view cutAtCharacter(std::string_view text, size_t maxBytes);

// A file name cut so that it takes at most maxBytes: the part before its
// extension (the last ".", when what follows it is short) is cut on a
// character boundary and the extension kept, so the file keeps its type.
std::string fitFileName(std::string_view name, size_t maxBytes);

// A string with printf-style "%s" placeholders filled in order (the system's
// message texts carry such placeholders).
std::string formatMessage(std::string_view pattern, std::string_view arg);

// The value of a hexadecimal digit in either letter case; -1 for any other byte.
int hexDigitValue(char c);

// text with every "%XX" (either letter case) replaced by its byte; a "%"
// that starts no such triplet stays as it is.
std::string percentDecoded(std::string_view text);

}  // namespace velkin::platform
