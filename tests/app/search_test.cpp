// Search: the Search Options dialog's rules, and the search bar's tree over a
// real knowledge base (which pages each criterion lets through, the
// categories' expand buttons, the filter kept across the watcher's refresh,
// the main tree's remembered selection left alone).
#include <gtest/gtest.h>

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/project_tree_ctrl.h"
#include "app/search_bar.h"
#include "app/search_dialog.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace {

using velkin::kb::FilterMode;
using velkin::kb::PageFilter;
using velkin::kb::TreeItem;

// ---------------------------------------------------------------- dialog

struct CriterionCase {
  const char* name;
  FilterMode mode;
  std::set<std::string> enabled;                   // of fileName, from, to, url, keyword
  std::function<QLineEdit*(CSearchDialog&)> edit;  // nullptr: the date
};

class SearchDialogTest : public ::testing::TestWithParam<CriterionCase> {};

std::set<std::string> enabledInputs(const CSearchDialog& dialog) {
  std::set<std::string> enabled;
  const std::pair<const char*, QWidget*> inputs[] = {{"fileName", dialog.fileNameEdit()},
                                                     {"from", dialog.fromEdit()},
                                                     {"to", dialog.toEdit()},
                                                     {"url", dialog.urlEdit()},
                                                     {"keyword", dialog.keywordEdit()}};
  for (const auto& [name, widget] : inputs) {
    if (widget->isEnabled()) enabled.insert(name);
  }
  return enabled;
}

TEST_P(SearchDialogTest, ACriterionEnablesItsInputsAndOkNeedsItsText) {
  const CriterionCase& c = GetParam();
  CSearchDialog dialog;
  EXPECT_TRUE(dialog.modeButton(FilterMode::FileName)->isChecked()) << "the dialog opens on File name";
  EXPECT_EQ(enabledInputs(dialog), std::set<std::string>{"fileName"});
  // Texts in every box: only the chosen criterion's may count.
  for (QLineEdit* edit : {dialog.fileNameEdit(), dialog.urlEdit(), dialog.keywordEdit()}) edit->setText("other");
  const QDateTime from(QDate(2024, 3, 1), QTime(8, 30, 0));
  const QDateTime to(QDate(2024, 3, 31), QTime(17, 45, 10));
  dialog.fromEdit()->setDateTime(from);
  dialog.toEdit()->setDateTime(to);
  dialog.show();
  dialog.modeButton(c.mode == FilterMode::Keyword ? FilterMode::Created : FilterMode::Keyword)->click();
  dialog.modeButton(c.mode)->click();
  EXPECT_EQ(enabledInputs(dialog), c.enabled);

  QSignalSpy accepted(&dialog, &QDialog::accepted);
  if (c.edit) {
    c.edit(dialog)->clear();
    QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible()) << "an empty text keeps the dialog open, with no message";
    c.edit(dialog)->setText(QStringLiteral("Pie"));
  }
  QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
  ASSERT_EQ(accepted.count(), 1);
  const PageFilter& filter = dialog.filter();
  EXPECT_EQ(filter.mode, static_cast<int>(c.mode));
  if (c.edit) {
    EXPECT_EQ(filter.text, "Pie");
  } else {
    EXPECT_EQ(filter.from, static_cast<std::time_t>(from.toSecsSinceEpoch())) << "date and time of day";
    EXPECT_EQ(filter.to, static_cast<std::time_t>(to.toSecsSinceEpoch()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Criteria, SearchDialogTest,
    ::testing::Values(
        CriterionCase{"FileName", FilterMode::FileName, {"fileName"}, [](CSearchDialog& d) { return d.fileNameEdit(); }},
        CriterionCase{"Created", FilterMode::Created, {"from", "to"}, nullptr},
        CriterionCase{"PageUrl", FilterMode::PageUrl, {"url"}, [](CSearchDialog& d) { return d.urlEdit(); }},
        CriterionCase{"Keyword", FilterMode::Keyword, {"keyword"}, [](CSearchDialog& d) { return d.keywordEdit(); }}),
    [](const auto& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------- search bar

// The view shows the expand sign by policy, or for children it holds.
bool showsExpandButton(const QTreeWidgetItem& widget) {
  return widget.childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator || widget.childCount() > 0;
}

class SearchBarTest : public velkin::testing::IsolatedTest {
 protected:
  void SetUp() override {
    page("Desserts/Apple Pie.htm", "https://recipes.example/pie", "baking,dessert");
    page("Desserts/Cakes/Cheese Cake.HTML", "https://cakes.example/cheese", "baking");
    page("Soups/Tomato.htm", "https://recipes.example/tomato", "");
    velkin::testing::makeDirs(book_ + "/Empty");
    registry_.writeString(velkin::platform::RegistryRoot::Machine, velkin::kb::kKestrovaKey,
                          velkin::kb::kBookPathValue, book_);
    bar_ = std::make_unique<CSearchBar>(registry_);
  }
  void TearDown() override { bar_.reset(); }

  void page(const std::string& relative, const std::string& address, const std::string& keywords) {
    std::string html = velkin::kb::captureHeader(address);
    if (!keywords.empty()) html += "<meta name=keywords content=" + keywords + ">";
    velkin::testing::writeTextFile(book_ + "/" + relative, html + "<p>text</p>");
  }

  CProjectTreeCtrl& tree() { return *bar_->treeCtrl(); }

  // Every page the search tree lists, by its path below the book directory.
  std::set<std::string> listedPages() {
    auto& model = tree().model();
    model.expandAll(model.root());
    std::set<std::string> pages;
    std::function<void(const TreeItem&)> walk = [&](const TreeItem& item) {
      if (item.isPage()) pages.insert(model.pathOf(&item).substr(book_.size() + 1));
      for (const auto& child : item.children) walk(*child);
    };
    walk(*model.root());
    return pages;
  }

  std::string book_ = path("book");
  velkin::platform::Registry registry_{configDir()};
  std::unique_ptr<CSearchBar> bar_;
};

TEST_F(SearchBarTest, EachCriterionListsOnlyTheMatchingPages) {
  const auto created = velkin::platform::fileCreationTime(book_ + "/Soups/Tomato.htm");
  ASSERT_TRUE(created);
  struct Case {
    const char* name;
    PageFilter filter;
    std::set<std::string> pages;
  };
  const std::set<std::string> all = {"Desserts/Apple Pie.htm", "Desserts/Cakes/Cheese Cake.HTML", "Soups/Tomato.htm"};
  const Case cases[] = {
      {"file name HTM finds every page", PageFilter::byMode(FilterMode::FileName, "HTM"), all},
      {"file name without case", PageFilter::byMode(FilterMode::FileName, "apple p"), {"Desserts/Apple Pie.htm"}},
      {"a folder name is no file name", PageFilter::byMode(FilterMode::FileName, "Desserts"), {}},
      {"address part", PageFilter::byMode(FilterMode::PageUrl, "RECIPES.example"),
       {"Desserts/Apple Pie.htm", "Soups/Tomato.htm"}},
      {"keyword part", PageFilter::byMode(FilterMode::Keyword, "Bak"),
       {"Desserts/Apple Pie.htm", "Desserts/Cakes/Cheese Cake.HTML"}},
      {"creation range around now", PageFilter::byCreation(*created - 3600, *created + 3600), all},
      {"From later than to", PageFilter::byCreation(*created + 3600, *created - 3600), {}},
  };
  for (const Case& c : cases) {
    bar_->search(c.filter);
    EXPECT_TRUE(bar_->isVisible()) << c.name;
    EXPECT_EQ(listedPages(), c.pages) << c.name;
    EXPECT_EQ(tree().model().filter().mode, c.filter.mode) << c.name;
  }
}

TEST_F(SearchBarTest, AKeywordNobodyHasShowsEveryCategoryWithoutPagesOrExpandButtons) {
  bar_->search(PageFilter::byMode(FilterMode::Keyword, "nobody-has-this"));
  auto& model = tree().model();
  std::vector<std::string> categories;
  for (const auto& child : model.root()->children) categories.push_back(child->text);
  EXPECT_EQ(categories, (std::vector<std::string>{"Desserts", "Empty", "Soups"}));
  for (const auto& child : model.root()->children) {
    if (child->text == "Desserts") {
      EXPECT_TRUE(child->hasChildren) << "Desserts holds the category Cakes";
      continue;
    }
    EXPECT_FALSE(child->hasChildren) << child->text;
    EXPECT_FALSE(showsExpandButton(*tree().widgetItem(child.get()))) << child->text;
  }
  EXPECT_TRUE(listedPages().empty());
}

TEST_F(SearchBarTest, TheWatchersRefreshKeepsTheFilter) {
  bar_->search(PageFilter::byMode(FilterMode::FileName, "tart"));
  EXPECT_TRUE(listedPages().empty());
  page("Lemon Tart.htm", "https://recipes.example/tart", "");
  page("Bread.htm", "https://recipes.example/bread", "");
  QTRY_VERIFY_WITH_TIMEOUT(listedPages().count("Lemon Tart.htm") == 1, 20000);
  EXPECT_EQ(listedPages(), std::set<std::string>{"Lemon Tart.htm"});
}

TEST_F(SearchBarTest, TheSearchTreeLeavesTheRememberedSelectionAlone) {
  const std::string remembered = book_ + "/Soups";
  registry_.writeString(velkin::platform::RegistryRoot::User, velkin::kb::kSelectedKey,
                        velkin::kb::kSelectedFolderValue, remembered);
  bar_ = std::make_unique<CSearchBar>(registry_);
  EXPECT_EQ(tree().model().selected(), nullptr) << "the search tree does not start on the main tree's place";
  bar_->search(PageFilter::byMode(FilterMode::FileName, "htm"));
  tree().model().select(tree().model().findPath(book_ + "/Desserts/Apple Pie.htm"));
  bar_.reset();
  EXPECT_EQ(registry_.readString(velkin::platform::RegistryRoot::User, velkin::kb::kSelectedKey,
                                 velkin::kb::kSelectedFolderValue),
            remembered);
}

}  // namespace
