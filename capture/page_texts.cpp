#include "capture/page_texts.h"

#include "platform/text.h"

namespace velkin::capture {

namespace {

constexpr std::string_view kTitleEndTag = "</title";

std::string pageHead(std::string_view title) {
  return "<HTML><HEAD><TITLE>" + neutraliseTitle(title) + "</TITLE>";
}

constexpr std::string_view kPageBodyEnd = "</BODY></HTML>";

}  // namespace

std::string neutraliseTitle(std::string_view title) {
  std::string text;
  text.reserve(title.size());
  for (size_t i = 0; i < title.size(); ++i) {
    const bool endsTitle = platform::equalsIgnoreCase(title.substr(i, kTitleEndTag.size()), kTitleEndTag);
    if (endsTitle) {
      text += "&lt;";
    } else {
      text += title[i];
    }
  }
  return text;
}

std::string wholePageText(const platform::DocumentSnapshot& document) {
  for (const platform::SnapshotElement& element : document.all()) {
    if (element.isHtmlElement && element.tagName && platform::equalsIgnoreCase(*element.tagName, "html")) {
      return element.outerHTML;
    }
  }
  return "";
}

std::optional<std::string> selectionPageText(std::string_view title, const platform::DocumentSnapshot& document) {
  const std::optional<std::string> styleText = document.styleText();
  const std::optional<std::string>& selectedHtml = document.selectionHtml();
  if (!styleText || !selectedHtml) return std::nullopt;
  std::string page = pageHead(title);
  page += "<style type=\"text/css\"><!--";
  page += *styleText;
  page += "--></style></HEAD><BODY>";
  page += *selectedHtml;
  page += kPageBodyEnd;
  return page;
}

std::string picturePageText(std::string_view title, std::string_view pictureAddress) {
  std::string page = pageHead(title);
  page += "</HEAD><BODY><IMG src=\"";
  page += pictureAddress;
  page += "\" border=0>";
  page += kPageBodyEnd;
  return page;
}

}  // namespace velkin::capture
