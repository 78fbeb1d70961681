// Fuzz target for the ways HTML arrives from a drop: the clipboard parser on
// any text, and the drop adapter (with the serialiser under it) on any HTML.
// The input's first line is taken as the source address, the rest as the
// HTML. Nothing may crash, and the adapter's own text must always be read
// back by the parser with consistent offsets and an address that stayed on
// its line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capture/clipboard_html.h"
#include "capture/drop_adapter.h"

namespace {

size_t offsetOf(const std::string& text, std::string_view name) {
  const size_t at = text.find(std::string(name) + ":");
  if (at == std::string::npos) std::abort();
  return std::strtoull(text.c_str() + at + name.size() + 1, nullptr, 10);
}

void checkAdapterText(const std::string& text) {
  const auto parsed = velkin::capture::parseClipboardHtml(text);
  if (!parsed) std::abort();
  const bool hasSourceLine = text.find("\r\nSourceURL:") < text.find("<HTML>");
  if (hasSourceLine && parsed->baseAddress.find_first_of("\r\n<>") != std::string::npos) std::abort();
  const size_t startHtml = offsetOf(text, "StartHTML");
  const size_t endHtml = offsetOf(text, "EndHTML");
  const size_t startFragment = offsetOf(text, "StartFragment");
  const size_t endFragment = offsetOf(text, "EndFragment");
  if (endHtml != text.size() || startHtml > startFragment || startFragment > endFragment || endFragment > endHtml) {
    std::abort();
  }
  if (text.compare(startHtml, 6, "<HTML>") != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(size == 0 ? "" : reinterpret_cast<const char*>(data), size);
  (void)velkin::capture::parseClipboardHtml(input);
  const size_t lineEnd = input.find('\n');
  const std::string_view address = lineEnd == std::string_view::npos ? std::string_view() : input.substr(0, lineEnd);
  const std::string_view html = lineEnd == std::string_view::npos ? input : input.substr(lineEnd + 1);
  checkAdapterText(velkin::capture::buildClipboardHtml(html, address));
  return 0;
}
