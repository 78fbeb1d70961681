// Pages arrive in whatever character set their site uses; the engine, the
// serialiser and the saved pages work in UTF-8. These find the character set
// a page declares and convert the page to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velkin::capture {

bool isValidUtf8(std::string_view text);

// The character set of a page, lower-cased: the charset parameter of its
// Content-Type, else a byte order mark, else a META charset declaration in
// its first 1024 bytes; "" when none is declared.
std::string declaredCharset(std::string_view bytes, std::string_view contentType);

// The page as UTF-8 text. An undeclared page that is not valid UTF-8 is
// read as windows-1252, as browsers do; a byte order mark is dropped. A
// character set the system cannot convert leaves the bytes as they are.
std::string toUtf8(std::string_view bytes, std::string_view contentType = {});

}  // namespace velkin::capture
