// Asking the update server whether a package has a newer version, and update
// mode, which asks it for one installed package.
#pragma once

#include <atomic>

#include "base/guardchar.h"
#include "base/memio.h"
#include "nethttp/httpresponse.h"

// The maker's update server; ZVK_UPDATE_URL in the environment replaces it
// (mirrors, tests). The package id and "&os=linux" follow it.
extern const char* const _check_updates_url;

// A whole reply body, 64 KiB at most, is all update check ever reads.
inline constexpr unsigned long long kUpdateReplyMax = 65536;

// Collects a reply body of an acceptable size in memory.
class cPlainDataReader : public cHttpResponse {
 public:
  cMemIOTarget body{0x10000};
  bool onData(const unsigned char* data, long long length, unsigned long long offset) override;
  bool onHeaderDone() override;
};

// The request address for `id`: the prefix, the id percent-encoded (plain ids
// stay as they are, so an id can never add to or cut the query), "&os=linux".
void updateCheckUrl(const char* id, _guardchar<char>& url);

// Reads a reply: the version line, the download address, the web site, then
// the release notes, lines ended by CR. `newest` is written as soon as the
// first line is valid, the texts as their lines are found; true once the
// three lines were read.
bool parseUpdateReply(const unsigned char* body, unsigned long long size, unsigned long long& newest,
                      _guardchar<char>& downloadUrl, _guardchar<char>& webSite, _guardchar<char>& notes);

// The update server's IPv4 address, looked up once for a run of checks.
bool resolveUpdateServer(unsigned char (&address)[4]);

// Asks the server about `id`; blocks for the whole exchange, or until `stop`
// is raised (false then). With `address` the server's host is not looked up.
bool checkVersion(const char* id, unsigned long long& newest, _guardchar<char>& downloadUrl,
                  _guardchar<char>& webSite, _guardchar<char>& notes,
                  const std::atomic<bool>* stop = nullptr, const unsigned char (*address)[4] = nullptr);
