#include "kb/page_filter.h"

#include "kb/meta.h"
#include "platform/file_util.h"
#include "platform/text.h"

namespace velkin::kb {

using platform::toAsciiLower;
using platform::toAsciiUpper;

bool PageFilter::passes(const std::string& pagePath, std::string_view fileName) const {
  switch (static_cast<FilterMode>(mode)) {
    case FilterMode::None:
      return true;
    case FilterMode::FileName:
      return toAsciiLower(fileName).find(toAsciiLower(text)) != std::string::npos;
    case FilterMode::Created: {
      const auto created = platform::fileCreationTime(pagePath);
      return created && from <= *created && *created <= to;
    }
    case FilterMode::PageUrl:
      return readMetaValue(pagePath, kPageUrlName).find(toAsciiUpper(text)) != std::string::npos;
    case FilterMode::Keyword:
      return readMetaValue(pagePath, kKeywordName).find(toAsciiUpper(text)) != std::string::npos;
  }
  return false;
}

}  // namespace velkin::kb
