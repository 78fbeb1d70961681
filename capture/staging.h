// Staging: where a capture builds its page and companion folder before they
// appear in the category. Readers, the tree and other captures never see a
// half-made page or a companion folder filling up; a failed capture leaves
// nothing; publishing puts the page and its folder in place together and
// never replaces what the capture did not mean to.
//
// The staging folder is a hidden folder in the category whose name ends in
// ".files", so listings take it for a companion folder and never show it.
// Its capture holds an advisory lock on it for its whole life; a staging
// folder whose lock is free belongs to a capture that died and is removed
// by the next capture into that category.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/file_util.h"

namespace velkin::capture {

inline constexpr char kStagingPrefix[] = ".velkin-staging-";

class CaptureStaging {
 public:
  // A new staging folder in category (after removing dead ones there), or
  // nullptr with the reason in error.
  static std::unique_ptr<CaptureStaging> create(const std::string& category, std::string& error);
  // Removes the staging folder with whatever is left in it.
  ~CaptureStaging();
  CaptureStaging(const CaptureStaging&) = delete;
  CaptureStaging& operator=(const CaptureStaging&) = delete;

  const std::string& path() const { return path_; }
  // Where the page named pageName is built.
  std::string stagedPage(const std::string& pageName) const;

  // Moves the staged page (and its companion folder when it was made) into
  // the category, under a lock on the category so that captures publish one
  // at a time. Without replace an existing page or companion folder of that
  // name is a failure and nothing moves; with replace both are swapped out
  // and removed with the staging folder (the old companion folder also when
  // the new page has none). "" on success, else the reason for the user.
  std::string publish(const std::string& pageName, bool replace);

 private:
  CaptureStaging(std::string category, std::string path, platform::FileLock lock)
      : category_(std::move(category)), path_(std::move(path)), lock_(std::move(lock)) {}

  std::string category_;
  std::string path_;
  platform::FileLock lock_;  // held while the capture lives
};

// Removes the staging folders in category whose capture is gone.
void removeDeadStaging(const std::string& category);

}  // namespace velkin::capture
