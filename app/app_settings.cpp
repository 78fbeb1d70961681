#include "app/app_settings.h"

#include <algorithm>
#include <cstdlib>

#include "kb/book_dir.h"
#include "platform/file_util.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace velkin::app {
namespace {

using platform::Registry;
using platform::RegistryRoot;

constexpr std::string_view kFileScheme = "file://";

// "url7" -> 7 for the prefix "url"; 0 for any other value name.
std::size_t listIndex(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !platform::equalsIgnoreCase(name.substr(0, prefix.size()), prefix)) {
    return 0;
  }
  std::size_t index = 0;
  for (const char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9' || index > 100000) return 0;
    index = index * 10 + static_cast<std::size_t>(c - '0');
  }
  return index;
}

void putInt(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xffu);
}

std::uint32_t getInt(std::string_view bytes, std::size_t field) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[field * 4 + i])) << (8 * i);
  }
  return value;
}

}  // namespace

std::string profileSectionKey(std::string_view section) {
  std::string key = kProfileKey;
  key += '\\';
  key += section;
  return key;
}

FrameSettings readFrameSettings(Registry& registry) {
  FrameSettings settings;
  const auto key = registry.openKey(RegistryRoot::Machine, kb::kKestrovaKey);
  if (!key) return settings;
  if (const auto value = key->readDword(kShowAllTagsValue)) settings.showAllTags = *value != 0;
  if (const auto value = key->readDword(kPromptSaveValue)) settings.promptSave = *value != 0;
  if (const auto value = key->readDword(kHideErrorValue)) settings.hideError = *value != 0;
  return settings;
}

bool readHideError(Registry& registry) { return readFrameSettings(registry).hideError; }

bool storeToggle(Registry& registry, const char* valueName, bool on) {
  const bool ok = registry.writeDword(RegistryRoot::Machine, kb::kKestrovaKey, valueName, on ? 1 : 0);
  if (!ok) platform::trace("settings", std::string("cannot store ") + valueName);
  return ok;
}

std::vector<std::string> readNumberedList(Registry& registry, const NumberedList& list) {
  std::vector<std::pair<std::size_t, std::string>> numbered;
  const auto key = registry.openKey(RegistryRoot::User, list.key);
  if (!key) return {};
  for (const auto& value : key->values()) {
    const std::size_t index = listIndex(value.name, list.prefix);
    if (index == 0 || value.type != platform::RegistryType::String || value.data.empty()) continue;
    numbered.emplace_back(index, value.data);
  }
  std::sort(numbered.begin(), numbered.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> items;
  for (auto& entry : numbered) items.push_back(std::move(entry.second));
  return items;
}

bool writeNumberedList(Registry& registry, const NumberedList& list, const std::vector<std::string>& items) {
  auto key = registry.createKey(RegistryRoot::User, list.key);
  if (!key) {
    platform::trace("lists", "cannot create " + list.key);
    return false;
  }
  bool ok = true;
  for (std::size_t i = 0; i < items.size() && i < list.limit; ++i) {
    ok = key->writeString(list.prefix + std::to_string(i + 1), items[i]) && ok;
  }
  for (const auto& value : key->values()) {
    if (listIndex(value.name, list.prefix) > std::min(items.size(), list.limit)) key->deleteValue(value.name);
  }
  if (!ok) platform::trace("lists", "cannot write " + list.key);
  return ok;
}

bool rememberInList(Registry& registry, const NumberedList& list, std::string_view item) {
  if (item.empty()) return false;
  std::vector<std::string> items{std::string(item)};
  for (auto& known : readNumberedList(registry, list)) {
    if (known != item && items.size() < list.limit) items.push_back(std::move(known));
  }
  return writeNumberedList(registry, list, items);
}

bool forgetInList(Registry& registry, const NumberedList& list, std::string_view item) {
  std::vector<std::string> items = readNumberedList(registry, list);
  items.erase(std::remove(items.begin(), items.end(), item), items.end());
  return writeNumberedList(registry, list, items);
}

NumberedList typedUrlList() { return {kTypedUrlsKey, "url", kMaxTypedUrls}; }

NumberedList recentFileList() { return {profileSectionKey(kRecentFileSection), "File", kMaxRecentFiles}; }

std::vector<std::string> readTypedUrls(Registry& registry) { return readNumberedList(registry, typedUrlList()); }

bool rememberTypedUrl(Registry& registry, std::string_view address) {
  return rememberInList(registry, typedUrlList(), address);
}

std::string addressText(std::string_view location) {
  if (location.size() >= kFileScheme.size() &&
      platform::equalsIgnoreCase(location.substr(0, kFileScheme.size()), kFileScheme)) {
    location.remove_prefix(kFileScheme.size());
  }
  return std::string(location);
}

std::string bookDirectoryToOffer(Registry& registry) {
  const auto key = registry.openKey(RegistryRoot::Machine, kb::kKestrovaKey);
  if (!key) {
    const std::string folder = kb::defaultBookDirectory();
    storeBookDirectory(registry, folder);
    return folder;
  }
  return kb::bookDirectory(registry);
}

bool storeBookDirectory(Registry& registry, std::string_view folder) {
  const bool ok = registry.writeString(RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue, folder);
  if (!ok) platform::trace("settings", "cannot store BookPath");
  return ok;
}

bool ScreenRect::intersects(const ScreenRect& other) const {
  if (isEmpty() || other.isEmpty()) return false;
  return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
}

std::string encodePlacement(const WindowPlacement& placement) {
  std::string out;
  out.reserve(kPlacementSize);
  putInt(out, static_cast<std::uint32_t>(kPlacementSize));
  putInt(out, placement.flags);
  putInt(out, placement.showCommand);
  for (const int value : {placement.minX, placement.minY, placement.maxX, placement.maxY, placement.normal.left,
                          placement.normal.top, placement.normal.right, placement.normal.bottom}) {
    putInt(out, static_cast<std::uint32_t>(value));
  }
  return out;
}

std::optional<WindowPlacement> decodePlacement(std::string_view bytes) {
  if (bytes.size() != kPlacementSize || getInt(bytes, 0) != kPlacementSize) return std::nullopt;
  const auto field = [&](std::size_t index) { return static_cast<int>(getInt(bytes, index)); };
  WindowPlacement placement;
  placement.flags = getInt(bytes, 1);
  placement.showCommand = getInt(bytes, 2);
  placement.minX = field(3);
  placement.minY = field(4);
  placement.maxX = field(5);
  placement.maxY = field(6);
  placement.normal = ScreenRect{field(7), field(8), field(9), field(10)};
  if (placement.normal.isEmpty()) return std::nullopt;
  return placement;
}

bool placementOnScreen(const WindowPlacement& placement, const std::vector<ScreenRect>& screens) {
  return std::any_of(screens.begin(), screens.end(),
                     [&](const ScreenRect& screen) { return placement.normal.intersects(screen); });
}

std::optional<WindowPlacement> readPlacement(Registry& registry) {
  const auto bytes = readProfileBinary(registry, kFrameSection, kPlacementValue);
  if (!bytes) return std::nullopt;
  auto placement = decodePlacement(*bytes);
  if (!placement) platform::trace("placement", "the stored record is not a window placement");
  return placement;
}

bool writePlacement(Registry& registry, const WindowPlacement& placement) {
  return writeProfileBinary(registry, kFrameSection, kPlacementValue, encodePlacement(placement));
}

std::optional<std::string> readProfileBinary(Registry& registry, std::string_view section,
                                             std::string_view value) {
  const auto key = registry.openKey(RegistryRoot::User, profileSectionKey(section));
  if (!key) return std::nullopt;
  return key->readBinary(value);
}

bool writeProfileBinary(Registry& registry, std::string_view section, std::string_view value,
                        std::string_view bytes) {
  auto key = registry.createKey(RegistryRoot::User, profileSectionKey(section));
  const bool ok = key && key->writeBinary(value, bytes);
  if (!ok) platform::trace("profile", "cannot write " + std::string(section) + "\\" + std::string(value));
  return ok;
}

std::optional<std::uint32_t> readProfileNumber(Registry& registry, std::string_view section,
                                               std::string_view value) {
  return registry.readDword(RegistryRoot::User, profileSectionKey(section), value);
}

bool writeProfileNumber(Registry& registry, std::string_view section, std::string_view value,
                        std::uint32_t number) {
  const bool ok = registry.writeDword(RegistryRoot::User, profileSectionKey(section), value, number);
  if (!ok) platform::trace("profile", "cannot write " + std::string(section) + "\\" + std::string(value));
  return ok;
}

double zoomFactorForLevel(int level) {
  static constexpr double kFactors[] = {0.7, 0.85, 1.0, 1.2, 1.45};
  return kFactors[std::clamp(level, 0, 4)];
}

StartOptions parseStartOptions(const std::vector<std::string>& arguments, bool noTipFromEnvironment) {
  StartOptions options;
  options.noTip = noTipFromEnvironment;
  constexpr std::string_view kScreenshot = "--screenshot=";
  for (const std::string& argument : arguments) {
    if (argument == "--no-tip" || platform::equalsIgnoreCase(argument, "/nosplash") ||
        platform::equalsIgnoreCase(argument, "-nosplash")) {
      options.noTip = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--exit-when-shown") {
      options.exitWhenShown = true;
      options.noTip = true;
    } else if (argument.compare(0, kScreenshot.size(), kScreenshot) == 0 && argument.size() > kScreenshot.size()) {
      options.screenshotFolder = argument.substr(kScreenshot.size());
      options.noTip = true;
    } else if (argument.empty() || (argument[0] == '-' && argument != "-")) {
      options.error = "unknown option: " + argument;
    } else if (!options.page.empty()) {
      options.error = "only one page can be opened: " + argument;
    } else {
      options.page = argument;
    }
  }
  return options;
}

bool looksLikeAddress(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (const char c : text.substr(0, colon)) {
    const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == '+' || c == '-' || c == '.';
    if (!schemeChar) return false;
  }
  return true;
}

}  // namespace velkin::app
