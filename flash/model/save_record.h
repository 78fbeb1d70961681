// One movie offered for saving, as every way of saving collects it (the
// page scan, a single movie from the Flash bar or menu) and the save dialog
// lists it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkin::flash {

// The movie's absolute address, its size (0: unknown, which every producer
// of the system passes) and the address of the page it was found on, which
// decides whether a local source may be read (flash_download.h).
struct SaveRecord {
  std::string url;
  std::uint32_t size = 0;
  std::string page;
  bool operator==(const SaveRecord& other) const {
    return url == other.url && size == other.size && page == other.page;
  }
};
// Ordered; identical movies are kept, one record each.
using SaveList = std::vector<SaveRecord>;

}  // namespace velkin::flash
