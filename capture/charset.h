// Pages arrive in whatever character set their site uses; the engine, the
// serialiser and the saved pages work in UTF-8. These find the character set
// a page declares and convert the page to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velkin::capture {

bool isValidUtf8(std::string_view text);

// The character set of a page, lower-cased, found as browsers find it: a
// byte order mark at its start, else the charset parameter of its
// Content-Type, else a META charset declaration in its first 1024 bytes; ""
// when none is declared. A META declaring UTF-16 (under any of its labels)
// gives "utf-8", since a page whose META could be read as ASCII is not
// UTF-16; a META declaring x-user-defined gives "windows-1252".
std::string declaredCharset(std::string_view bytes, std::string_view contentType);

// The page as UTF-8 text, read in the character set declaredCharset finds.
// An undeclared page that is not valid UTF-8 is read as windows-1252, as
// browsers do; a byte order mark (UTF-8 or UTF-16) is dropped. A character
// set the system cannot convert leaves the bytes as they are.
std::string toUtf8(std::string_view bytes, std::string_view contentType = {});

}  // namespace velkin::capture
