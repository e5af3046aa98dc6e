#include "tamsivarapp/instmaker_mac.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/folder.h"
#include "base/targets.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/installfiles.h"

namespace {

constexpr const char kSelfExe[] = "/proc/self/exe";

void xmlEscapeInto(std::string& out, const char* text) {
  for (const char* p = text ? text : ""; *p; ++p) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += *p;
    }
  }
}

// A tool's own folder may be replaced; anything else standing at B (a home
// folder given by mistake, a link) is left alone.
bool isReplaceableBundle(const std::string& b) {
  struct stat st;
  if (lstat(b.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  struct stat inner;
  if (lstat((b + "/Contents/PkgInfo").c_str(), &inner) == 0) return true;
  if (lstat((b + "/Contents/Resources/scenario.data").c_str(), &inner) == 0) return true;
  return cFolderContents::isDirEmpty(b.c_str());
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
  // FTW_PHYS reports links as links, so a link inside the bundle goes and
  // what it points to stays.
  int rc = (type == FTW_DP) ? rmdir(path) : unlink(path);
  return rc == 0 ? 0 : -1;
}

bool removeTree(const std::string& path) {
  return nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

bool makeFolder(const std::string& path) {
  if (cFolderContents::mkdir(path.c_str())) return true;
  std::printf(" (e) Unable to create %s!\n", path.c_str());
  return false;
}

// Copies in reads of 4096 bytes; each failure has its own message.
bool copyFileReporting(const std::string& from, const char* fromName, const std::string& to,
                       const char* openFailed, const char* createFailed, const char* writeFailed) {
  cFileIO in;
  if (!in.open(from.c_str(), fmRead)) {
    std::printf(openFailed, fromName);
    return false;
  }
  cFileIO out;
  if (!out.create(to.c_str(), fmWrite)) {
    std::printf(createFailed, to.c_str());
    return false;
  }
  unsigned char buf[4096];
  for (;;) {
    unsigned int n = in.read(buf, sizeof buf);
    if (n == 0) break;
    if (n == 0xFFFFFFFFu || !out.writef(buf, n)) {
      std::printf(writeFailed, to.c_str());
      return false;
    }
  }
  return true;
}

// Lines and columns as the writer's editor counts them, from 1; a refusal of
// the whole scenario names no line. Each code says what it means.
void reportLoadFailure(int code, int line, const cSoftPkgScenario::sTextFault& fault) {
  if (code == 1) {
    std::printf("FAIL (No source file)\n");
    return;
  }
  const char* meaning = fault.words ? fault.words : textCodeMeaning(code);
  if (!meaning) meaning = "refused";
  if (line < 0)
    std::printf("ERROR:\n - error code %d: %s!\n", code, meaning);
  else if (code == 2)
    std::printf("ERROR:\n - at line %d: Unknown section!\n", line + 1);
  else
    std::printf("ERROR:\n - at line %d: error code %d: %s!\n", line + 1, code, meaning);
  if (!fault.file.ptr) return;
  const char* why = fault.message.ptr ? fault.message.ptr : "refused";
  if (fault.line >= 0 && fault.column >= 0)
    std::printf(" - %s, line %lld, column %lld: %s\n", fault.file.ptr, fault.line + 1, fault.column + 1, why);
  else if (fault.line >= 0)
    std::printf(" - %s, line %lld: %s\n", fault.file.ptr, fault.line + 1, why);
  else
    std::printf(" - %s: %s\n", fault.file.ptr, why);
}

}  // namespace

std::string bundlePlist(const char* identifier, const char* executable, const char* name,
                        int major, int minor, const char* copyright) {
  std::string version = std::to_string(major) + "." + std::to_string(minor);
  std::string bundleName;
  xmlEscapeInto(bundleName, name);
  std::string rights;
  xmlEscapeInto(rights, copyright);
  const std::pair<const char*, std::string> entries[] = {
      {"BuildMachineOSBuild", "13F34"},
      {"CFBundleDevelopmentRegion", "en"},
      {"CFBundleExecutable", executable},
      {"CFBundleIconFile", "icon.icns"},
      {"CFBundleIdentifier", identifier},
      {"CFBundleInfoDictionaryVersion", "6.0"},
      {"CFBundleName", bundleName},
      {"CFBundlePackageType", "APPL"},
      {"CFBundleShortVersionString", version},
      {"CFBundleSignature", "????"},
      {"CFBundleVersion", version},
      {"DTCompiler", "org.llvm.clang"},
      {"DTPlatformBuild", "6A1052d"},
      {"DTPlatformVersion", "GM"},
      {"DTSDKBuild", "13F26"},
      {"DTSDKName", "macosx10.9"},
      {"DTXcode", "0610"},
      {"DTXcodeBuild", "6A1052d"},
      {"LSApplicationCategoryType", "public.app-category.utilities"},
      {"LSMinimumSystemVersion", "10.9"},
      {"NSHumanReadableCopyright", rights},
      {"NSMainNibFile", "MainMenu"},
      {"NSPrincipalClass", "NSApplication"},
  };
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n";
  for (const auto& [key, value] : entries) {
    out += "\t<key>";
    out += key;
    out += "</key>\n\t<string>";
    out += value;
    out += "</string>\n";
  }
  out += "</dict>\n</plist>";
  return out;
}

bool writeWholeFile(const char* path, const std::string& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && ok;
}

int makeInstaller(const char* program, const char* scenario, const char* bundle, const char*) {
  return makeInstallerFrom(program, kSelfExe, scenario, bundle);
}

int makeInstallerFrom(const char* program, const char* exe, const char* scenario, const char* bundle) {
  std::printf("(i) Loading scenario... ");
  std::fflush(stdout);
  cSoftPkgScenario pkg;
  int line = 0;
  int code = pkg.loadTextConfig(scenario, line);
  if (code != 0) {
    reportLoadFailure(code, line, pkg.fault);
    return 1;
  }
  std::printf("OK!\n");

  std::string own = program ? program : "";
  size_t cut = own.rfind('/');
  if (cut == std::string::npos) return 2;
  own.resize(cut);
  cut = own.rfind('/');
  if (cut == std::string::npos) return 2;
  own.resize(cut);

  const std::string b = bundle ? bundle : "";
  struct stat st;
  if (lstat(b.c_str(), &st) == 0) {
    if (!isReplaceableBundle(b)) {
      std::printf(" (e) Object will not be repleaced: %s!\n", b.c_str());
      return 1;
    }
    if (!removeTree(b)) {
      std::printf(" (e) Unable to remove %s!\n", b.c_str());
      return 1;
    }
  }
  const std::string contents = b + "/Contents";
  _guardchar<char> parent;
  if (stripLastComponent(b.c_str(), parent) && *parent.ptr && !checkPathRecursive(parent.ptr)) {
    std::printf(" (e) Unable to create %s!\n", parent.ptr);
    return 1;
  }
  if (!makeFolder(b) || !makeFolder(contents)) return 1;

  int ver[4] = {0, 0, 0, 0};
  pkg.getVer(ver);
  const std::string plistPath = contents + "/Info.plist";
  if (!writeWholeFile(plistPath.c_str(),
                      bundlePlist("org.zvk.installer", "Installer",
                                  (std::string(pkg.getStr("name") ? pkg.getStr("name") : "") +
                                   " Installer").c_str(),
                                  ver[0], ver[1], pkg.getStr("copyright")))) {
    std::printf(" (e) Unable to create %s!\n", plistPath.c_str());
    return 1;
  }
  const std::string pkgInfo = contents + "/PkgInfo";
  if (!writeWholeFile(pkgInfo.c_str(), "APPL????")) {
    std::printf(" (e) Unable to create %s!\n", pkgInfo.c_str());
    return 1;
  }
  const std::string resources = contents + "/Resources";
  if (!makeFolder(resources)) return 1;

  const std::string data = resources + "/scenario.data";
  {
    cFileIO out;
    if (!out.create(data.c_str(), fmWrite)) {
      std::printf("(e) Creating target failed: %s\n", data.c_str());
      return 1;
    }
    if (!pkg.saveBinConfig(&out)) {
      std::printf("(e) Saving scenario failed: %s\n", data.c_str());
      return 1;
    }
  }

  const std::string iconFrom = own + "/Resources/icon.icns";
  if (!copyFileReporting(iconFrom, iconFrom.c_str(), resources + "/icon.icns",
                         "(e) Failed opening icon: %s\n", "(e) Creating icon failed: %s\n",
                         "(e) Writing icon failed: %s\n"))
    return 1;

  const std::string macos = contents + "/MacOS";
  if (!makeFolder(macos)) return 1;
  const std::string installer = macos + "/Installer";
  if (!copyFileReporting(exe, program, installer, "(e) Failed opening exe: %s\n",
                         "(e) Creating exe failed: %s\n", "(e) Writing exe failed: %s\n"))
    return 1;
  if (!cFolderContents::setPermissions(installer.c_str(), 7, 5, 5)) return 1;
  return 0;
}
