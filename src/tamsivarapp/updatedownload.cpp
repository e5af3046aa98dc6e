#include "tamsivarapp/updatedownload.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/conproc.h"
#include "base/folder.h"
#include "base/plist.h"
#include "nethttp/httprequest.h"
#include "nethttp/httptransport.h"
#include "tamsivarapp/folderusers.h"

extern char** environ;

bool downloadable(const char* url) { return url && strncasecmp(url, "http://", 7) == 0; }

int cUpdateDownloader::job() {
  if (!downloadable(myUrl.ptr)) return drNotHttp;
  cHttpRequest request(cHttpRequest::GET, nullptr, 1);
  if (!request.create(cHttpRequest::GET, myUrl.ptr, 1) || !initSockLib()) return drNoRequest;
  myWritten = 0;
  myResult = drBroken;
  cHttpTransport transport;
  // Cancel ends a stalled transfer at once, not after the time-outs.
  transport.setStopFlag(stopFlag());
  const bool exchanged = transport.processRequest(request, *this);
  if (haveToStop()) return drCancelled;
  // No announced length means no way to tell a whole file from a cut one.
  const unsigned long long length = contentLength();
  const bool measured = length != 0 && length != ~0ull;
  if (measured && myWritten >= length) return drDone;
  if (myWhy && myResult == drBroken)
    myWhy->fault = RC() == 200 && !measured ? ufNoLength
                   : exchanged             ? ufCut
                                           : exchangeFault(transport, ufNone, false);
  return myResult;
}

bool cUpdateDownloader::onHeaderDone() {
  if (RC() == 200) return true;
  myResult = drRefused;
  if (myWhy) {
    myWhy->fault = ufStatus;
    myWhy->status = RC();
  }
  return false;
}

bool cUpdateDownloader::onData(const unsigned char* data, long long length, unsigned long long offset) {
  if (length <= 0) return true;
  if (myFile->write(const_cast<unsigned char*>(data), static_cast<unsigned int>(length)) !=
      static_cast<unsigned int>(length)) {
    myResult = drWriteFailed;
    return false;
  }
  const unsigned long long total = contentLength();
  const double percent =
      total && total != ~0ull ? static_cast<double>(offset) * 100.0 / static_cast<double>(total) : 0;
  myWritten += static_cast<unsigned long long>(length);
  return notifyProgress(percent);
}

namespace {

// unzip from an argument list, never a shell line: the file's name comes
// from the server's address and may hold anything. It holds the folder's
// lock too, so that a killed update's unzip still owns what it writes.
// ufNone when it unpacked everything. Not quiet: a quiet unzip ends with 0
// after skipping the "../" steps of a hostile entry, a loud one warns with 1.
eUpdateCheckFault runUnzip(const char* zip, const char* folder, int held) {
  const char* argv[] = {"unzip", "-o", zip, "-d", folder, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, held, held);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, "unzip", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return ufNoUnzip;
  int status = 0;
  while (waitpid(pid, &status, 0) == -1)
    if (errno != EINTR) return ufUnpack;
  // A warning too (entries skipped for leaving the folder) leaves no whole
  // installer.
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ufNone : ufUnpack;
}

bool endsWithApp(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot && !strcasecmp(dot, ".app");
}

constexpr char kFolderStem[] = "zvksopkg-";

std::string tempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp == '/' ? tmp : "/tmp";
}

// The unpacked update's folder, held with a shared lock from its making
// until the program that waits for the installer holds it in turn.
int gHeld = -1;

void releaseHeld() {
  if (gHeld >= 0) ::close(gHeld);
  gHeld = -1;
}

// A folder of its own, made under a name no cleaner takes and given its
// real name only once locked: the one its identity proves, or where the
// file system keeps no birth times, one that no clean-up ever takes. On
// failure `why` names the folder that could not be made or held, with the
// system's reason.
bool makeHeldFolder(std::string& folder, std::string& why) {
  const std::string base = tempFolder() + "/";
  std::string hidden = base + "." + kFolderStem + "XXXXXX";
  if (!mkdtemp(hidden.data())) {
    why = base + "." + kFolderStem + "XXXXXX: " + std::strerror(errno);
    return false;
  }
  const int fd = ::open(hidden.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const std::string proven = fd >= 0 ? updateFolderName(fd) : "";
  folder = base + (proven.empty() ? hidden.substr(base.size() + 1) : proven);
  if (fd < 0 || flock(fd, LOCK_SH) != 0 ||
      renameat2(AT_FDCWD, hidden.c_str(), AT_FDCWD, folder.c_str(), RENAME_NOREPLACE) != 0) {
    why = hidden + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::rmdir(hidden.c_str());
    return false;
  }
  releaseHeld();
  gHeld = fd;
  return true;
}

}  // namespace

std::string updateFolderName(int fd) {
  struct statx st;
  if (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0 ||
      !(st.stx_mask & STATX_BTIME) || !S_ISDIR(st.stx_mode))
    return {};
  char name[96];
  snprintf(name, sizeof name, "%s%llx.%llx.%x", kFolderStem, static_cast<unsigned long long>(st.stx_ino),
           static_cast<unsigned long long>(st.stx_btime.tv_sec), st.stx_btime.tv_nsec);
  return name;
}

void removeStaleUpdateFolders() {
  const std::string base = tempFolder();
  DIR* listing = opendir(base.c_str());
  if (!listing) return;
  struct sCandidate {
    std::string name, path;
    int fd;
  };
  std::vector<sCandidate> stale;
  while (const dirent* e = readdir(listing)) {
    if (std::strncmp(e->d_name, kFolderStem, sizeof kFolderStem - 1) != 0) continue;
    // Never through a link, never another user's, never one whose owner
    // still holds it. The exclusive lock is kept until the folder is gone,
    // so no installer can take it meanwhile.
    const int fd = openat(dirfd(listing), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    const std::string path = fstat(fd, &st) == 0 ? descriptorPath(fd) : "";
    // Only a folder whose identity its name records is one this system
    // made: the user's own, a copy of ours or one in the place of ours gone
    // since bears another.
    if (!path.empty() && st.st_uid == geteuid() && e->d_name == updateFolderName(fd) &&
        flock(fd, LOCK_EX | LOCK_NB) == 0)
      stale.push_back({e->d_name, path, fd});
    else
      ::close(fd);
  }
  closedir(listing);
  std::vector<std::string> paths;
  for (const sCandidate& c : stale) paths.push_back(c.path);
  // A folder may be used without a lock: a shell's working folder, a file
  // someone opened inside.
  const std::vector<bool> used = foldersInUse(paths);
  for (size_t i = 0; i < stale.size(); ++i) {
    const std::string at = base + "/" + stale[i].name;
    // Still the folder that was checked: the name may have been given to
    // another since.
    const int again = ::open(at.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool same = again >= 0 && updateFolderName(again) == stale[i].name;
    if (again >= 0) ::close(again);
    std::error_code ignored;
    if (!used[i] && same) std::filesystem::remove_all(at, ignored);
    ::close(stale[i].fd);
  }
}

bool unpackUpdate(const char* zip, _guardchar<char>& installer, eUpdateCheckFault* why, std::string* cause) {
  eUpdateCheckFault unasked;
  eUpdateCheckFault& fault = why ? *why : unasked;
  fault = ufUnpack;
  if (!zip || !*zip) return false;
  removeStaleUpdateFolders();
  std::string folder, notMade;
  if (!makeHeldFolder(folder, notMade)) {
    fault = ufNoFolder;
    if (cause) *cause = notMade;
    return false;
  }
  fault = runUnzip(zip, folder.c_str(), gHeld);
  if (fault == ufNone) {
    fault = ufNoInstaller;
    cFolderContents listing;
    listing.init(folder.c_str(), true);
    for (int i = 0; i < listing.count(); ++i) {
      sFolderItemInfo* e = listing.info(i);
      if (!e || e->type != fotFolder || !e->name.ptr || !endsWithApp(e->name.ptr)) continue;
      installer.set((folder + "/" + e->name.ptr).c_str());
      fault = ufNone;
      return true;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  releaseHeld();
  return false;
}

bool startUpdateInstaller(const char* installer, eUpdateCheckFault* why) {
  std::string program;
  const char* slash = installer ? std::strrchr(installer, '/') : nullptr;
  const std::string folder = slash ? std::string(installer, slash) : std::string();
  const bool started = !folder.empty() && bundleExecutable(installer, program) &&
                       cFolderContents::objtype(program.c_str()) == fotFile &&
                       just_run_removing(program.c_str(), folder.c_str());
  releaseHeld();
  if (started) return true;
  if (why) *why = ufNotStarted;
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  return false;
}
