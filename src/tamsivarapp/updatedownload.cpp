#include "tamsivarapp/updatedownload.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/conproc.h"
#include "base/folder.h"
#include "base/plist.h"
#include "nethttp/httprequest.h"
#include "nethttp/httptransport.h"

extern char** environ;

int cUpdateDownloader::job() {
  cHttpRequest request(cHttpRequest::GET, nullptr, 1);
  if (!request.create(cHttpRequest::GET, myUrl.ptr, 1) || !initSockLib()) return drNoRequest;
  myWritten = 0;
  myResult = drBroken;
  cHttpTransport transport;
  // Cancel ends a stalled transfer at once, not after the time-outs.
  transport.setStopFlag(stopFlag());
  transport.processRequest(request, *this);
  if (haveToStop()) return drCancelled;
  // No announced length means no way to tell a whole file from a cut one.
  if (contentLength() != 0 && contentLength() != ~0ull && myWritten >= contentLength()) return drDone;
  return myResult;
}

bool cUpdateDownloader::onHeaderDone() {
  if (RC() == 200) return true;
  myResult = drRefused;
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
// from the server's address and may hold anything.
bool runUnzip(const char* zip, const char* folder) {
  const char* argv[] = {"unzip", "-oq", zip, "-d", folder, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, "unzip", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) == -1)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool endsWithApp(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot && !strcasecmp(dot, ".app");
}

}  // namespace

bool unpackUpdate(const char* zip, _guardchar<char>& installer) {
  if (!zip || !*zip) return false;
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zvksopkg-XXXXXX";
  if (!mkdtemp(folder.data())) return false;
  if (runUnzip(zip, folder.c_str())) {
    cFolderContents listing;
    listing.init(folder.c_str(), true);
    for (int i = 0; i < listing.count(); ++i) {
      sFolderItemInfo* e = listing.info(i);
      if (!e || e->type != fotFolder || !e->name.ptr || !endsWithApp(e->name.ptr)) continue;
      installer.set((folder + "/" + e->name.ptr).c_str());
      return true;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return false;
}

bool startUpdateInstaller(const char* installer) {
  std::string program;
  const char* slash = installer ? std::strrchr(installer, '/') : nullptr;
  const std::string folder = slash ? std::string(installer, slash) : std::string();
  if (!folder.empty() && bundleExecutable(installer, program) &&
      cFolderContents::objtype(program.c_str()) == fotFile &&
      just_run_removing(program.c_str(), folder.c_str()))
    return true;
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  return false;
}
