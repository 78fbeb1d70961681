// Finding a page's character set and bringing the page to UTF-8.
#include <gtest/gtest.h>

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

class CharsetCases : public ::testing::TestWithParam<CharsetCase> {};

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

TEST(Utf8Validity, RejectsTruncatedAndStrayContinuationBytes) {
  EXPECT_TRUE(isValidUtf8("plain \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("\xE2\x82"));
  EXPECT_FALSE(isValidUtf8("\x80"));
  EXPECT_FALSE(isValidUtf8("caf\xE9!"));
}

}  // namespace
}  // namespace velkin::capture
