// Scan and rewrite, and the two ways it applies its replacements.
//
// The rule: for each tag pattern in order, the working copy is searched from
// the current position for the pattern and the next ">"; the text between is
// the tag; when its reference is rewritten, EVERY occurrence of the old tag
// text in the working copy is replaced by the new tag text, and the search
// goes on right after the rewritten tag (where it stands after the
// replacement, occurrences before it having moved it).
//
// The literal way does exactly that: one pass over the whole text per
// rewritten tag, so a page of n references costs n times its size.
//
// The indexed way rests on two facts. A tag text never holds ">" (it ends
// before one), and while no new tag text holds ">" either, no replacement
// creates or destroys a ">": the text stays cut into the same pieces
// ("segments", the text between two ">") and every occurrence of a tag text
// lies inside one segment. So replacing everywhere is replacing in each
// segment on its own, and a segment's text at any moment is its first text
// with the replacements made so far applied in order. The search from "the
// current position" (always a ">" or the start) takes the first pattern of
// the next segment that has one, and the tag runs to that segment's end.
// Hence one walk over the segments that hold the pattern: bring a segment
// up to date (apply the replacements not applied to it yet), take its tag,
// decide; at the end bring every segment up to date once more. Only the
// replacements whose old tag text occurs in a segment are applied to it:
// every occurrence starts where the pattern occurs, and a sorted index of
// the old tag texts yields those that begin a given text. The segments are
// the same for all eight passes, so the page text is kept as it came, the
// segments changed so far are kept aside, and the text is put together once
// at the end: a pass reads the page once to find its pattern and touches
// only the segments that hold it. A new tag text with a ">" in it (from a
// base address or a page name holding one) breaks the segments; that pass
// is then done again the literal way, and the next ones start from its
// result.
#include "capture/page_capture.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/address.h"
#include "capture/clipboard_html.h"
#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"

namespace velkin::capture {
namespace {

struct TagPattern {
  std::string_view text;
  std::string_view attribute;
  bool hyperlink;    // pattern 1: rewritten to the absolute address unless a chosen file type
  bool quoteBareRef; // patterns 6 and 7: a bare "=" value becomes a quoted local reference
};

constexpr TagPattern kTagPatterns[] = {
    {"<A", "href", true, false},
    {"<FRAME", "src", false, false},
    {"<IMG", "src", false, false},
    {"<LINK", "href", false, false},
    {"<INPUT", "src", false, false},
    {"background", "", false, true},
    {"backsound", "", false, true},
    {"<PARAM NAME=\"Src\"", "VALUE", false, false},
};

// Every occurrence of from in text, left to right without overlap, replaced
// by to. When track is given, *track (a position in text) is moved to where
// the same text stands afterwards.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to, size_t* track = nullptr) {
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  bool tracked = track == nullptr;
  for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, at + from.size())) {
    if (!tracked && *track < at + from.size()) {
      // Before this occurrence, or inside it (then: where its replacement starts).
      *track = out.size() + (std::min(*track, at) - done);
      tracked = true;
    }
    out.append(text.substr(done, at - done));
    out.append(to);
    done = at + from.size();
  }
  if (!tracked) *track = out.size() + (*track - done);
  out.append(text.substr(done));
  return out;
}

std::string_view::size_type commonPrefixLength(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// What one tag comes to.
struct TagOutcome {
  bool rewritten = false;      // false: the tag is left alone
  std::string newTag;          // the new tag text (may equal the old one)
  bool makeFolder = false;     // the companion folder must exist
  std::optional<Resource> resource;
};

// The longest name a file system gives one file.
constexpr size_t kMaxFileNameBytes = 255;

// Everything a pass needs to decide about a tag: the job's settings.
struct TagJudge {
  const std::string& baseAddress;
  const std::string& pageFolder;
  const std::string& companionName;
  std::vector<std::string> lowerFileTypes;
  // A web page's resources are fetched from the web only: its references
  // to this machine's files are never read. Other pages (a local file, a
  // drop) may name local files.
  bool pageIsWeb = false;

  bool isChosenFileType(std::string_view value) const {
    const size_t dot = value.rfind('.');
    if (dot == std::string_view::npos) return false;  // no extension at all
    const std::string extension = platform::toAsciiLower(value.substr(dot + 1));
    return std::find(lowerFileTypes.begin(), lowerFileTypes.end(), extension) != lowerFileTypes.end();
  }

  TagOutcome judge(const TagPattern& pattern, std::string_view tag) const {
    TagOutcome outcome;
    const std::string quoted = std::string(pattern.attribute) + "=\"";
    const std::string apostrophed = std::string(pattern.attribute) + "='";
    const std::string bare = std::string(pattern.attribute) + "=";
    const std::string* prefix = &quoted;
    char closing = '"';
    size_t at = tag.find(quoted);
    if (at == std::string_view::npos) {
      prefix = &apostrophed;
      closing = '\'';
      at = tag.find(apostrophed);
    }
    if (at == std::string_view::npos) {
      prefix = &bare;
      closing = ' ';
      at = tag.find(bare);
    }
    if (at == std::string_view::npos) return outcome;
    const size_t valueStart = at + prefix->size();
    const size_t valueEnd = tag.find(closing, valueStart);
    if (valueEnd == std::string_view::npos) return outcome;
    const std::string_view value = tag.substr(valueStart, valueEnd - valueStart);
    if (value.substr(0, companionName.size()) == companionName) return outcome;  // rewritten before

    const bool plainHyperlink = pattern.hyperlink && !isChosenFileType(value);
    const std::optional<std::string> address = resolveAddress(baseAddress, value);
    if (!address) return outcome;
    if (!plainHyperlink && pageIsWeb && !hasWebScheme(*address)) return outcome;
    std::optional<std::string> fileName = localFileName(*address);
    if (fileName) fileName = platform::fitFileName(*fileName, kMaxFileNameBytes);
    std::string newValue;
    if (plainHyperlink) {
      // Rewritten even when no file name comes of it; only the folder
      // waits for one.
      newValue = *address;
      outcome.makeFolder = fileName.has_value();
    } else {
      if (!fileName) return outcome;
      std::string reference = companionName + "/" + *fileName;
      newValue = pattern.quoteBareRef && prefix == &bare ? "\"" + reference + "\"" : std::move(reference);
      outcome.makeFolder = true;
      outcome.resource = Resource{*address, pageFolder + "/" + companionName + "/" + *fileName};
    }
    outcome.rewritten = true;
    outcome.newTag.reserve(tag.size() + newValue.size());
    outcome.newTag.append(tag.substr(0, valueStart));
    outcome.newTag.append(newValue);
    outcome.newTag.append(tag.substr(valueEnd));
    return outcome;
  }
};

// One scan: the side effects of an accepted tag (folder, resource list).
class ScanRun {
 public:
  ScanRun(const TagJudge& judge, const std::string& folderPath, std::vector<Resource>& resources)
      : judge_(judge), folderPath_(folderPath), resources_(resources) {}

  const TagJudge& judge() const { return judge_; }

  // Makes the folder if asked and records the resource; false when the
  // folder cannot be made.
  bool accept(TagOutcome& outcome) {
    if (outcome.makeFolder && !folderMade_) {
      if (platform::makeFolder(folderPath_) != 0) return false;
      folderMade_ = true;
    }
    if (outcome.resource) resources_.push_back(std::move(*outcome.resource));
    return true;
  }

 private:
  const TagJudge& judge_;
  const std::string& folderPath_;
  std::vector<Resource>& resources_;
  bool folderMade_ = false;
};

enum class PassResult { kDone, kFolderFailed, kNeedsLiteral };

// One pattern pass, done literally.
PassResult literalPass(ScanRun& run, const TagPattern& pattern, std::string& text) {
  size_t position = 0;
  for (;;) {
    const size_t start = text.find(pattern.text, position);
    if (start == std::string::npos) break;
    const size_t end = text.find('>', start);
    if (end == std::string::npos) break;
    position = end;
    const std::string tag = text.substr(start, end - start);
    TagOutcome outcome = run.judge().judge(pattern, tag);
    if (!outcome.rewritten) continue;
    if (!run.accept(outcome)) return PassResult::kFolderFailed;
    if (outcome.newTag == tag) continue;
    size_t moved = start;
    text = replaceAll(text, tag, outcome.newTag, &moved);
    position = moved + outcome.newTag.size();
  }
  return PassResult::kDone;
}

// The indexed way over all pattern passes (see the top of this file). The
// page text stays as it came; the segments a pass changed are kept aside,
// by where they begin, and the text is put together once at the end. Since
// no replacement adds or removes a ">", the segments of the page are the
// same for every pass: a pass only visits the segments whose first text
// holds its pattern and those changed before.
class IndexedRewriter {
 public:
  IndexedRewriter(ScanRun& run, std::string_view text) : run_(run), source_(text) {}

  // One pattern pass. On kNeedsLiteral nothing is changed but the resource
  // list may have grown.
  PassResult pass(const TagPattern& pattern) {
    pattern_ = &pattern;
    rules_.clear();
    index_.clear();
    std::vector<Segment> visited;
    PassResult result = PassResult::kDone;
    forEachCandidate(pattern.text, [&](size_t begin, size_t end, const std::string* changed) {
      Segment segment;
      segment.begin = begin;
      segment.end = end;
      segment.changedBefore = changed != nullptr;
      segment.text = changed != nullptr ? *changed : std::string(source_.substr(begin, end - begin));
      result = scanSegment(segment, end < source_.size());
      visited.push_back(std::move(segment));
      return result == PassResult::kDone;
    });
    if (result != PassResult::kDone || rules_.empty()) return result;
    for (Segment& segment : visited) {
      applyRules(segment.text, segment.applied);
      if (segment.changedBefore || segment.text != source_.substr(segment.begin, segment.end - segment.begin)) {
        changed_[segment.begin] = Changed{segment.end, std::move(segment.text)};
      }
    }
    return PassResult::kDone;
  }

  // The text with every change so far.
  std::string text() const {
    std::string out;
    size_t extra = 0;
    for (const auto& [begin, changed] : changed_) extra += changed.text.size();
    out.reserve(source_.size() + extra);
    size_t copied = 0;
    for (const auto& [begin, changed] : changed_) {
      out.append(source_.substr(copied, begin - copied));
      out.append(changed.text);
      copied = changed.end;
    }
    out.append(source_.substr(copied));
    return out;
  }

  bool unchanged() const { return changed_.empty() && owned_.empty(); }

  // Starts over from text (after a pass done the literal way).
  void restart(std::string text) {
    owned_ = std::move(text);
    source_ = owned_;
    changed_.clear();
  }

 private:
  struct Segment {
    size_t begin = 0;  // in source_: the segment's first letter
    size_t end = 0;    // its ">" (or the end of the text)
    std::string text;  // its text, with rules [0, applied) of this pass applied
    size_t applied = 0;
    bool changedBefore = false;  // kept aside by an earlier pass
  };
  struct Changed {
    size_t end;
    std::string text;
  };
  struct Rule {
    std::string from;
    std::string to;
  };

  // Calls visit(begin, end, changedText or nullptr) in text order for every
  // segment that may hold pattern: those whose first text holds it, and all
  // those changed by earlier passes. Stops when visit returns false, or
  // after a segment without a closing ">".
  template <typename Visit>
  void forEachCandidate(std::string_view pattern, Visit visit) const {
    auto changed = changed_.begin();
    // The next segment whose first text holds the pattern: [begin, end).
    size_t begin = std::string_view::npos;
    size_t end = 0;
    const auto findFrom = [&](size_t from) {
      const size_t at = source_.find(pattern, from);
      if (at == std::string_view::npos) {
        begin = std::string_view::npos;
        return;
      }
      const size_t gtBefore = source_.rfind('>', at);
      begin = gtBefore == std::string_view::npos ? 0 : gtBefore + 1;
      const size_t gt = source_.find('>', at);
      end = gt == std::string_view::npos ? source_.size() : gt;
    };
    findFrom(0);
    for (;;) {
      if (changed != changed_.end() && changed->first <= begin) {
        const size_t changedEnd = changed->second.end;
        if (!visit(changed->first, changedEnd, &changed->second.text)) return;
        if (changedEnd >= source_.size()) return;
        if (changed->first == begin) findFrom(end + 1);
        ++changed;
        continue;
      }
      if (begin == std::string_view::npos) return;
      if (!visit(begin, end, nullptr)) return;
      if (end >= source_.size()) return;
      findFrom(end + 1);
    }
  }

  // Brings a segment up to date with this pass's rules and takes its tag.
  PassResult scanSegment(Segment& segment, bool closed) {
    applyRules(segment.text, 0);
    segment.applied = rules_.size();
    if (!closed) return PassResult::kDone;
    const size_t tagStart = segment.text.find(pattern_->text);
    if (tagStart == std::string::npos) return PassResult::kDone;
    const std::string_view tag = std::string_view(segment.text).substr(tagStart);
    TagOutcome outcome = run_.judge().judge(*pattern_, tag);
    if (!outcome.rewritten) return PassResult::kDone;
    if (outcome.newTag.find('>') != std::string::npos) return PassResult::kNeedsLiteral;
    if (!run_.accept(outcome)) return PassResult::kFolderFailed;
    if (outcome.newTag != tag) {
      addRule(std::string(tag), outcome.newTag);
      segment.text.replace(tagStart, std::string::npos, outcome.newTag);
      segment.applied = rules_.size();
    }
    return PassResult::kDone;
  }

  void addRule(std::string from, std::string to) {
    index_[from].push_back(rules_.size());
    rules_.push_back(Rule{std::move(from), std::move(to)});
  }

  // The first rule at or after first whose old tag text occurs in text, or
  // rules_.size().
  size_t firstOccurringRule(std::string_view text, size_t first) const {
    size_t best = rules_.size();
    const std::string_view p = pattern_->text;
    for (size_t at = text.find(p); at != std::string_view::npos; at = text.find(p, at + 1)) {
      // The old tag texts that begin text[at..]: a chain of ever shorter
      // prefixes, each found as the greatest key not above the rest.
      std::string_view rest = text.substr(at);
      while (rest.size() >= p.size()) {
        auto it = index_.upper_bound(rest);
        if (it == index_.begin()) break;
        --it;
        const std::string_view key = it->first;
        const size_t common = commonPrefixLength(key, rest);
        if (common == key.size()) {
          const auto& numbers = it->second;
          const auto found = std::lower_bound(numbers.begin(), numbers.end(), first);
          if (found != numbers.end() && *found < best) best = *found;
          rest = rest.substr(0, key.size() - 1);
        } else {
          rest = rest.substr(0, common);
        }
      }
    }
    return best;
  }

  // Applies this pass's rules from first on, in order, to text, skipping
  // those whose old tag text does not occur (they would change nothing).
  void applyRules(std::string& text, size_t first) const {
    while (first < rules_.size()) {
      const size_t next = firstOccurringRule(text, first);
      if (next >= rules_.size()) break;
      text = replaceAll(text, rules_[next].from, rules_[next].to);
      first = next + 1;
    }
  }

  ScanRun& run_;
  std::string owned_;
  std::string_view source_;
  std::map<size_t, Changed> changed_;
  const TagPattern* pattern_ = nullptr;
  std::vector<Rule> rules_;
  std::map<std::string, std::vector<size_t>, std::less<>> index_;
};

}  // namespace

void CPageCapture::setUp(std::string sourceText, int captureMode, std::string pagePath, std::string baseAddress,
                         std::vector<std::string> fileTypes) {
  sourceText_ = std::move(sourceText);
  captureMode_ = captureMode;
  pagePath_ = std::move(pagePath);
  baseAddress_ = std::move(baseAddress);
  fileTypes_ = std::move(fileTypes);
  title_.clear();
  resources_.clear();
  const size_t slash = pagePath_.rfind('/');
  // A bare file name lives in the current folder (never the root).
  pageFolder_ = slash == std::string::npos ? std::string(".") : pagePath_.substr(0, slash);
  const std::string_view name =
      slash == std::string::npos ? std::string_view(pagePath_) : std::string_view(pagePath_).substr(slash + 1);
  const size_t dot = name.rfind('.');
  companionFolderName_ = std::string(dot == std::string_view::npos ? name : name.substr(0, dot)) + ".files";
}

int CPageCapture::scanAndRewrite() {
  literalPasses_ = 0;
  switch (captureMode_) {
    case kCapturePlainText:
      resources_.clear();
      pageHtml_ = "<HTML>" + sourceText_ + "</HTML>";
      return 1;
    case kCaptureClipboardHtml:
      if (std::optional<ClipboardHtml> parsed = parseClipboardHtml(sourceText_)) {
        baseAddress_ = std::move(parsed->baseAddress);
        title_ = std::move(parsed->title);
        pageHtml_ = std::move(parsed->pageHtml);
      } else {
        pageHtml_.clear();
      }
      break;
    case kCaptureHtml:
      pageHtml_ = sourceText_;
      break;
    default:
      break;  // set beforehand
  }
  resources_.clear();

  TagJudge judge{baseAddress_, pageFolder_, companionFolderName_, {},
                 pageIsWeb()};
  for (const std::string& type : fileTypes_) {
    if (!type.empty()) judge.lowerFileTypes.push_back(platform::toAsciiLower(type));
  }
  const std::string folderPath = pageFolder_ + "/" + companionFolderName_;
  ScanRun run(judge, folderPath, resources_);

  if (strategy_ == RewriteStrategy::kLiteral) {
    std::string working = pageHtml_;
    for (const TagPattern& pattern : kTagPatterns) {
      ++literalPasses_;
      if (literalPass(run, pattern, working) == PassResult::kFolderFailed) return kCaptureFailed;
    }
    pageHtml_ = std::move(working);
    return 1;
  }

  IndexedRewriter rewriter(run, pageHtml_);
  for (const TagPattern& pattern : kTagPatterns) {
    const size_t resourcesBefore = resources_.size();
    PassResult result = rewriter.pass(pattern);
    if (result == PassResult::kNeedsLiteral) {
      resources_.resize(resourcesBefore);
      ++literalPasses_;
      std::string working = rewriter.text();
      result = literalPass(run, pattern, working);
      rewriter.restart(std::move(working));
    }
    if (result == PassResult::kFolderFailed) return kCaptureFailed;
  }
  if (!rewriter.unchanged()) pageHtml_ = rewriter.text();
  return 1;
}

bool CPageCapture::pageIsWeb() const { return isWebAddress(baseAddress_) || hasWebScheme(baseAddress_); }

int CPageCapture::savePage() {
  saveError_ = kb::writeCapturedPage(pagePath_, baseAddress_, pageHtml_);
  pageHtml_ = kb::withCaptureHeader(kb::captureHeader(baseAddress_), pageHtml_);
  return saveError_.empty() ? 1 : 0;
}

}  // namespace velkin::capture
