// Finding a page's character set and bringing the page to UTF-8.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "capture/charset.h"

namespace velkin::capture {
namespace {

struct CharsetCase {
  const char* what;
  std::string bytes;
  const char* contentType;
  const char* declared;
  std::string utf8;
};

void PrintTo(const CharsetCase& c, std::ostream* out) { *out << c.what; }

class CharsetCases : public ::testing::TestWithParam<CharsetCase> {};

// Latin-1 text as UTF-16 bytes, after the byte order mark of that order.
std::string utf16(std::string_view latin1, bool littleEndian) {
  std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char c : latin1) {
    bytes += littleEndian ? c : '\0';
    bytes += littleEndian ? '\0' : c;
  }
  return bytes;
}

TEST_P(CharsetCases, DeclarationAndConversion) {
  const CharsetCase& c = GetParam();
  EXPECT_EQ(declaredCharset(c.bytes, c.contentType), c.declared) << c.what;
  EXPECT_EQ(toUtf8(c.bytes, c.contentType), c.utf8) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CharsetCases,
    ::testing::Values(
        CharsetCase{"UTF-8 undeclared stays", "<p>caf\xC3\xA9</p>", "", "", "<p>caf\xC3\xA9</p>"},
        CharsetCase{"header wins over META", "<meta charset=utf-8><p>caf\xE9</p>", "text/html; charset=ISO-8859-1",
                    "iso-8859-1", "<meta charset=utf-8><p>caf\xC3\xA9</p>"},
        CharsetCase{"META charset", "<META charset=\"windows-1251\"><p>\xCF</p>", "", "windows-1251",
                    "<META charset=\"windows-1251\"><p>\xD0\x9F</p>"},
        CharsetCase{"http-equiv META", "<meta http-equiv=Content-Type content=\"text/html; charset=koi8-r\">\xF0",
                    "text/html", "koi8-r",
                    "<meta http-equiv=Content-Type content=\"text/html; charset=koi8-r\">\xD0\x9F"},
        CharsetCase{"undeclared and not UTF-8 reads as windows-1252", "<p>\x93quoted\x94</p>", "", "",
                    "<p>\xE2\x80\x9Cquoted\xE2\x80\x9D</p>"},
        CharsetCase{"UTF-8 byte order mark dropped", "\xEF\xBB\xBF<p>x</p>", "", "utf-8", "<p>x</p>"},
        CharsetCase{"unknown charset keeps the bytes", "<p>\xE9</p>", "text/html; charset=no-such-set",
                    "no-such-set", "<p>\xE9</p>"},
        CharsetCase{"undefined byte becomes a replacement character", "<p>\x81</p>", "text/html; charset=windows-1252",
                    "windows-1252", "<p>\xEF\xBF\xBD</p>"}));

// A byte order mark outranks every declaration; a META that declares UTF-16
// (or x-user-defined) in ASCII bytes is not believed.
INSTANTIATE_TEST_SUITE_P(
    BrowserOrder, CharsetCases,
    ::testing::Values(
        CharsetCase{"UTF-8 mark wins over Content-Type", "\xEF\xBB\xBF<p>caf\xC3\xA9</p>",
                    "text/html; charset=iso-8859-1", "utf-8", "<p>caf\xC3\xA9</p>"},
        CharsetCase{"UTF-16LE mark wins over Content-Type", utf16("<p>caf\xE9</p>", true),
                    "text/html; charset=windows-1251", "utf-16le", "<p>caf\xC3\xA9</p>"},
        CharsetCase{"UTF-16BE mark wins over META", utf16("<meta charset=koi8-r><p>\xE9", false), "", "utf-16be",
                    "<meta charset=koi8-r><p>\xC3\xA9"},
        CharsetCase{"UTF-8 mark wins over META", "\xEF\xBB\xBF<meta charset=windows-1251><p>\xC3\xA9", "", "utf-8",
                    "<meta charset=windows-1251><p>\xC3\xA9"},
        CharsetCase{"META utf-16 on ASCII bytes reads as UTF-8", "<meta charset=\"UTF-16\"><p>caf\xC3\xA9</p>", "",
                    "utf-8", "<meta charset=\"UTF-16\"><p>caf\xC3\xA9</p>"},
        CharsetCase{"META utf-16le reads as UTF-8", "<meta charset=utf-16le><p>x</p>", "", "utf-8",
                    "<meta charset=utf-16le><p>x</p>"},
        CharsetCase{"http-equiv unicode reads as UTF-8",
                    "<meta http-equiv=content-type content=\"text/html; charset=unicode\"><p>x</p>", "text/html",
                    "utf-8", "<meta http-equiv=content-type content=\"text/html; charset=unicode\"><p>x</p>"},
        CharsetCase{"META x-user-defined reads as windows-1252", "<meta charset=x-user-defined><p>\x93</p>", "",
                    "windows-1252", "<meta charset=x-user-defined><p>\xE2\x80\x9C</p>"}));

TEST(Utf8Validity, RejectsTruncatedAndStrayContinuationBytes) {
  EXPECT_TRUE(isValidUtf8("plain \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("\xE2\x82"));
  EXPECT_FALSE(isValidUtf8("\x80"));
  EXPECT_FALSE(isValidUtf8("caf\xE9!"));
}

}  // namespace
}  // namespace velkin::capture
