// Downloads an update into an open file, as a progress form over the update
// form, and unpacks what it fetched.
#pragma once

#include <string>

#include "base/guardchar.h"
#include "base/targets.h"
#include "ciom/progressform.h"
#include "nethttp/httpresponse.h"
#include "tamsivarapp/checkupdates.h"

class cUpdateDownloader : public cStdBasicProgressForm, public cHttpResponse {
 public:
  enum eResult {
    drNoRequest = 1,
    drBroken = 2,
    drRefused = 3,
    drWriteFailed = 4,
    drCancelled = 5,
    drNotHttp = 6,  // the address is not an http:// one, the only kind fetched
    drDone = 10
  };

  // `why`, when given, outlives the form and receives the cause of a
  // failed download, in the check's terms.
  cUpdateDownloader(cFileIO* file, const char* url, sUpdateCheck* why = nullptr)
      : myFile(file), myUrl(url ? url : ""), myWhy(why) {}

  int job() override;
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override;
  bool onHeaderDone() override;

 private:
  cFileIO* myFile;
  _guardchar<char> myUrl;
  sUpdateCheck* myWhy;
  int myResult = drBroken;
  unsigned long long myWritten = 0;
};

// Whether `url` is of the one kind a download fetches, http://; asked
// before the user chooses where to save, so that nothing is asked in vain.
bool downloadable(const char* url);

// Unpacks the zip at `zip` into a folder of its own, made for this download
// and readable by this user only, and finds the installer in it: the first
// folder at its top whose name ends in ".app", in any case. The folder stays
// for the installer that runs from it; when no installer is found it goes.
// `why`, when given, receives the cause of a failure; `cause`, when given,
// the folder that could not be made (ufNoFolder) and the system's reason.
bool unpackUpdate(const char* zip, _guardchar<char>& installer, eUpdateCheckFault* why = nullptr,
                  std::string* cause = nullptr);
// Starts the program of the unpacked installer bundle; its folder goes once
// the program has ended, or at once when it cannot start (`why` says so).
bool startUpdateInstaller(const char* installer, eUpdateCheckFault* why = nullptr);
// The name that proves a folder one this system made for an update: its
// inode number and birth time after "zvksopkg-", given to it once made and
// locked. Empty for anything but a folder, and where the file system keeps
// no birth time: such a folder gets a name no clean-up takes.
std::string updateFolderName(int fd);
// Removes this user's unpacked update folders that nothing holds or uses
// any more: those of an update killed while unpacking, and of an installer
// whose watcher and program are gone. Only a folder whose name is the one
// its identity proves goes, with what is in it, links removed and never
// followed; every other name stays, as does a folder hidden by an update
// killed between making and naming it, which nothing proves ours. A folder
// stays while its update, its unzip or its installer runs, and while any
// process uses it.
void removeStaleUpdateFolders();
