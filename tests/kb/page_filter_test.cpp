// The page filter modes, applied through listings as the search tree does.
#include <gtest/gtest.h>

#include "kb/listing.h"
#include "kb/meta.h"
#include "kb/page_filter.h"
#include "platform/file_util.h"
#include "support/test_support.h"

namespace velkin::kb {
namespace {

class PageFilterTest : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    testing::writeTextFile(path("Apple Pie.htm"), captureHeader("https://Recipes.example/pie") + "<p>x</p>");
    testing::writeTextFile(path("notes.HTML"),
                           "<meta name=keywords content=baking,Dessert><meta name=x content=y>");
    testing::writeTextFile(path("plain.htm"), "<p>no metadata</p>");
  }
  bool passes(const PageFilter& filter, const std::string& name) const {
    return filter.passes(path(name), name);
  }
};

TEST_F(PageFilterTest, FileNameModeSearchesTheWholeFileNameWithoutCase) {
  const auto htm = PageFilter::byMode(FilterMode::FileName, "HTM");
  EXPECT_TRUE(passes(htm, "Apple Pie.htm"));
  EXPECT_TRUE(passes(htm, "notes.HTML"));
  EXPECT_TRUE(passes(PageFilter::byMode(FilterMode::FileName, "e p"), "Apple Pie.htm"));
  EXPECT_FALSE(passes(PageFilter::byMode(FilterMode::FileName, "pies"), "Apple Pie.htm"));
}

TEST_F(PageFilterTest, AddressAndKeywordModesMatchTheMetaValuesWithoutCase) {
  EXPECT_TRUE(passes(PageFilter::byMode(FilterMode::PageUrl, "recipes.EXAMPLE"), "Apple Pie.htm"));
  EXPECT_FALSE(passes(PageFilter::byMode(FilterMode::PageUrl, "recipes"), "plain.htm"));
  EXPECT_TRUE(passes(PageFilter::byMode(FilterMode::Keyword, "dessert"), "notes.HTML"));
  EXPECT_FALSE(passes(PageFilter::byMode(FilterMode::Keyword, "dessert"), "Apple Pie.htm"));
}

TEST_F(PageFilterTest, CreationBoundsAreInclusive) {
  const auto created = platform::fileCreationTime(path("plain.htm"));
  ASSERT_TRUE(created.has_value());
  EXPECT_TRUE(passes(PageFilter::byCreation(*created - 10, *created), "plain.htm")) << "upper bound";
  EXPECT_TRUE(passes(PageFilter::byCreation(*created, *created + 10), "plain.htm")) << "lower bound";
  EXPECT_FALSE(passes(PageFilter::byCreation(*created + 1, *created + 10), "plain.htm"));
  EXPECT_FALSE(passes(PageFilter::byCreation(*created + 10, *created - 10), "plain.htm")) << "from after to";
}

TEST_F(PageFilterTest, UnknownModeLetsNothingPass) {
  PageFilter filter;
  filter.mode = 7;
  EXPECT_FALSE(passes(filter, "plain.htm"));
  EXPECT_TRUE(passes(PageFilter::none(), "plain.htm"));
}

TEST_F(PageFilterTest, KeywordNoPageCarriesLeavesCategoriesWithoutExpandButtons) {
  testing::writeTextFile(path("book/Cat/a.htm"), "<p>a</p>");
  testing::makeDirs(path("book/Cat/Sub"));
  testing::writeTextFile(path("book/Other/b.htm"), "<p>b</p>");
  const auto entries = listFolder(path("book"), PageFilter::byMode(FilterMode::Keyword, "nothing"), path("book"));
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& entry : entries) {
    EXPECT_EQ(entry.kind, ItemKind::Category);
    EXPECT_EQ(entry.hasChildren, entry.text == "Cat") << entry.text;
  }
}

}  // namespace
}  // namespace velkin::kb
