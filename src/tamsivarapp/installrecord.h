// The installed-package record: one configuration section per package,
// "install/<codename>", telling later runs what was installed, where, in
// which language and with which files and shortcuts.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/appconfig.h"
#include "tamsivarapp/heldpath.h"
#include "tamsivarapp/installctx.h"

// The side files runs made beside listed ones ("<file>.tmp", "<file>.bkp",
// "<file>.bkp.tmp"), each with the identity of the file made. Only a side
// file named here, and only while it is still that file, is ever taken by
// a later run; one the user made under such a name stays theirs.
using tSideMark = std::map<std::string, sFileId>;

// What a record says beside the package's own files while a run is under
// way: the files an interrupted upgrade may still have to drop, and the
// side files.
struct sRecordExtras {
  std::vector<std::string> files;
  tSideMark sides;
};

// The name the program opens its store under: "$HOME/.<name>".
inline constexpr const char kRecordStore[] = "zvk";

class cCIAppConfig;
// The store of hive files `config` reaches; null for any other kind.
cCIAppConfig* recordStore(cApplicationConfig* config);
// Makes the store's folder with its missing parents, as an installation
// folder is made, where the store was opened without one (a home not made
// yet), and opens the store there. False when the store still has none,
// with errno the system's reason where there is one.
bool openRecordFolder(cApplicationConfig* config);
// Where the store lies and why it was not written, for the user: its
// folder, then the system's words for the first failure the store met
// since clearStoreTrouble, else for `err` when there is one. A home that
// is no path from the root has only its folder: see storeTroubleText.
std::string storeTrouble(cApplicationConfig* config, int err);
void clearStoreTrouble(cApplicationConfig* config);
// Adds to `kept` each file in which the store kept the bytes of a damaged
// hive of its own before it wrote over them, since it was opened, that
// `kept` does not name yet.
void nameStoreCopies(cApplicationConfig* config, std::vector<sKeptFile>& kept);
// Writes the context's record under `section`; neither removes the old
// section nor saves.
void ctxToConfig(sPkgInstallContext* context, cApplicationConfig* config, const char* section);
// Replaces the package's section and saves, through the global view first
// and the configuration itself when that fails. `managerPath` and
// `managerShortcut` may be null. False when neither save succeeded or
// the record does not read back.
bool saveInstallRecord(sPkgInstallContext* context, cApplicationConfig* config, const char* managerPath,
                       const char* managerShortcut, bool* throughGlobal = nullptr,
                       const sRecordExtras* extras = nullptr);
// When the record under `section` was last written in full, as the
// clock that stamps folders' births told it then, in whole seconds only
// for a record of an earlier build; none where the record has no time.
std::optional<sSaveTime> readRecordTime(cApplicationConfig* config, const char* section);
// The files the record under `section` lists, in its order.
std::vector<std::string> readFileList(cApplicationConfig* config, const char* section);
// The record under `section` as the store's files hold it, whatever the
// configuration holds unsaved: what every later run reads. A save that
// failed may still have replaced some of the files.
struct sSavedRecord {
  // Whether the store's files could be read, and hold the section.
  bool opened = false;
  bool present = false;
  bool versioned = false;
  unsigned long long version = 0;
  std::vector<std::string> files;
  tSideMark sides;
};
sSavedRecord readSavedRecord(cApplicationConfig* config, const char* section);
// Whether the record under `section` can be trusted as read: rrUnread
// where the store's file is there but could not be read, or is no regular
// file (`why` names it, and the system's reason or what it is); rrCut
// where the file did not read whole where the record is, or would be;
// rrUnversioned where the record lacks the version every whole record
// holds; rrUnfounded where a record holding its version names no
// installation folder from the root without ".." steps. A damaged
// record's file is first kept, as a save keeps a file that does not read
// whole: `why` names the copy, then, on a line of its own, the folder
// the record names; a copy that cannot be made gives rrUnread. A record missing from what could be read whole is missing:
// rrRead.
enum eRecordRead { rrRead, rrUnread, rrCut, rrUnversioned, rrUnfounded };
eRecordRead recordRead(cApplicationConfig* config, const char* section, std::string& why);
// Whether recordRead would find the store's file unread, learned without
// writing anything: a run asks before it makes its lock, and recordRead
// asks again under it. `why` as recordRead gives it.
bool storeUnread(cApplicationConfig* config, const char* section, std::string& why);
// Lists exactly `files` under `section`; neither saves nor touches the files.
void writeFileList(cApplicationConfig* config, const char* section, const std::vector<std::string>& files);
// Leaves the record under `section` listing only those of its files that
// `keep` names, each with what the record says of its folder, and no
// shortcut; neither saves nor touches the files.
void keepOnlyFiles(cApplicationConfig* config, const char* section, const std::set<std::string>& keep);
// The side files the record under `section` names with their identity. A
// name an earlier build marked without one was free when it was marked,
// so the file under it now is taken as that build took it: with the
// identity it has now; one with nothing under it is left out.
tSideMark readSideMark(cApplicationConfig* config, const char* section);
// Names exactly `sides` in the record under `section` (none clears the
// mark); neither saves nor touches the files.
void writeSideMark(cApplicationConfig* config, const char* section, const tSideMark& sides);
// Names `sides` too, after the side files the record names already: a
// name named again is read with its last identity. Cheap however long the
// mark is; neither saves nor touches the files.
void addSideMark(cApplicationConfig* config, const char* section, const tSideMark& sides);
// Whether the name in the held folder is still the side file `id` names.
bool isSideMade(const cHeldFolder& folder, const std::string& name, const sFileId& id);
// "install/<record name>".
void recordSection(const char* recordName, _guardchar<char>& out);
// Where the installation folder the record under `section` holds
// resolved when it was made. A record of an earlier build that kept the
// folder's device and inode numbers instead gives where the folder resolves
// now while it still has them; any other earlier record gives none.
std::string readFolderReal(cApplicationConfig* config, const char* section);
// Whether the installation folder the record under `section` holds was a
// mount point when it was made. A whole record of an earlier build, which
// does not say, answers no; only the mark of a first installation under
// way, whose files are proven the package's by their marks, leaves it
// unknown.
std::optional<bool> readFolderMount(cApplicationConfig* config, const char* section);
// Where the folders the record under `section` says its files placed
// outside the installation folder were written into resolved then, by the
// files' plain paths; read from an earlier build's numbers as above.
std::map<std::string, std::string> readPlacedIn(cApplicationConfig* config, const char* section);
// The listed file a side name belongs to: "<file>.bkp.tmp", "<file>.bkp",
// "<file>.tmp" or "<file>.tmp<n>".
std::string sideOwner(const std::string& side);
// How to remove an installed package, and the major version installed.
bool getPackageRemovalCommandLine(cApplicationConfig* config, const char* id, int& major,
                                  _guardchar<char>& command);
bool getInstalledPackageName(cApplicationConfig* config, const char* id, _guardchar<char>& name);
