// The compiled-help project of one category: the script that runs the
// compiler, the project file, and the contents and index sitemaps, all
// written into the category itself, held by the build while it runs
// (kb/build_files.h) and removed again when it ends.
//
// Paths inside the project are relative to the category (the project
// folder) and use "/". The compiler is the first "chmcmd" on PATH; the
// script "ExportASCHM.bat" is a POSIX shell script run by /bin/sh. The
// compiler reads a backslash as "/" and a project line ends at a line break,
// so files with either in their path below the category are left out of the
// book and named in the outcome.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book/book_settings.h"
#include "kb/build_files.h"
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

// Why the compiler cannot take a file or folder by this path, or "" when it
// can: it reads every backslash as a folder separator, and a project file
// line cannot hold a line break.
std::string_view unfitForBook(std::string_view path);

// The first page of a folder: entries in name order, each folder searched
// when it is met (companion folders too), the first file ending in ".htm" or
// ".HTM" wins (".html" pages, build file names and pages the book would
// leave out do not count). Its full path, or "" when there is none.
std::string firstPage(const std::string& folder);

// The topic page as the project names it: the first page when topicPage is
// empty, made relative when it lies below the project folder.
std::string defaultTopic(const std::string& projectFolder, const std::string& topicPage);

// "ExportASCHM.bat": the compiler line, every path quoted, no line end. The
// book is opened by the build once it is in place (openWithViewer), not by
// the script, which ends before the book is.
std::string exportScriptText(const std::string& compilerPath, const std::string& projectFolder);

// The contents of a category as the sitemap lists it, and the files the
// compiler must take into the book: every listed page and everything in its
// companion folders.
struct BookContents {
  std::string sitemap;               // "Contents.hhc" and "Index.hhk", byte for byte
  std::vector<std::string> files;    // relative to the project folder
  std::vector<std::string> leftOut;  // one line for each path left out, and why
};
BookContents bookContents(const std::string& projectFolder, const std::string& topic,
                          const kb::PageFilter& filter);

// "Project.hhp": the [OPTIONS] lines and "[INFOTYPES]", then a [FILES]
// section naming files, lines separated by CR LF, none after the last.
std::string projectFileText(const BookSettings& settings, const std::string& topic,
                            const std::vector<std::string>& files);

struct ProjectOutcome {
  std::string scriptPath;                    // the written "ExportASCHM.bat"
  std::unique_ptr<kb::HeldBuildFiles> files;  // the four files, held
  std::vector<std::string> leftOut;          // BookContents::leftOut
  std::string error;                         // why nothing was written; empty on success
  bool ok() const { return error.empty(); }
};

// Writes the four build files into category, the compiled file being
// settings.outputPath, and holds them. A failure leaves none of them behind
// and says why; so does a build that already runs in category.
ProjectOutcome writeChmProject(const std::string& category, const BookSettings& settings,
                               const std::string& compilerPath, const kb::PageFilter& filter = {});

// Deletes the four build files from the project folder, unless a running
// build holds them, and moves a "k==estrova.htm" there to the Trash.
void removeChmProject(const std::string& projectFolder);

// The full path of the first executable file of that name on PATH, or "".
std::string findOnPath(std::string_view program);

// Hands a file to the viewer (kViewerName) without waiting for the program
// it starts; the viewer's own messages are dropped. False when there is no
// viewer or it cannot be started.
bool openWithViewer(const std::string& path);

}  // namespace velkin::book
