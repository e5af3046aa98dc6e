// Files an uninstall or an upgrade leaves in place because the path that
// names them may not lead to what the package wrote, and how the user reads
// of them. The reasons are rows of the uninstaller's texts: whichever form
// names kept files, the words are the same.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class cCiomLangData;

// A listed file left in place, and the row of its reason; where the
// system refused a change, its reason too.
struct sKeptFile {
  std::string path;
  int reason;
  int err = 0;
};

// The uninstaller's texts, which hold the reasons.
inline constexpr char kKeptReasonsSection[] = "pkgm::unin";
// Rows of the reasons a file was kept, and of the line that counts the
// files a bounded list leaves out.
inline constexpr int kKeptOddPath = 13;
inline constexpr int kKeptThroughLink = 14;
inline constexpr int kKeptNotAFile = 15;
inline constexpr int kKeptMore = 16;
inline constexpr int kKeptOtherFolder = 18;
inline constexpr int kKeptFolderMoved = 19;
// The row of why a home that is no path from the root keeps no record.
inline constexpr int kHomeNotRooted = 20;
// Rows of what a run whose record could not be saved leaves: a file the
// record names that is not installed, and one that could not be put back.
inline constexpr int kKeptNotInstalled = 21;
inline constexpr int kKeptNotPutBack = 22;
// The row of a file the package no longer has that could not be removed.
inline constexpr int kKeptNotRemoved = 24;
// The row of a file the record marks by device and inode alone: a file
// the user made since under the freed number looks the same, so it stays,
// and so does its mark, until it is gone.
inline constexpr int kKeptUnproven = 25;
// The row of a file a record without its version lists where no run's
// mark ties it to a file a run made: the record is an unfinished first
// installation's, or a whole one cut short and saved again, and cannot
// tell which. It stays, and so does the record, until the package is
// installed again or the file is gone.
inline constexpr int kKeptUnrecorded = 37;
// The row of a file a record holding its version lists while it names no
// usable installation folder: nothing tells the file the package's.
inline constexpr int kKeptUnfounded = 39;
// The row of a file holding the bytes of the store's file, whose record
// of the package named no usable installation folder and was written anew.
inline constexpr int kKeptUnfoundedCopy = 40;
// The row of a file holding the bytes of the store's file, which did not
// read whole and was written anew without what could not be read.
inline constexpr int kKeptStoreCopy = 27;
// The row of a file holding the bytes of the store's file, whose record
// of the package lacked its version and was written anew.
inline constexpr int kKeptRecordCopy = 34;
// The row of a file kept, or a target refused, because a file system
// the record does not know is mounted on a folder on the way to it.
inline constexpr int kKeptMounted = 32;
// The row of a file kept, or a folder refused, because the installation
// folder was a mount point when it was made and is none now: what lies
// there is not on the file system the package was installed on.
inline constexpr int kKeptUnmounted = 35;
// The row of the advice under a list of kept files, given only where one
// of them may be the package's: a kept copy of the store holds other
// packages' records, and is never to be deleted for this one.
inline constexpr int kKeptAdvice = 28;

// Why a file whose folder could not be held from `anchor` as the one the
// package wrote into stays: a link at or below the anchor, which the hold
// refuses; else a folder its path no longer resolves to (a link above the
// anchor that now leads elsewhere).
int keptReasonFor(const std::string& anchor, const std::string& path);

// How a path is written before its reason, e.g. shortened to what is left
// of a line beside it; given the path and the " (reason)" that follows.
using KeptPathWriter = std::function<std::string(const std::string& path, const std::string& after)>;

// One "path (reason)" line per file ("path (reason: the system's reason)"
// where it refused a change), at most `shown` of them, then a line
// telling how many more were kept; the words come from `texts`, the
// uninstaller's section (null leaves them out). Each path is shown as
// visibleText writes it, so that a name holding a line break or another
// character that shows nothing cannot pass for two; whole unless `write`
// is given, which gets it so.
std::string keptFilesText(const std::vector<sKeptFile>& kept, cCiomLangData* texts, size_t shown,
                          const KeptPathWriter& write = nullptr);

// The line under the list of `kept` that tells to delete by hand those that
// belong to the package, from `texts` (the uninstaller's section); empty
// when the list holds only copies of the store.
std::string keptAdvice(const std::vector<sKeptFile>& kept, cCiomLangData* texts);

// The store's trouble as the user reads it (visibleText): where HOME is no
// path from the root, the folder followed by that reason from `texts`.
std::string storeTroubleText(const std::string& trouble, cCiomLangData* texts);
