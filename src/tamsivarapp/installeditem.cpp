#include "tamsivarapp/installeditem.h"

#include <string>

#include "base/targets.h"
#include "base/utils.h"
#include "propreader/fileprops.h"
#include "tamsivarapp/main.h"

namespace {

// The file's own preview at `side` pixels, when a reader knows the file.
// A path without its place would be read from wherever the manager was
// started, and show what happens to lie there.
bool iconFromFile(const char* path, int side, cPicture& icon) {
  cFileIO file;
  if (!path || *path != '/' || !file.open(path, fmRead)) return false;
  cPtr<cFileObjectProps> reader(cFileObjectProps::guessObj(&file));
  if (!reader.ptr) return false;
  reader->setPreviewPreferrences(side, side);
  if (!file.set_fp(0) || !reader->load(&file, 0, true)) return false;
  cPictDummy* preview = reader->prop_pict(cFileObjectProps::kPreview);
  if (!preview || !preview->raw8Bpp() || preview->width() <= 0 || preview->height() <= 0 ||
      preview->width() > side || preview->height() > side)
    return false;
  return icon.create(preview->raw8Bpp(), static_cast<int>(preview->width()),
                     static_cast<int>(preview->height()), __bmp_res_inversed);
}

void builtIn(const unsigned char* pixels, int side, cPicture& icon) {
  icon.create(reinterpret_cast<const unsigned int*>(pixels), side, side, __bmp_res_inversed);
}

}  // namespace

bool readInstalledItem(cApplicationConfig* config, const char* id, sInstalledItem& item) {
  if (!config || !id || !*id) return false;
  const std::string section = std::string("install/") + id + "/";
  auto key = [&section](const char* name) { return section + name; };
  unsigned long long version = 0;
  if (!config->getParamInt(key("ver").c_str(), version)) return false;
  item.id.set(id);
  item.installed = version;
  item.newest = kNoVersion;
  strVer(version, item.versionText);
  config->getParamStr(key("name").c_str(), item.name);
  config->getParamStr(key("publisher").c_str(), item.publisherUrl);
  config->getParamStr(key("support").c_str(), item.supportUrl);
  config->getParamStr(key("updates").c_str(), item.updatesUrl);
  unsigned long long utime = 0;
  if (config->getParamInt(key("utime").c_str(), utime)) {
    char text[32];
    if (unixToStr(static_cast<unsigned int>(utime), text, sizeof text)) item.installTime.set(text);
  }
  // Options are numbered from 0; the first one missing ends the list.
  for (int i = 0;; ++i) {
    _guardchar<char> label, command;
    if (!config->getParamStr(key("cplns").append(std::to_string(i)).c_str(), label) || !label.ptr ||
        !*label.ptr || !config->getParamStr(key("cplcs").append(std::to_string(i)).c_str(), command) ||
        !command.ptr || !*command.ptr)
      break;
    sRunOption& option = item.runOptions.add()->value;
    option.label.set(label.ptr);
    option.command.set(command.ptr);
  }
  _guardchar<char> icon;
  config->getParamStr(key("icon").c_str(), icon);
  if (!iconFromFile(icon.ptr, 16, item.smallIcon)) builtIn(app_ico_small, 16, item.smallIcon);
  if (!iconFromFile(icon.ptr, 48, item.bigIcon)) builtIn(app_ico_big, 48, item.bigIcon);
  return true;
}
