#include "capture/completion.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "capture/address.h"
#include "capture/charset.h"
#include "capture/css_urls.h"
#include "capture/download_run.h"
#include "capture/html_references.h"
#include "capture/html_serializer.h"
#include "kb/layout.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::capture {
namespace {

constexpr char kWhere[] = "completion";
constexpr size_t kMaxFileNameBytes = 255;
// Room kept in a file name for " (NNNN)" and a frame's ".files" folder.
constexpr size_t kNameRoom = 16;
constexpr size_t kMaxSrcsetCandidates = 32;

// What a reference names, which decides its file name's ending.
enum class FileKind : char { Resource = 'R', Sheet = 'S', Frame = 'F' };

// What an attribute of an element holds.
enum class Holds { Nothing, File, Srcset, Frame, Link, InputImage };

struct AttributeRule {
  std::string_view tag;
  std::string_view attribute;
  Holds holds;
};

// The attributes completion reads (besides style attributes and the lazy
// pictures, handled on their own).
constexpr AttributeRule kAttributeRules[] = {
    {"img", "src", Holds::File},          {"img", "srcset", Holds::Srcset},
    {"source", "src", Holds::File},       {"source", "srcset", Holds::Srcset},
    {"video", "poster", Holds::File},     {"video", "src", Holds::File},
    {"audio", "src", Holds::File},        {"track", "src", Holds::File},
    {"script", "src", Holds::File},       {"link", "href", Holds::Link},
    {"input", "src", Holds::InputImage},  {"object", "data", Holds::File},
    {"embed", "src", Holds::File},        {"iframe", "src", Holds::Frame},
    {"frame", "src", Holds::Frame},       {"body", "background", Holds::File},
    {"table", "background", Holds::File}, {"td", "background", Holds::File},
    {"th", "background", Holds::File},
};

// Attributes of lazy-loading scripts holding the real picture, in the order
// they are preferred, and the srcset ones.
constexpr std::string_view kLazySources[] = {"data-src", "data-original", "data-lazy-src"};
constexpr std::string_view kLazySrcsets[] = {"data-srcset", "data-lazy-srcset"};

Holds holdsOf(std::string_view tag, std::string_view attribute) {
  for (const AttributeRule& rule : kAttributeRules) {
    if (rule.tag == tag && rule.attribute == attribute) return rule.holds;
  }
  return Holds::Nothing;
}

// The blank-separated words of a value, in small letters.
std::vector<std::string> wordsOf(std::string_view value) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : value) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      if (!word.empty()) words.push_back(platform::toAsciiLower(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(platform::toAsciiLower(word));
  return words;
}

bool hasWord(const std::vector<std::string>& words, std::string_view word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// A LINK's href: a style sheet, an icon, or nothing completion fetches.
Holds linkHolds(const HtmlElement& element) {
  const HtmlAttribute* rel = element.attribute("rel");
  if (rel == nullptr) return Holds::Nothing;
  const std::vector<std::string> words = wordsOf(rel->value);
  if (hasWord(words, "stylesheet")) return Holds::Link;
  if (hasWord(words, "icon") || hasWord(words, "apple-touch-icon") || hasWord(words, "mask-icon")) {
    return Holds::File;
  }
  return Holds::Nothing;
}

// Bytes that may not stand bare in markup or a style sheet: blanks, controls,
// quotes, angle brackets, backslash and backtick.
bool unsafeInMarkup(unsigned char byte) {
  return byte <= 0x20 || byte == 0x7f || std::string_view("\"'<>\\`").find(static_cast<char>(byte)) != std::string_view::npos;
}

// A file name as a relative address that names exactly that file.
std::string fileReference(std::string_view name) {
  return percentEncoded(name, [](unsigned char byte) {
    return unsafeInMarkup(byte) || byte == '%' || byte == '#' || byte == '?';
  });
}

// An address written where markup or a style sheet may hold it safely.
std::string safeAddress(std::string_view address) { return percentEncoded(address, unsafeInMarkup); }

std::string withoutFragment(std::string_view address) { return std::string(address.substr(0, address.find('#'))); }

// The names and addresses of one companion folder.
class CompanionFolder {
 public:
  explicit CompanionFolder(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  std::string pathOf(const std::string& name) const { return path_ + "/" + name; }

  // A file the first pass put here: its name is taken, and its address
  // keeps that name as an ordinary resource.
  void reserve(const std::string& address, const std::string& name) {
    taken_.insert(name);
    names_.emplace(key(address, FileKind::Resource), name);
  }

  // The file of address as kind; a file the first pass fetched serves when
  // its name fits (a sheet ending in ".css", a page in ".htm" or ".html").
  std::optional<std::string> nameOf(const std::string& address, FileKind kind) const {
    auto found = names_.find(key(address, kind));
    if (found == names_.end() && kind != FileKind::Resource) {
      found = names_.find(key(address, FileKind::Resource));
      if (found != names_.end() && !hasEndingOf(found->second, kind)) found = names_.end();
    }
    if (found == names_.end()) return std::nullopt;
    return found->second;
  }

  static bool hasEndingOf(std::string_view name, FileKind kind) {
    switch (kind) {
      case FileKind::Sheet: return platform::endsWithIgnoreCase(name, ".css");
      case FileKind::Frame:
        return platform::endsWithIgnoreCase(name, ".html") || platform::endsWithIgnoreCase(name, ".htm");
      case FileKind::Resource: break;
    }
    return true;
  }

  // A new name for address, unique in the folder.
  std::string claim(const std::string& address, FileKind kind) {
    std::string name = localFileName(address).value_or("");
    if (name.empty()) name = kind == FileKind::Frame ? "frame" : kind == FileKind::Sheet ? "style" : "file";
    if (!hasEndingOf(name, kind)) name += kind == FileKind::Sheet ? ".css" : ".html";
    name = uniqueName(platform::fitFileName(name, kMaxFileNameBytes - kNameRoom));
    taken_.insert(name);
    // A frame page gets a companion folder of its own beside it.
    if (kind == FileKind::Frame) taken_.insert(kb::companionFolderFor(name));
    names_[key(address, kind)] = name;
    return name;
  }

 private:
  static std::string key(const std::string& address, FileKind kind) { return static_cast<char>(kind) + address; }

  std::string uniqueName(const std::string& name) const {
    if (taken_.count(name) == 0) return name;
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ending = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    for (size_t number = 2;; ++number) {
      std::string candidate = stem + " (" + std::to_string(number) + ")" + ending;
      if (taken_.count(candidate) == 0) return candidate;
    }
  }

  std::string path_;
  std::set<std::string> taken_;
  std::map<std::string, std::string> names_;
};

// What one capture's completion shares across its page, sheets and frames.
class Session {
 public:
  Session(const FetchPlan& plan, CaptureResult& result) : plan_(plan), result_(result) {}

  const FetchPlan& plan() const { return plan_; }
  bool stopped() const { return cancelled_ || !localFailure_.empty(); }
  const std::string& localFailure() const { return localFailure_; }
  void failLocally(std::string reason) {
    if (localFailure_.empty()) localFailure_ = std::move(reason);
  }

  bool mayAddFile() const { return files_ < kMaxCompletedFiles; }
  void fileAdded() { ++files_; }
  bool mayAddFrame() const { return frames_ < kMaxFramesPerCapture; }
  void frameAdded() { ++frames_; }

  // One download run over entries; counts them and what arrived.
  void download(std::vector<Resource> entries) {
    if (entries.empty() || stopped()) return;
    DownloadRun run(std::move(entries));
    run.setMaxFileSize(plan_.maxFileSize);
    run.setParallelJobs(plan_.jobs);
    run.showFolderAs(plan_.stagedFolder, plan_.shownFolder);
    if (plan_.download) {
      plan_.download(run);
    } else {
      run.run();
    }
    if (!run.localFailure().empty()) failLocally(run.localFailure());
    if (run.cancelled()) cancelled_ = true;
    size_t fetched = 0;
    for (const Resource& entry : run.entries()) {
      if (platform::isRegularFile(entry.localPath)) ++fetched;
    }
    result_.resourceCount += run.entries().size();
    result_.resourcesFetched += fetched;
    if (fetched < run.entries().size()) {
      platform::trace(kWhere, std::to_string(run.entries().size() - fetched) + " of " +
                                  std::to_string(run.entries().size()) + " files for " + result_.pagePath +
                                  " have no local copy");
    }
  }

 private:
  const FetchPlan& plan_;
  CaptureResult& result_;
  bool cancelled_ = false;
  std::string localFailure_;
  size_t files_ = 0;
  size_t frames_ = 0;
};

// Planning lists what to fetch; applying, after the fetch, writes the
// references of what arrived.
enum class Pass { Plan, Apply };

// Where references are read: their base address, and how a file of the
// companion folder is named from there.
struct Place {
  std::string base;
  std::string prefix;  // "NAME.files/" from the page, "" from a sheet inside the folder
  bool inPage = false;
};

struct Edit {
  size_t begin;
  size_t end;
  std::string text;
};

std::string applyEdits(const std::string& text, std::vector<Edit> edits) {
  std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;
  for (const Edit& edit : edits) {
    if (edit.begin < copied) continue;  // overlaps an earlier edit
    out.append(text, copied, edit.begin - copied);
    out.append(edit.text);
    copied = edit.end;
  }
  out.append(text, copied, std::string::npos);
  return out;
}

// The value text of an attribute replaced by value (quoted when it was not).
Edit attributeEdit(const HtmlAttribute& attribute, std::string_view value) {
  const std::string text = quotedAttributeText(value);
  if (attribute.quote == '"') return Edit{attribute.begin, attribute.end, text};
  if (attribute.quote == '\'') {
    std::string apostrophed;
    for (const char c : text) apostrophed += c == '\'' ? std::string("&#39;") : std::string(1, c);
    return Edit{attribute.begin, attribute.end, apostrophed};
  }
  return Edit{attribute.begin, attribute.end, "\"" + text + "\""};
}

struct SheetJob {
  std::string path;
  std::string address;
};

// The completion of one page (the captured page, or a frame page inside a
// companion folder): its references, its sheets and its frames.
class PageCompleter {
 public:
  PageCompleter(CPageCapture& job, Session& session, size_t depth, std::vector<std::string> ancestors)
      : job_(job),
        session_(session),
        depth_(depth),
        ancestors_(std::move(ancestors)),
        folder_(job.pageFolder() + "/" + job.companionFolderName()) {
    ancestors_.push_back(withoutFragment(job.baseAddress()));
    for (const Resource& resource : job.resources()) {
      if (platform::parentPath(resource.localPath) == folder_.path()) {
        const std::string name(platform::baseName(resource.localPath));
        folder_.reserve(resource.address, name);
        firstPassAddress_.emplace(resource.localPath, resource.address);
      }
    }
  }

  void run() {
    std::vector<Resource> firstRound = job_.resources();
    if (session_.plan().complete) {
      page_ = Place{pageBase(), fileReference(job_.companionFolderName()) + "/", true};
      readPage(Pass::Plan);
      if (!pending_.empty() && platform::makeFolder(folder_.path()) != 0 && !platform::isDirectory(folder_.path())) {
        session_.failLocally("Cannot create " + folder_.path() + ": " + std::strerror(errno));
        return;
      }
    }
    firstRound.insert(firstRound.end(), pending_.begin(), pending_.end());
    pending_.clear();
    session_.download(std::move(firstRound));
    if (!session_.plan().complete) return;
    for (const auto& [from, to] : renames_) {
      if (platform::isRegularFile(from)) platform::renameNoReplace(from, to);
    }
    completeSheets();
    completeFrames();
    if (session_.localFailure().empty()) job_.setPageHtml(readPage(Pass::Apply));
  }

 private:
  // The address the page's references are resolved against: its own, or
  // that of its BASE element (which the saved page then no longer uses).
  std::string pageBase() {
    for (const HtmlElement& element : markup().elements) {
      if (element.tag != "base") continue;
      const HtmlAttribute* href = element.attribute("href");
      if (href == nullptr) continue;
      const std::optional<std::string> base = resolveAddress(job_.baseAddress(), href->value);
      if (base && (hasWebScheme(*base) || !session_.plan().pageIsWeb)) return *base;
      break;
    }
    return job_.baseAddress();
  }

  bool mayFetch(const std::string& address) const {
    return hasWebScheme(address) || (!session_.plan().pageIsWeb && !localSourcePath(address).empty());
  }

  // A reference (as written, resolved from place) made local. Planning
  // lists its file for download and returns nullopt; applying returns the
  // text to write: the local file's reference when it arrived, else the
  // absolute address of a web file, else nullopt (left as it is).
  std::optional<std::string> localize(std::string_view value, FileKind kind, const Place& place, Pass pass) {
    if (value.empty()) return std::nullopt;
    if (place.inPage && isFirstPassFile(value)) return firstPassFile(std::string(value), kind, pass);
    const std::optional<std::string> address = resolveAddress(place.base, value);
    if (!address || !mayFetch(*address)) return std::nullopt;
    if (kind == FileKind::Frame && !frameAllowed(*address, pass)) {
      return hasWebScheme(*address) && pass == Pass::Apply ? std::optional(safeAddress(*address)) : std::nullopt;
    }
    if (pass == Pass::Plan) {
      plan(*address, kind);
      return std::nullopt;
    }
    const std::optional<std::string> name = folder_.nameOf(*address, kind);
    if (name && platform::isRegularFile(folder_.pathOf(*name))) return place.prefix + fileReference(*name);
    if (hasWebScheme(*address)) return safeAddress(*address);
    return std::nullopt;
  }

  // A reference the first pass wrote: into the companion folder.
  bool isFirstPassFile(std::string_view value) const {
    const std::string& companion = job_.companionFolderName();
    return value.size() > companion.size() && value.substr(0, companion.size()) == companion &&
           value[companion.size()] == '/';
  }

  bool frameAllowed(const std::string& address, Pass pass) const {
    if (depth_ + 1 > kMaxFrameDepth) return false;
    if (std::find(ancestors_.begin(), ancestors_.end(), withoutFragment(address)) != ancestors_.end()) return false;
    // Once planned, a frame keeps its name whatever the budget says.
    if (folder_.nameOf(address, FileKind::Frame)) return true;
    return pass == Pass::Plan && session_.mayAddFrame();
  }

  void plan(const std::string& address, FileKind kind) {
    if (const std::optional<std::string> name = folder_.nameOf(address, kind)) {
      // Fetched already (by the first pass, or for another reference).
      if (kind == FileKind::Sheet) record(kind, SheetJob{folder_.pathOf(*name), address});
      return;
    }
    if (!session_.mayAddFile()) return;
    if (kind == FileKind::Frame) session_.frameAdded();
    session_.fileAdded();
    const std::string name = folder_.claim(address, kind);
    const std::string path = folder_.pathOf(name);
    pending_.push_back(Resource{address, path});
    if (kind != FileKind::Resource) record(kind, SheetJob{path, address});
  }

  // A sheet or frame page to complete once its file is here; each once.
  void record(FileKind kind, SheetJob job) {
    if (!recorded_.insert(job.path).second) return;
    (kind == FileKind::Sheet ? sheets_ : frames_).push_back(std::move(job));
  }

  // A reference the first pass already made local. A sheet or a frame
  // page whose name would not be read as one (no ".css", no ".html") is
  // renamed; both are completed in turn.
  std::optional<std::string> firstPassFile(const std::string& value, FileKind kind, Pass pass) {
    if (kind == FileKind::Resource) return std::nullopt;
    const std::string path = job_.pageFolder() + "/" + value;
    const auto address = firstPassAddress_.find(path);
    if (address == firstPassAddress_.end()) return std::nullopt;
    if (kind == FileKind::Frame && !frameAllowed(address->second, pass)) return std::nullopt;
    const bool rightEnding = CompanionFolder::hasEndingOf(value, kind);
    if (pass == Pass::Plan) {
      if (!firstPassSeen_.insert(path).second) return std::nullopt;
      std::string finalPath = path;
      if (!rightEnding) {
        finalPath = folder_.pathOf(folder_.claim(address->second, kind));
        renames_.emplace_back(path, finalPath);
      }
      if (kind == FileKind::Frame) session_.frameAdded();
      record(kind, SheetJob{finalPath, address->second});
      return std::nullopt;
    }
    if (rightEnding) return std::nullopt;
    const std::optional<std::string> name = folder_.nameOf(address->second, kind);
    if (!name || !platform::isRegularFile(folder_.pathOf(*name))) return std::nullopt;
    return page_.prefix + fileReference(*name);
  }

  // The references of a style sheet's text; the rewritten text when applying.
  std::string readCss(std::string_view css, const Place& place, Pass pass, bool importsAllowed) {
    return rewriteCssReferences(css, [&](const CssReference& reference) -> std::optional<std::string> {
      const FileKind kind = reference.isImport ? FileKind::Sheet : FileKind::Resource;
      if (reference.isImport && !importsAllowed) {
        const auto address = resolveAddress(place.base, reference.address);
        return address && hasWebScheme(*address) && pass == Pass::Apply ? std::optional(safeAddress(*address))
                                                                         : std::nullopt;
      }
      return localize(reference.address, kind, place, pass);
    });
  }

  std::string readSrcset(std::string_view value, Pass pass) {
    std::string out;
    size_t copied = 0;
    size_t count = 0;
    for (const SrcsetCandidate& candidate : srcsetCandidates(value)) {
      if (++count > kMaxSrcsetCandidates) break;
      const std::optional<std::string> local =
          localize(value.substr(candidate.begin, candidate.end - candidate.begin), FileKind::Resource, page_, pass);
      if (!local) continue;
      out.append(value.substr(copied, candidate.begin - copied));
      out.append(*local);
      copied = candidate.end;
    }
    out.append(value.substr(copied));
    return out;
  }

  // One attribute holding one address, or a srcset.
  void readAttribute(const HtmlAttribute& attribute, Holds holds, Pass pass, std::vector<Edit>& edits) {
    std::optional<std::string> value;
    switch (holds) {
      case Holds::Srcset: {
        std::string rewritten = readSrcset(attribute.value, pass);
        if (rewritten != attribute.value) value = std::move(rewritten);
        break;
      }
      case Holds::Frame: value = localize(attribute.value, FileKind::Frame, page_, pass); break;
      case Holds::Link: value = localize(attribute.value, FileKind::Sheet, page_, pass); break;
      case Holds::File:
      case Holds::InputImage: value = localize(attribute.value, FileKind::Resource, page_, pass); break;
      case Holds::Nothing: break;
    }
    if (pass == Pass::Apply && value) edits.push_back(attributeEdit(attribute, *value));
  }

  // A picture of a lazy-loading script becomes the picture shown: its
  // address goes into src (and srcset), as the script would put it.
  void readLazyPicture(const HtmlElement& element, Pass pass, std::vector<Edit>& edits,
                       std::set<std::string>& handled) {
    const auto moveInto = [&](const HtmlAttribute& lazy, std::string_view target, Holds holds) {
      const HtmlAttribute* existing = element.attribute(target);
      std::optional<std::string> value;
      if (holds == Holds::Srcset) {
        value = readSrcset(lazy.value, pass);
      } else {
        value = localize(lazy.value, FileKind::Resource, page_, pass);
      }
      handled.insert(std::string(target));
      handled.insert(lazy.name);
      if (pass == Pass::Plan) return;
      if (value) {
        edits.push_back(attributeEdit(lazy, *value));
      } else if (isFirstPassFile(lazy.value)) {
        value = lazy.value;  // the first pass took it for a src and made it local
      } else {
        return;
      }
      if (existing != nullptr) {
        edits.push_back(attributeEdit(*existing, *value));
      } else if (element.insertAt != std::string::npos) {
        edits.push_back(Edit{element.insertAt, element.insertAt,
                             " " + std::string(target) + "=\"" + quotedAttributeText(*value) + "\""});
      }
    };
    if (element.tag == "img") {
      for (const std::string_view name : kLazySources) {
        const HtmlAttribute* lazy = element.attribute(name);
        if (lazy != nullptr && !lazy->value.empty()) {
          moveInto(*lazy, "src", Holds::File);
          break;
        }
      }
    }
    if (element.tag == "img" || element.tag == "source") {
      for (const std::string_view name : kLazySrcsets) {
        const HtmlAttribute* lazy = element.attribute(name);
        if (lazy != nullptr && !lazy->value.empty()) {
          moveInto(*lazy, "srcset", Holds::Srcset);
          break;
        }
      }
    }
  }

  // Plans the page's references or writes them; the page text when applying.
  // The page's elements, parsed once: the page text stays the same until
  // the references are applied.
  const HtmlMarkup& markup() {
    if (!markup_) markup_ = readHtmlElements(job_.pageHtml());
    return *markup_;
  }

  std::string readPage(Pass pass) {
    const HtmlMarkup& markup = this->markup();
    std::vector<Edit> edits;
    for (const HtmlElement& element : markup.elements) {
      std::set<std::string> handled;
      readLazyPicture(element, pass, edits, handled);
      for (const HtmlAttribute& attribute : element.attributes) {
        if (handled.count(attribute.name) != 0) continue;
        if (attribute.name == "style") {
          const std::string css = readCss(attribute.value, page_, pass, true);
          if (pass == Pass::Apply && css != attribute.value) edits.push_back(attributeEdit(attribute, css));
          continue;
        }
        if (element.tag == "base" && attribute.name == "href") {
          // References now resolve from the saved page itself.
          if (pass == Pass::Apply) {
            edits.push_back(attributeEdit(attribute, fileReference(platform::baseName(job_.pagePath()))));
          }
          continue;
        }
        Holds holds = holdsOf(element.tag, attribute.name);
        if (holds == Holds::Link) holds = linkHolds(element);
        if (holds == Holds::InputImage) {
          const HtmlAttribute* type = element.attribute("type");
          if (type == nullptr || !platform::equalsIgnoreCase(type->value, "image")) holds = Holds::Nothing;
        }
        if (holds != Holds::Nothing) readAttribute(attribute, holds, pass, edits);
      }
      if (element.hasStyleText) {
        const std::string_view css =
            std::string_view(markup.text).substr(element.styleBegin, element.styleEnd - element.styleBegin);
        std::string rewritten = readCss(css, page_, pass, true);
        if (pass == Pass::Apply && rewritten != css) {
          edits.push_back(Edit{element.styleBegin, element.styleEnd, std::move(rewritten)});
        }
      }
    }
    return pass == Pass::Apply ? applyEdits(markup.text, std::move(edits)) : std::string();
  }

  // The sheets, level by level: each level's files are fetched in one run,
  // then its sheets are rewritten and the sheets they import are next.
  void completeSheets() {
    std::vector<SheetJob> level = std::move(sheets_);
    std::set<std::string> done;
    for (size_t depth = 0; !level.empty() && !session_.stopped(); ++depth) {
      sheets_.clear();
      std::vector<std::pair<SheetJob, std::string>> read;
      for (const SheetJob& sheet : level) {
        if (!done.insert(sheet.path).second) continue;
        platform::FileRead file = platform::readFileUpTo(sheet.path, kMaxSheetBytes);
        if (file.status != platform::FileRead::Status::Read) continue;
        readCss(file.data, Place{sheet.address, "", false}, Pass::Plan, depth < kMaxImportDepth);
        read.emplace_back(sheet, std::move(file.data));
      }
      session_.download(std::move(pending_));
      pending_.clear();
      for (const auto& [sheet, css] : read) {
        const std::string rewritten =
            readCss(css, Place{sheet.address, "", false}, Pass::Apply, depth < kMaxImportDepth);
        if (rewritten == css) continue;
        if (std::string failure = platform::writeFileAtomic(sheet.path, rewritten); !failure.empty()) {
          session_.failLocally(failure);
          return;
        }
      }
      level = std::move(sheets_);
    }
  }

  // Each frame page that arrived is captured as a page of its own where it
  // lies, with its own companion folder beside it.
  void completeFrames() {
    for (const SheetJob& frame : frames_) {
      if (session_.stopped()) return;
      platform::FileRead file = platform::readFileUpTo(frame.path, kMaxPageBytes);
      if (file.status != platform::FileRead::Status::Read) continue;
      CPageCapture frameJob;
      frameJob.setUp(withUtf8Declaration(serializeHtml(toUtf8(file.data))), kCaptureHtml, frame.path, frame.address,
                     session_.plan().fileTypes);
      if (frameJob.scanAndRewrite() != 1) {
        session_.failLocally("Cannot create the folder of the resources of " + frame.path);
        return;
      }
      PageCompleter(frameJob, session_, depth_ + 1, ancestors_).run();
      if (session_.localFailure().empty() && frameJob.savePage() != 1) {
        session_.failLocally("Cannot write " + frame.path + ": " + frameJob.saveError());
      }
    }
  }

  CPageCapture& job_;
  Session& session_;
  size_t depth_;
  std::vector<std::string> ancestors_;  // this page's address and those of the pages framing it
  CompanionFolder folder_;
  Place page_;
  std::optional<HtmlMarkup> markup_;
  std::map<std::string, std::string> firstPassAddress_;  // local path -> address, of the first pass's files
  std::set<std::string> firstPassSeen_;  // first-pass sheets and frames met
  std::vector<std::pair<std::string, std::string>> renames_;
  std::set<std::string> recorded_;
  std::vector<Resource> pending_;  // files to fetch in the next run
  std::vector<SheetJob> sheets_;
  std::vector<SheetJob> frames_;
};

}  // namespace

std::string fetchAndComplete(CPageCapture& job, const FetchPlan& plan, CaptureResult& result) {
  Session session(plan, result);
  PageCompleter(job, session, 0, {}).run();
  return session.localFailure();
}

}  // namespace velkin::capture
