// The compiled-help project of one category: the script that runs the
// compiler (and, if asked, the viewer), the project file, and the contents
// and index sitemaps, all written into the category itself and removed again
// when the build ends.
//
// Paths inside the project are relative to the category (the project
// folder) and use "/". The compiler is the first "chmcmd" on PATH; the
// script "ExportASCHM.bat" is a POSIX shell script run by /bin/sh.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "book/book_settings.h"
#include "kb/page_filter.h"

namespace velkin::book {

inline constexpr char kScriptFileName[] = "ExportASCHM.bat";
inline constexpr char kProjectFileName[] = "Project.hhp";
inline constexpr char kContentsFileName[] = "Contents.hhc";
inline constexpr char kIndexFileName[] = "Index.hhk";
// A page the build may leave behind; it goes to the Trash when a build ends.
inline constexpr char kLeftoverPageName[] = "k==estrova.htm";
inline constexpr char kCompilerName[] = "chmcmd";
inline constexpr char kViewerName[] = "xdg-open";

// The first page of a folder: entries in enumeration order, each folder
// searched when it is met (companion folders too), the first file ending in
// ".htm" or ".HTM" wins (".html" pages and build file names do not count).
// Its full path, or "" when there is none.
std::string firstPage(const std::string& folder);

// The topic page as the project names it: the first page when topicPage is
// empty, made relative when it lies below the project folder.
std::string defaultTopic(const std::string& projectFolder, const std::string& topicPage);

// "ExportASCHM.bat": the compiler line, and the viewer line when the book is
// to be opened; every path quoted, no line end after the last line.
std::string exportScriptText(const std::string& compilerPath, const std::string& projectFolder,
                             const BookSettings& settings);

// The contents of a category as the sitemap lists it, and the files the
// compiler must take into the book: every listed page and everything in its
// companion folders.
struct BookContents {
  std::string sitemap;             // "Contents.hhc" and "Index.hhk", byte for byte
  std::vector<std::string> files;  // relative to the project folder
};
BookContents bookContents(const std::string& projectFolder, const std::string& topic,
                          const kb::PageFilter& filter);

// "Project.hhp": the [OPTIONS] lines and "[INFOTYPES]", then a [FILES]
// section naming files, lines separated by CR LF, none after the last.
std::string projectFileText(const BookSettings& settings, const std::string& topic,
                            const std::vector<std::string>& files);

struct ProjectOutcome {
  std::string scriptPath;  // the written "ExportASCHM.bat"
  std::string error;       // why nothing was written; empty on success
  bool ok() const { return error.empty(); }
};

// Writes the four build files into category. A failure leaves none of them
// behind and says why.
ProjectOutcome writeChmProject(const std::string& category, const BookSettings& settings,
                               const std::string& compilerPath, const kb::PageFilter& filter = {});

// Deletes the four build files from the project folder and moves a
// "k==estrova.htm" there to the Trash.
void removeChmProject(const std::string& projectFolder);

// The full path of the first executable file of that name on PATH, or "".
std::string findOnPath(std::string_view program);

}  // namespace velkin::book
