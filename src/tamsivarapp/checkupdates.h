// Asking the update server whether a package has a newer version, and update
// mode, which asks it for one installed package.
#pragma once

#include <atomic>
#include <string>

#include "base/guardchar.h"
#include "base/memio.h"
#include "nethttp/httpresponse.h"
#include "nethttp/httptransport.h"

// The maker's update server; ZVK_UPDATE_URL in the environment replaces it
// (mirrors, tests). The package id and "&os=linux" follow it.
extern const char* const _check_updates_url;

// A whole reply body, 64 KiB at most, is all update check ever reads.
inline constexpr unsigned long long kUpdateReplyMax = 65536;
// One check, connecting and reading together, ends within this: a server
// that drips its reply byte by byte meets each read's time-out but not this.
inline constexpr int kUpdateCheckDeadlineMs = 30000;

// Why a check got no answer, or a download, its unpacking or its start
// failed. Each value is the row of "pkgm::updr" that tells the user.
enum eUpdateCheckFault {
  ufNone = 0,
  ufUnreachable = 3,  // no server took the connection
  ufTimedOut,         // no whole reply within the check's time
  ufStatus,           // a status other than 200
  ufLength,           // no Content-Length, or one outside 1 to 64 KiB
  ufCut,              // the reply broke off, or was no HTTP reply
  ufNoCR,             // no line ended by CR
  ufVersion,          // the first line is no version
  ufShort,            // the reply ends before the web site's line
  ufNoLength,         // a download without a length: a whole file cannot be told from a cut one
  ufNoUnzip,          // unzip could not be run
  ufUnpack,           // unzip refused the archive, or left part of it
  ufNoInstaller,      // no installer bundle at the archive's top
  ufNotStarted,       // the unpacked installer's program did not start
  ufNoFolder          // no folder of its own to unpack into could be made
};

// Collects a reply body of an acceptable size in memory.
class cPlainDataReader : public cHttpResponse {
 public:
  cMemIOTarget body{0x10000};
  // Set when the reader itself refused the reply.
  eUpdateCheckFault fault = ufNone;
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override;
  bool onHeaderDone() override;
};

// What one check may use, and what it found wrong.
struct sUpdateCheck {
  const std::atomic<bool>* stop = nullptr;  // ends the check when raised
  const unsigned char (*address)[4] = nullptr;  // the server's host, already looked up
  int deadlineMs = kUpdateCheckDeadlineMs;
  // Set when the check answers false.
  eUpdateCheckFault fault = ufNone;
  unsigned int status = 0;  // the server's status, once its reply's head came
};

// The request address for `id`: the prefix, the id percent-encoded (plain ids
// stay as they are, so an id can never add to or cut the query), "&os=linux".
void updateCheckUrl(const char* id, _guardchar<char>& url);

// Reads a reply: the version line, the download address, the web site, then
// the release notes, lines ended by CR. `newest` is written as soon as the
// first line is valid, the texts as their lines are found; true once the
// three lines were read. On false, `fault` (when given) says what was wrong.
bool parseUpdateReply(const unsigned char* body, unsigned long long size, unsigned long long& newest,
                      _guardchar<char>& downloadUrl, _guardchar<char>& webSite, _guardchar<char>& notes,
                      eUpdateCheckFault* fault = nullptr);

// The release notes as a reader sees them: each line end the reply gives
// (CR, CR LF or LF) becomes one line break.
std::string notesForDisplay(const char* notes);

// The update server's IPv4 address, looked up once for a run of checks, at
// most for one check's deadline, or until `stop` is raised (false then).
bool resolveUpdateServer(unsigned char (&address)[4], const std::atomic<bool>* stop = nullptr,
                         int deadlineMs = kUpdateCheckDeadlineMs);

// Asks the server about `id`; blocks for the whole exchange, at most for the
// check's deadline, or until its stop flag is raised (false then). With an
// address the server's host is not looked up.
bool checkVersion(const char* id, unsigned long long& newest, _guardchar<char>& downloadUrl,
                  _guardchar<char>& webSite, _guardchar<char>& notes, sUpdateCheck* check = nullptr);

// What stopped an exchange the transport gave up on: the reader's own
// refusal when it made one, else the connection's.
eUpdateCheckFault exchangeFault(cHttpTransport& transport, eUpdateCheckFault readerFault, bool pastDeadline);

// The line that follows "Unable to get update infomation…", or a failed
// download's words: the address asked and, in the current language, what
// went wrong (with the server's status where that is the cause).
std::string updateFaultLine(const char* url, eUpdateCheckFault fault, unsigned int status);
inline std::string updateFaultLine(const char* url, const sUpdateCheck& check) {
  return updateFaultLine(url, check.fault, check.status);
}
