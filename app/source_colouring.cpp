#include "app/source_colouring.h"

#include <algorithm>

namespace velkin::app {
namespace {

constexpr std::u16string_view kTagOpen = u"<";
constexpr std::u16string_view kTagClose = u">";
constexpr std::u16string_view kQuote = u"\"";
constexpr std::u16string_view kCommentOpen = u"<!--";
constexpr std::u16string_view kCommentClose = u"-->";

int lengthOf(std::u16string_view line) { return static_cast<int>(line.size()); }

void addSpan(SourceSpans& spans, int start, int length, SourceFormat format) {
  if (length > 0) spans.push_back({start, length, format});
}

// Tags, quoted texts and comments from position from, as the states they
// leave open at the end of the line.
CarriedState colourAllFrom(std::u16string_view line, int from, SourceSpans& spans) {
  CarriedState open;
  open.inTag = colourSpans(line, from, kTagOpen, kTagClose, SourceFormat::Tag, spans);
  open.inQuote = colourSpans(line, from, kQuote, kQuote, SourceFormat::Quoted, spans);
  open.inComment = colourSpans(line, from, kCommentOpen, kCommentClose, SourceFormat::Comment, spans);
  return open;
}

// A line that starts inside something still open: up to and including its
// closing text in format, or the whole line when it has none. Returns the
// position after the closing text, or nullopt when the line has none.
std::optional<int> colourUntilClosed(std::u16string_view line, std::u16string_view close, SourceFormat format,
                                     SourceSpans& spans) {
  const std::size_t found = line.find(close);
  if (found == std::u16string_view::npos) {
    addSpan(spans, 0, lengthOf(line), format);
    return std::nullopt;
  }
  const int end = static_cast<int>(found + close.size());
  addSpan(spans, 0, end, format);
  return end;
}

}  // namespace

bool colourSpans(std::u16string_view line, int from, std::u16string_view open, std::u16string_view close,
                 SourceFormat format, SourceSpans& spans) {
  std::size_t position = static_cast<std::size_t>(std::max(from, 0));
  while (position <= line.size()) {
    const std::size_t start = line.find(open, position);
    if (start == std::u16string_view::npos) return false;
    const std::size_t closing = line.find(close, start + open.size());
    if (closing == std::u16string_view::npos) {
      addSpan(spans, static_cast<int>(start), lengthOf(line) - static_cast<int>(start), format);
      return true;
    }
    const std::size_t end = closing + close.size();
    addSpan(spans, static_cast<int>(start), static_cast<int>(end - start), format);
    // The next span starts after this one's closing text, so "--><!--" opens
    // a new comment right away.
    position = end;
  }
  return false;
}

SourceSpans lineSpans(std::u16string_view line) {
  SourceSpans spans;
  if (line.empty()) return spans;
  addSpan(spans, 0, lengthOf(line), SourceFormat::Normal);
  if (line.find_first_of(u"<\"") != std::u16string_view::npos) colourAllFrom(line, 0, spans);
  return spans;
}

SourceSpans carriedLineSpans(std::u16string_view line, CarriedState& state) {
  SourceSpans spans;
  if (line.empty()) return spans;
  addSpan(spans, 0, lengthOf(line), SourceFormat::Normal);
  bool handled = false;
  if (state.inComment) {
    if (const auto end = colourUntilClosed(line, kCommentClose, SourceFormat::Comment, spans)) {
      state = colourAllFrom(line, *end, spans);
    }
    handled = true;
  }
  if (state.inTag) {
    if (const auto end = colourUntilClosed(line, kTagClose, SourceFormat::Tag, spans)) {
      state = colourAllFrom(line, *end, spans);
    }
    handled = true;
  }
  if (state.inQuote) {
    if (const auto end = colourUntilClosed(line, kQuote, SourceFormat::Quoted, spans)) {
      const bool wasInTag = state.inTag;
      state = colourAllFrom(line, *end, spans);
      state.inTag = wasInTag || state.inTag;
    }
  } else if (!handled) {
    state = colourAllFrom(line, 0, spans);
  }
  if (state.inComment) {
    state.inTag = false;
    state.inQuote = false;
  }
  return spans;
}

std::vector<SourceFormat> resolveSpans(int length, const SourceSpans& spans) {
  std::vector<SourceFormat> formats(static_cast<std::size_t>(std::max(length, 0)), SourceFormat::Normal);
  for (const SourceSpan& span : spans) {
    const int start = std::clamp(span.start, 0, length);
    const int end = std::clamp(span.start + span.length, start, length);
    std::fill(formats.begin() + start, formats.begin() + end, span.format);
  }
  return formats;
}

SourceTyping::Effect SourceTyping::type(char16_t character, bool atEnd, Key key) {
  std::copy(history_ + 1, history_ + 4, history_);
  history_[3] = character;

  Effect effect;
  if (key != Key::Character || character == u'.') {
    lineDirty_ = true;
  } else if (character == u'\r' || character == u'\n') {
    // A line break changes nothing.
  } else if (!atEnd) {
    lineDirty_ = true;
  } else if (character == u'"') {
    if (!state_.inComment) {
      effect.insertionFormat = SourceFormat::Quoted;
      state_.inQuote = !state_.inQuote;
    }
  } else if (character == u'<' || character == u'>') {
    // "<" opens a tag and ">" closes it; a ">" in plain text ("a > b") is
    // coloured as a tag mark but opens nothing.
    if (!state_.inQuote && !state_.inComment) {
      effect.insertionFormat = SourceFormat::Tag;
      state_.inTag = character == u'<';
    }
  } else {
    lineDirty_ = false;
    effect.insertionFormat = state_.inQuote ? SourceFormat::Quoted
                             : state_.inTag ? SourceFormat::Tag
                                            : SourceFormat::Normal;
  }

  const std::u16string_view typed = history();
  if (state_.inComment && typed.substr(1) == kCommentClose) {
    state_.inComment = false;
    state_.inTag = false;
  }
  if (typed == kCommentOpen) {
    state_.inComment = true;
    effect.colourOpeningAsComment = true;
  }
  if (state_.inComment) effect.insertionFormat = SourceFormat::Comment;
  return effect;
}

}  // namespace velkin::app
