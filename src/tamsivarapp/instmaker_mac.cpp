#include "tamsivarapp/instmaker_mac.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "base/folder.h"
#include "base/targets.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/installfiles.h"
#include "tamsivarapp/madebundle.h"

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

// `rel` of firstForeignEntry under the folder `root`.
std::string under(const std::string& root, const std::string& rel) {
  return rel.empty() || rel == "." ? root : root + "/" + rel;
}

// The end of a make that wrote the bundle but left a folder beside it,
// holding what someone else put in it while make ran.
constexpr int kKeptBeside = 3;

// Names what stays in a folder of make's own beside the bundle once make's
// files are gone from it; false when nothing does.
bool namedIfKept(const std::string& part) {
  struct stat st;
  if (lstat(part.c_str(), &st) != 0) return false;
  std::printf(" (e) Kept %s: make did not put it there\n", under(part, firstForeignEntry(part)).c_str());
  return true;
}

// Takes what make wrote in a folder of its own beside the bundle; false,
// with a line, when anything stays.
bool clearPart(const std::string& part) {
  if (removeMadeBundle(part)) return !namedIfKept(part);
  std::printf(" (e) Unable to remove %s!\n", part.c_str());
  return false;
}

// The line names what could not be made; the next gives the system's reason.
void reportUncreated(const std::string& shown, int err) {
  std::printf(" (e) Unable to create %s!\n - %s\n", shown.c_str(), std::strerror(err));
}

bool makeFolder(const std::string& path, const std::string& shown) {
  if (cFolderContents::mkdir(path.c_str())) return true;
  reportUncreated(shown, errno);
  return false;
}

// Copies in reads of 4096 bytes; each failure has its own message.
bool copyFileReporting(const std::string& from, const char* fromName, const std::string& to, const std::string& shown,
                       const char* openFailed, const char* createFailed, const char* writeFailed) {
  cFileIO in;
  if (!in.open(from.c_str(), fmRead)) {
    std::printf(openFailed, fromName);
    return false;
  }
  cFileIO out;
  if (!out.create(to.c_str(), fmWrite)) {
    std::printf(createFailed, shown.c_str());
    return false;
  }
  unsigned char buf[4096];
  for (;;) {
    unsigned int n = in.read(buf, sizeof buf);
    if (n == 0) break;
    if (n == 0xFFFFFFFFu || !out.writef(buf, n)) {
      std::printf(writeFailed, shown.c_str());
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

namespace {

// The bundle's folder (with its "/", or empty) and the start of the names
// of part folders beside it; a part's name ends with its writer's process id,
// and the old bundle set aside by a swap in two renames adds ".old".
std::pair<std::string, std::string> partPlace(const std::string& bundle) {
  const size_t slash = bundle.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::string stem(1, '.');
  stem.append(bundle, start, std::string::npos).append(".part-");
  return {bundle.substr(0, start), stem};
}

std::string partName(const std::string& bundle) {
  const auto [folder, stem] = partPlace(bundle);
  return folder + stem + std::to_string(static_cast<long>(getpid()));
}

constexpr const char kAsideEnd[] = ".old";

int kernelRename(const char* from, const char* to, unsigned int flags) {
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

bool isFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What killed makes left beside this bundle, once their writers are gone: a
// part folder goes; an old bundle set aside goes back in place when a kill
// between the two renames left no bundle, and goes when the bundle is whole.
// False when something of another's stays in one of them, named.
bool dropStaleParts(const std::string& bundle) {
  const auto [folder, stem] = partPlace(bundle);
  cFolderContents listing;
  listing.init(folder.empty() ? "." : folder.c_str(), false);
  std::vector<std::string> parts, asides;
  for (int i = 0; i < listing.count(); ++i) {
    sFolderItemInfo* e = listing.info(i);
    if (!e || !e->name.ptr || std::strncmp(e->name.ptr, stem.c_str(), stem.size()) != 0) continue;
    char* end = nullptr;
    errno = 0;
    const long writer = std::strtol(e->name.ptr + stem.size(), &end, 10);
    const bool aside = std::strcmp(end, kAsideEnd) == 0;
    if (errno || writer <= 0 || (*end && !aside) || kill(static_cast<pid_t>(writer), 0) == 0 ||
        errno != ESRCH)
      continue;
    const std::string path = folder + e->name.ptr;
    if (isFolder(path)) (aside ? asides : parts).push_back(path);
  }
  bool cleared = true;
  for (const std::string& old : asides) {
    struct stat st;
    if (lstat(bundle.c_str(), &st) != 0 && errno == ENOENT &&
        gFolderRename(old.c_str(), bundle.c_str(), 0) == 0)
      continue;
    cleared = clearPart(old) && cleared;
  }
  for (const std::string& part : parts) cleared = clearPart(part) && cleared;
  return cleared;
}

// Puts `part` in the place of `bundle` and the old bundle at `part`: in one
// step where the file system can, else by two renames, the old one set
// aside meanwhile where the next make finds it.
bool swapFolders(const std::string& part, const std::string& bundle) {
  if (gFolderRename(part.c_str(), bundle.c_str(), RENAME_EXCHANGE) == 0) return true;
  const std::string aside = part + kAsideEnd;
  if (gFolderRename(bundle.c_str(), aside.c_str(), 0) != 0) return false;
  if (gFolderRename(part.c_str(), bundle.c_str(), 0) != 0) {
    gFolderRename(aside.c_str(), bundle.c_str(), 0);
    return false;
  }
  return gFolderRename(aside.c_str(), part.c_str(), 0) == 0;
}

// The program runs from NAME.app/Contents/MacOS, the bundle whose icon the
// installer takes; answers that Contents folder.
bool ownContents(const std::string& program, std::string& contents) {
  const size_t exe = program.rfind('/');
  if (exe == std::string::npos || exe < 1) return false;
  const size_t macos = program.rfind('/', exe - 1);
  if (macos == std::string::npos || program.compare(macos + 1, exe - macos - 1, "MacOS") != 0) return false;
  contents = program.substr(0, macos);
  const size_t name = contents.rfind('/');
  return contents.compare(name == std::string::npos ? 0 : name + 1, std::string::npos, "Contents") == 0;
}

// A ".." step leaves the folder named before it, which must therefore be
// there: the system refuses "x/../B.app" while x is missing, and making x
// for it would leave behind a folder the writer never asked for. The
// system's reason when one is missing or no folder, else 0.
int climbOutOfMissingFolder(const std::string& path) {
  for (size_t at = path.find(".."); at != std::string::npos; at = path.find("..", at + 2)) {
    if (at == 0 || path[at - 1] != '/' || (at + 2 < path.size() && path[at + 2] != '/')) continue;
    struct stat st;
    if (stat(path.substr(0, at).c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  }
  return 0;
}

// Writes the bundle's files under `at`; messages name them under `shown`,
// where they are to be.
bool writeBundle(cSoftPkgScenario& pkg, const std::string& own, const char* exe, const char* program,
                 const std::string& at, const std::string& shown) {
  if (!makeFolder(at, shown) || !makeFolder(at + "/Contents", shown + "/Contents")) return false;
  int ver[4] = {0, 0, 0, 0};
  pkg.getVer(ver);
  const std::string name = std::string(pkg.getStr("name") ? pkg.getStr("name") : "") + " Installer";
  errno = 0;
  if (!writeWholeFile((at + "/Contents/Info.plist").c_str(),
                      bundlePlist("org.zvk.installer", "Installer", name.c_str(), ver[0], ver[1],
                                  pkg.getStr("copyright")))) {
    reportUncreated(shown + "/Contents/Info.plist", errno ? errno : EIO);
    return false;
  }
  errno = 0;
  if (!writeWholeFile((at + "/Contents/PkgInfo").c_str(), "APPL????")) {
    reportUncreated(shown + "/Contents/PkgInfo", errno ? errno : EIO);
    return false;
  }
  const std::string resources = "/Contents/Resources";
  if (!makeFolder(at + resources, shown + resources)) return false;
  {
    const std::string data = resources + "/scenario.data";
    cFileIO out;
    if (!out.create((at + data).c_str(), fmWrite)) {
      std::printf("(e) Creating target failed: %s\n", (shown + data).c_str());
      return false;
    }
    if (!pkg.saveBinConfig(&out)) {
      std::printf("(e) Saving scenario failed: %s\n", (shown + data).c_str());
      return false;
    }
  }
  const std::string iconFrom = own + "/Resources/icon.icns", icon = resources + "/icon.icns";
  if (!copyFileReporting(iconFrom, iconFrom.c_str(), at + icon, shown + icon, "(e) Failed opening icon: %s\n",
                         "(e) Creating icon failed: %s\n", "(e) Writing icon failed: %s\n"))
    return false;
  const std::string macos = "/Contents/MacOS", installer = macos + "/Installer";
  if (!makeFolder(at + macos, shown + macos)) return false;
  if (!copyFileReporting(exe, program, at + installer, shown + installer, "(e) Failed opening exe: %s\n",
                         "(e) Creating exe failed: %s\n", "(e) Writing exe failed: %s\n"))
    return false;
  return cFolderContents::setPermissions((at + installer).c_str(), 7, 5, 5);
}

}  // namespace

tFolderRename gFolderRename = kernelRename;

int makeInstaller(const char* program, const char* scenario, const char* bundle, const char*) {
  return makeInstallerFrom(program, kSelfExe, scenario, bundle);
}

int makeInstallerFrom(const char* program, const char* exe, const char* scenario, const char* bundle) {
  // Shell completion ends a folder's name with "/".
  std::string b = bundle ? bundle : "";
  while (b.size() > 1 && b.back() == '/') b.pop_back();
  // What a killed make left goes even when this one is refused.
  const bool cleared = dropStaleParts(b);

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

  std::string own;
  if (!ownContents(program ? program : "", own)) {
    std::printf(
        "(e) Not in a bundle of its own: %s must sit in NAME.app/Contents/MacOS, beside "
        "NAME.app/Contents/Resources/icon.icns\n",
        program ? program : "");
    return 2;
  }

  // Only a folder that holds what make writes, or nothing, is make's to
  // replace: a link, a file, or a bundle the user has put a file in stays.
  struct stat st;
  const bool replacing = lstat(b.c_str(), &st) == 0;
  if (replacing) {
    const std::string foreign = S_ISDIR(st.st_mode) ? firstForeignEntry(b) : ".";
    if (!foreign.empty()) {
      std::printf(" (e) Object will not be repleaced: %s!\n", b.c_str());
      if (foreign != ".") std::printf(" - %s: make did not put it there\n", under(b, foreign).c_str());
      return 1;
    }
  }
  if (const int err = climbOutOfMissingFolder(b)) {
    reportUncreated(b, err);
    return 1;
  }
  _guardchar<char> parent;
  if (stripLastComponent(b.c_str(), parent) && *parent.ptr && !checkPathRecursive(parent.ptr)) {
    // A file on the way answers "exists"; the walk below it says what is wrong.
    int err = errno;
    if (err == EEXIST) err = lstat(parent.ptr, &st) == 0 ? ENOTDIR : errno;
    reportUncreated(parent.ptr, err);
    return 1;
  }
  // The new bundle is written beside the old one and takes its place only
  // when whole: a full disk or a kill meanwhile leaves the old installer.
  const std::string part = partName(b);
  if (lstat(part.c_str(), &st) == 0 && !clearPart(part)) return 1;
  if (!writeBundle(pkg, own, exe, program, part, b)) {
    clearPart(part);
    return 1;
  }
  if (!replacing) {
    if (gFolderRename(part.c_str(), b.c_str(), 0) == 0) return cleared ? 0 : kKeptBeside;
    const int err = errno;
    clearPart(part);
    reportUncreated(b, err);
    return 1;
  }
  if (!swapFolders(part, b)) {
    clearPart(part);
    std::printf(" (e) Unable to remove %s!\n", b.c_str());
    return 1;
  }
  // The part name now holds the old bundle, and whatever was put in it
  // since it was looked at, which stays there.
  if (!removeMadeBundle(part)) {
    std::printf(" (e) Unable to remove %s!\n", part.c_str());
    return 1;
  }
  return namedIfKept(part) || !cleared ? kKeptBeside : 0;
}
