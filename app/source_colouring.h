// The colouring rules of the HTML source editor, without any toolkit: which
// part of a line is a tag ("<" to ">"), quoted text (double quote to double
// quote) or a comment ("<!--" to "-->"), for one line on its own, for a line
// of a whole text with the states carried over from the lines above, and
// for text being typed (a four-character history and three flags).
//
// Lines are UTF-16 text (the editor's own units), so positions are those of
// the editor. Spans are applied in the order given; a later span overrides
// an earlier one where they overlap.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace velkin::app {

enum class SourceFormat : std::uint8_t { Normal, Tag, Quoted, Comment };

struct SourceSpan {
  int start = 0;
  int length = 0;
  SourceFormat format = SourceFormat::Normal;
  bool operator==(const SourceSpan& other) const {
    return start == other.start && length == other.length && format == other.format;
  }
};
using SourceSpans = std::vector<SourceSpan>;

// Appends to spans the spans of open...close in line from position from
// (the open text, its contents and the close text, in format). Returns true
// when the last span found has no close text on this line: it runs to the end
// of the line and continues on the next one.
bool colourSpans(std::u16string_view line, int from, std::u16string_view open, std::u16string_view close,
                 SourceFormat format, SourceSpans& spans);

// What is still open at the end of a line, carried to the next one.
struct CarriedState {
  bool inComment = false;
  bool inTag = false;
  bool inQuote = false;
  bool operator==(const CarriedState& other) const {
    return inComment == other.inComment && inTag == other.inTag && inQuote == other.inQuote;
  }
};

// The spans of one line on its own (the caret's line after an edit inside
// the text): normal over the line, then tags, quoted texts and comments
// from its start. Nothing for an empty line.
SourceSpans lineSpans(std::u16string_view line);

// The spans of one line of a whole text, given what the lines above left
// open; state is updated for the next line. Nothing, and the state kept, for
// an empty line.
SourceSpans carriedLineSpans(std::u16string_view line, CarriedState& state);

// The spans as one format per position of a line of length characters
// (Normal where no span reaches), the later span winning.
std::vector<SourceFormat> resolveSpans(int length, const SourceSpans& spans);

// The typing state of the editor: what each typed key does to the format
// the next character is inserted with.
class SourceTyping {
 public:
  // The keys that only mark the caret's line for colouring.
  enum class Key { Character, Backspace, Delete };

  struct Effect {
    // The format the typed character is inserted with, when it changes.
    std::optional<SourceFormat> insertionFormat;
    // The three characters typed before this one become comment ("<!" and
    // "-" of an opening "<!--").
    bool colourOpeningAsComment = false;
  };

  // A key about to be typed; atEnd when the caret is at the end of the text.
  Effect type(char16_t character, bool atEnd, Key key = Key::Character);

  // Whether the caret's line needs colouring after the text changed.
  bool lineDirty() const { return lineDirty_; }
  const CarriedState& state() const { return state_; }
  std::u16string_view history() const { return {history_, 4}; }

 private:
  char16_t history_[4] = {u' ', u' ', u' ', u' '};
  CarriedState state_;
  bool lineDirty_ = false;
};

}  // namespace velkin::app
