// The knowledge-base commands: list, search and meta.
#include <ctime>
#include <iostream>
#include <string>

#include "cli/cli.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "kb/project_tree.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace velkin::cli {
namespace {

constexpr char kUsage[] =
    "usage: velkin [--book DIR] COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  list [CATEGORY] [--tsv]          the knowledge base as the project tree shows it, fully expanded\n"
    "  search (--name TEXT | --url TEXT | --keyword TEXT | --created FROM TO) [--tsv]\n"
    "                                   the same tree, listing only the pages that match\n"
    "                                   (dates as YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS)\n"
    "  meta PAGE [NAME]                 a page's META value (default PAGEURL)\n"
    "  book-dir [--create]              the book directory in use (created with --create)\n"
    "  capture SOURCE --into CATEGORY [--name NAME] [--types zip,pdf] [--text] [--url ADDRESS]\n"
    "          [--quiet] [--overwrite] [--max-file-size SIZE] [--jobs N] [--plain]\n"
    "                                   a web page, an HTML file or - (standard input) and its\n"
    "                                   resources into CATEGORY; prints the page's path. The page is\n"
    "                                   completed: style-sheet pictures and fonts, srcset, lazy\n"
    "                                   pictures, media, scripts and frame pages are saved too;\n"
    "                                   --plain saves only pictures, sheets, frames and chosen files\n"
    "                                   as written in the tags. Resources\n"
    "                                   over SIZE (like 500K, 20M, 1G; default 1G) are not fetched;\n"
    "                                   pages over 64 MiB are refused. A failed capture changes nothing\n"
    "                                   N resources (1 to 64, default 6) are fetched at once\n"
    "  build-chm CATEGORY -o OUT.chm [--title T] [--topic PAGE] [--language ENTRY] [--open] [--progress]\n"
    "                                   compile CATEGORY into a CHM book with chmcmd, showing its output\n"
    "                                   (PAGE under CATEGORY or a full path; ENTRY like 0x409 or its full text)\n"
    "  build-html CATEGORY [--no-open]  write MyKnowledge.htm for CATEGORY (or beside a page) and open it\n"
    "  registry get KEY [VALUE]         a settings value, or all values of a key\n"
    "  registry set KEY VALUE DATA [--dword]\n"
    "  registry export [KEY]            settings as text (KEY like HKLM\\SOFTWARE\\Kestrova)\n"
    "  register [LIBRARY] [--host PATH] [--user-data-dir DIR]... [--system]\n"
    "                                   register the browser capture library (default: the installed\n"
    "                                   libmarrowind.so, else the build tree's) in the settings and\n"
    "                                   write the native messaging host manifests for Chromium, Google\n"
    "                                   Chrome and Firefox naming PATH (default: marrowind-host beside\n"
    "                                   velkin, else the build tree's); --user-data-dir adds a Chromium\n"
    "                                   profile folder, --system the folders read for every user\n"
    "  unregister [LIBRARY] [--user-data-dir DIR]... [--system]\n"
    "                                   remove its registration and our host manifests\n"
    "\n"
    "options:\n"
    "  --book DIR                       use DIR as the book directory for this run\n"
    "  --tsv                            one item a line: depth, kind, text, full path (tab-separated)\n";

// Tabs and line breaks in names would break the columns; they are written
// as backslash escapes, and so is the backslash itself.
void appendTsvField(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

void printItem(const kb::TreeItem& item, const std::string& path, int depth, bool tsv, std::string& out) {
  if (tsv) {
    out += std::to_string(depth);
    out += '\t';
    out += std::to_string(static_cast<int>(item.kind));
    out += '\t';
    appendTsvField(out, item.text);
    out += '\t';
    appendTsvField(out, path);
  } else {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += item.text;
  }
  out += '\n';
  for (const auto& child : item.children) {
    printItem(*child, platform::joinPath(path, child->text + child->extension), depth + 1, tsv, out);
  }
}

// Says on standard error what the listing met that the user should hear of.
class ProblemReporter : public kb::TreeObserver {
 public:
  explicit ProblemReporter(std::ostream& err) : err_(err) {}
  void listingProblem(const std::string& message) override { err_ << "velkin: " << message << "\n"; }

 private:
  std::ostream& err_;
};

// Lists the tree below CATEGORY (a path under the book directory; "" or "/"
// is the root) with the filter, fully expanded, and prints it.
int printTree(Context& context, const std::string& category, const kb::PageFilter& filter, bool tsv) {
  kb::ProjectTree::Options options;
  options.bookDirectory = context.bookDirectory;
  ProblemReporter reporter(context.err);  // outlives the tree
  kb::ProjectTree tree(context.registry, options);
  tree.setObserver(&reporter);
  tree.setFilter(filter);
  tree.fill();
  kb::TreeItem* top = tree.root();
  if (!category.empty() && category != "/") {
    const bool absolute = category.front() == '/';
    top = tree.findPath(absolute ? category : platform::joinPath(tree.bookDirectory(), category));
    if (top == nullptr || top->isPage()) return failure(context, "no such category: " + category);
  }
  tree.expandAll(top);
  std::string out;
  printItem(*top, tree.pathOf(top), 0, tsv, out);
  context.out << out << std::flush;
  // The command line leaves the project tree's remembered selection alone.
  tree.select(nullptr);
  return kExitOk;
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS", local time. A date alone means the
// start of that day, or its last second when endOfDay is set.
bool parseDateTime(const std::string& text, bool endOfDay, std::time_t* result) {
  std::tm parts{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  if (text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) == 3) {
    if (endOfDay) {
      hour = 23;
      minute = 59;
      second = 59;
    }
  } else if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day,
                                              &hour, &minute, &second, &tail) != 6) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  *result = std::mktime(&parts);
  return *result != static_cast<std::time_t>(-1) && parts.tm_mday == day;
}

}  // namespace

int usageError(Context& context, const std::string& message) {
  if (!message.empty()) context.err << "velkin: " << message << "\n";
  (message.empty() ? context.out : context.err) << kUsage;
  return kExitUsage;
}

int failure(Context& context, const std::string& message) {
  context.err << "velkin: " << message << "\n";
  return kExitFailure;
}

int runList(Context& context, const Arguments& args) {
  bool tsv = false;
  std::string category;
  bool haveCategory = false;
  for (const auto& arg : args) {
    if (arg == "--tsv") {
      tsv = true;
    } else if (arg.rfind("--", 0) == 0) {
      return usageError(context, "list: unknown option " + arg);
    } else if (!haveCategory) {
      category = arg;
      haveCategory = true;
    } else {
      return usageError(context, "list: more than one category given");
    }
  }
  return printTree(context, category, kb::PageFilter::none(), tsv);
}

int runSearch(Context& context, const Arguments& args) {
  bool tsv = false;
  std::optional<kb::PageFilter> filter;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool textOption = arg == "--name" || arg == "--url" || arg == "--keyword";
    if (arg == "--tsv") {
      tsv = true;
      continue;
    }
    if (!textOption && arg != "--created") return usageError(context, "search: unexpected argument " + arg);
    if (filter) return usageError(context, "search: give one criterion only");
    if (textOption) {
      if (i + 1 >= args.size() || args[i + 1].empty()) return usageError(context, "search: " + arg + " needs a text");
      const auto mode = arg == "--name" ? kb::FilterMode::FileName
                        : arg == "--url" ? kb::FilterMode::PageUrl
                                         : kb::FilterMode::Keyword;
      filter = kb::PageFilter::byMode(mode, args[++i]);
      continue;
    }
    std::time_t from = 0, to = 0;
    if (i + 2 >= args.size() || !parseDateTime(args[i + 1], false, &from) ||
        !parseDateTime(args[i + 2], true, &to)) {
      return usageError(context, "search: --created needs two dates, YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS");
    }
    filter = kb::PageFilter::byCreation(from, to);
    i += 2;
  }
  if (!filter) return usageError(context, "search: give --name, --url, --keyword or --created");
  return printTree(context, "", *filter, tsv);
}

int runMeta(Context& context, const Arguments& args) {
  if (args.empty() || args.size() > 2) return usageError(context, "meta: give PAGE and optionally NAME");
  const std::string& page = args[0];
  if (!platform::isRegularFile(page)) return failure(context, "no such page: " + page);
  const std::string name = args.size() == 2 ? args[1] : std::string(kb::kPageUrlName);
  context.out << kb::readMetaValue(page, name) << "\n";
  return kExitOk;
}

int runBookDir(Context& context, const Arguments& args) {
  const bool create = args.size() == 1 && args[0] == "--create";
  if (!args.empty() && !create) return usageError(context, "book-dir: unexpected argument " + args[0]);
  std::string book = context.bookDirectory.value_or("");
  if (book.empty()) book = kb::bookDirectory(context.registry);
  if (create && !platform::makeFolders(book)) return failure(context, "cannot create " + book);
  context.out << book << "\n";
  return kExitOk;
}

}  // namespace velkin::cli
