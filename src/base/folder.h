// The system's view of the file system: a listing of one folder (or of the
// places a folder chooser starts from) and the helpers every subsystem uses
// for questions about paths.
#pragma once

#include <atomic>

#include "base/btree.h"
#include "base/guardchar.h"
#include "base/utils.h"

// What a path names. Paths are examined through links, so a link reports
// what it points to and a dangling one reports fotNone.
enum eFsObjType {
  fotNone = 0,
  fotFile = 1,
  fotFolder = 2,
  fotLink = 3,
  fotBlockDevice = 4,
  fotCharDevice = 5,
  fotSocket = 6,
  fotOther = 7,
  fotSpecialLocation = 9,
};

struct sFolderItemInfo {
  // The name inside the folder, or the full path of a special location.
  _guardchar<char> name;
  // The display text of a special location; null for ordinary entries.
  _guardchar<char> label;
  long long size = 0;
  int type = fotNone;
  unsigned char hidden = 0;
  // Local time; all zero for special locations.
  sTimestamp modified = {};
};

struct sFsObjExtInfo {
  unsigned int mode;
  sTimestamp changed;
  sTimestamp accessed;
  sTimestamp modified;
  long long size;
};

class cFolderContents {
 public:
  // Lists `path` in the order the system gives (users sort); with
  // `foldersAndFilesOnly`, everything else is left out. A failed listing is
  // empty. A reader off the main thread passes its stop flag: once it is
  // set the listing ends at the next entry, and the answer is false. With
  // `typesOnly` sizes and times may be left zero.
  bool init(const char* path, bool foldersAndFilesOnly, const std::atomic<bool>* stop = nullptr,
            bool typesOnly = false);
  // The home folder, "/" and every other mounted file system once per device.
  bool enumSpecialLocations();
  int count() const { return count_; }
  sFolderItemInfo* info(int i);
  // The entry's full path; false when there is no such entry.
  bool path(int i, _guardchar<char>& out);
  bool getExtInfo(int i, sFsObjExtInfo& info);
  const char* folder() const { return folder_.ptr; }
  bool destroy();

  static int objtype(const char* path);
  // Each of the three is a read 4, write 2, execute 1 sum.
  static bool setPermissions(const char* path, unsigned char owner, unsigned char group, unsigned char other);
  // 8 when nothing is there, else the sum of what this process may do.
  static int getEffectivePermissions(const char* path);
  static bool canRead(const char* path);
  // Always true for the superuser when something is there.
  static bool canWrite(const char* path);
  static bool canExecute(const char* path);
  // Names compare byte for byte here.
  static bool pathCaseSensetive(const char*) { return true; }
  static void adjustPath(char*) {}
  // "*" matches any run of bytes, "?" any one byte; case-sensitive. An
  // empty or null pattern matches every name, a null name nothing.
  static bool wcmatch(const char* name, const char* pattern);
  // Patterns separated by ";": any match answers true; an empty piece
  // matches everything, but a ";" that ends the list adds nothing.
  static bool wcmmatch(const char* name, const char* patterns);
  // One level, permission bits 0775; true when a folder is already there.
  static bool mkdir(const char* path);
  // True when the empty folder is gone or nothing was there.
  static bool removeDir(const char* path);
  static bool getExtInfo(const char* path, sFsObjExtInfo& info);
  // Seconds since 1970 counted in local time, 0xFFFFFFFF for "not given";
  // the first becomes the access and modification time.
  static bool setTime(const char* path, unsigned int first, unsigned int second, unsigned int third);
  // A local calendar time, month 1 to 12.
  static bool setTime(const char* path, int year, int month, int day, int hour, int minute, int second);
  static bool getHome(_guardchar<char>& out);
  static bool getTempFolder(_guardchar<char>& out);
  // "$HOME/.name", whether or not it is there yet.
  static bool getConfigFolder(_guardchar<char>& out, const char* name);
  // The settings of every user: "zvkcfg/name" in the first folder of
  // XDG_CONFIG_DIRS (by default /etc/xdg), each level made when missing.
  static bool getSysConfigFolder(_guardchar<char>& out, const char* name);
  // Where the desktop finds the menu entries of programs: the folder `name`
  // in "applications" of XDG_DATA_HOME (by default ~/.local/share), or for
  // every user of the first folder of XDG_DATA_DIRS (by default
  // /usr/local/share); the missing levels are made. `name` is one folder
  // name, never a path.
  static bool getShortcutsFolder(_guardchar<char>& out, const char* name, bool allUsers);
  // Makes a display name usable as one file name: no leading control
  // characters or blanks, no trailing white space, the characters that paths
  // and shells treat specially replaced, never "." or "..", cut to at most
  // outSize - 1 bytes on a UTF-8 character boundary. Answers the length.
  static long long safeName(const char* name, char* out, long long outSize);
  // Bytes of the file system holding `path`, and those free to any user.
  static bool getVolInfo(const char* path, unsigned long long& total, unsigned long long& available);
  static bool isDirEmpty(const char* path);

 private:
  sFolderItemInfo* add();

  _guardchar<char> folder_;
  cFasterTreeList<int, sFolderItemInfo> entries_;
  int count_ = 0;
};
