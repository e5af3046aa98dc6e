// What the manager shows of one installed package, read from its record.
#pragma once

#include "base/appconfig.h"
#include "base/guardchar.h"
#include "base/list.h"
#include "ciom/picture.h"
#include "tamsivarapp/ver.h"

struct sRunOption {
  _guardchar<char> label;
  _guardchar<char> command;
};

struct sInstalledItem {
  _guardchar<char> id;
  cPicture smallIcon;
  cPicture bigIcon;
  _guardchar<char> name;
  _guardchar<char> versionText;
  unsigned long long installed = 0;
  unsigned long long newest = kNoVersion;
  _guardchar<char> downloadUrl;
  _guardchar<char> notes;
  _guardchar<char> webSite;
  _guardchar<char> installTime;
  _guardchar<char> publisherUrl;
  _guardchar<char> supportUrl;
  _guardchar<char> updatesUrl;
  _List<sRunOption> runOptions;

  sInstalledItem() = default;
  sInstalledItem(const sInstalledItem&) = delete;
  sInstalledItem& operator=(const sInstalledItem&) = delete;
  ~sInstalledItem() { runOptions.destroy(); }

  bool hasUpdate() const { return newest != kNoVersion && newest > installed; }
};

// Fills `item` from the record "install/<id>"; false, for a package that is
// not listed, when the id is empty or the record has no version. The icons
// are the package's own when its icon file, named by a path from the root,
// can be read, else the built-in ones. The update server is not asked here.
bool readInstalledItem(cApplicationConfig* config, const char* id, sInstalledItem& item);
