#include "tamsivarapp/checkupdates.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "nethttp/httprequest.h"
#include "nethttp/httptransport.h"
#include "netio/hostlookup.h"
#include "netio/tcpclient.h"
#include "tamsivar/scenario.h"
#include "tamsivarapp/formlook.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/updateform.h"
#include "tamsivarapp/ver.h"
#include "tamsivarapp/winlessmsg.h"

const char* const _check_updates_url = "http://updates.quorvent.com/autocheck.php?softwareid=";

namespace {

constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;

// The whole line must be the version, each number read as "%d" reads it: a
// server that answers "2.0beta" or "3.0.0.0.7" offers no version at all,
// and reading its start would install something else.
bool parseVersionLine(const unsigned char* p, const unsigned char* end, unsigned long long& version) {
  const std::string line(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
  unsigned int fields[4] = {0, 0, 0, 0};
  if (line.find('\0') != std::string::npos || !parseVersionText(line.c_str(), fields, true)) return false;
  version = 0;
  for (unsigned int f : fields) version = (version << 16) | f;
  return true;
}

const unsigned char* skipLineEnds(const unsigned char* p, const unsigned char* end) {
  while (p < end && (*p == kCR || *p == kLF)) ++p;
  return p;
}

// The text from `p` to the next CR into `out`; false when no CR follows.
bool takeLine(const unsigned char*& p, const unsigned char* end, _guardchar<char>& out) {
  const void* cr = std::memchr(p, kCR, static_cast<size_t>(end - p));
  if (!cr) return false;
  const auto* stop = static_cast<const unsigned char*>(cr);
  out.set(reinterpret_cast<const char*>(p), stop - p);
  p = stop;
  return true;
}

const char* updatePrefix() {
  const char* mirror = std::getenv("ZVK_UPDATE_URL");
  return mirror && *mirror ? mirror : _check_updates_url;
}

}  // namespace

bool cPlainDataReader::onHeaderDone() {
  if (RC() != 200) fault = ufStatus;
  else if (contentLength() < 1 || contentLength() > kUpdateReplyMax) fault = ufLength;
  if (fault != ufNone) return false;
  body.close();
  return true;
}

bool cPlainDataReader::onData(const unsigned char* data, long long length, unsigned long long) {
  if (length <= 0) return true;
  // The head promised at most 64 KiB; a peer sending more is not believed.
  if (body.size() + static_cast<unsigned long long>(length) > kUpdateReplyMax) {
    fault = ufLength;
    return false;
  }
  return body.write(const_cast<unsigned char*>(data), static_cast<unsigned int>(length)) ==
         static_cast<unsigned int>(length);
}

void updateCheckUrl(const char* id, _guardchar<char>& url) {
  _guardchar<char> encoded;
  cHttpRequest::urlEncode(id ? id : "", -1, encoded);
  std::string made = std::string(updatePrefix()) + (encoded.ptr ? encoded.ptr : "") + "&os=linux";
  url.set(made.c_str());
}

bool parseUpdateReply(const unsigned char* body, unsigned long long size, unsigned long long& newest,
                      _guardchar<char>& downloadUrl, _guardchar<char>& webSite, _guardchar<char>& notes,
                      eUpdateCheckFault* fault) {
  auto refuse = [fault](eUpdateCheckFault why) {
    if (fault) *fault = why;
    return false;
  };
  if (!body || size == 0) return refuse(ufCut);
  const unsigned char* end = body + size;
  const void* cr = std::memchr(body, kCR, static_cast<size_t>(size));
  if (!cr) return refuse(ufNoCR);
  unsigned long long version = 0;
  if (cr == body || !parseVersionLine(body, static_cast<const unsigned char*>(cr), version))
    return refuse(ufVersion);
  newest = version;
  const unsigned char* p = skipLineEnds(static_cast<const unsigned char*>(cr), end);
  if (p == end || !takeLine(p, end, downloadUrl)) return refuse(ufShort);
  p = skipLineEnds(p, end);
  if (p == end || !takeLine(p, end, webSite)) return refuse(ufShort);
  p = skipLineEnds(p, end);
  if (p != end) notes.set(reinterpret_cast<const char*>(p), end - p);
  return true;
}

std::string notesForDisplay(const char* notes) {
  std::string shown;
  for (const char* p = notes ? notes : ""; *p; ++p) {
    if (*p == kCR && p[1] == kLF) ++p;
    shown += *p == kCR ? '\n' : *p;
  }
  return shown;
}

bool resolveUpdateServer(unsigned char (&address)[4], const std::atomic<bool>* stop, int deadlineMs) {
  // Any id gives the same host.
  _guardchar<char> url;
  updateCheckUrl("", url);
  cHttpRequest request(cHttpRequest::GET, url.ptr, 1);
  return initSockLib() && request.host() &&
         strToIPv4(request.host(), address, deadlineMs, stop) == eHostLookup::found;
}

eUpdateCheckFault exchangeFault(cHttpTransport& transport, eUpdateCheckFault readerFault, bool pastDeadline) {
  if (readerFault != ufNone) return readerFault;
  if (pastDeadline) return ufTimedOut;
  const int error = transport.lastError();
  // A failed connect leaves the socket closed; a failed reply keeps it.
  if (!transport.valid()) return error == cTCPSocket::errTimedOutConnect ? ufTimedOut : ufUnreachable;
  return error == cTCPSocket::errRefusedOrTimedOut ? ufTimedOut : ufCut;
}

bool checkVersion(const char* id, unsigned long long& newest, _guardchar<char>& downloadUrl,
                  _guardchar<char>& webSite, _guardchar<char>& notes, sUpdateCheck* check) {
  sUpdateCheck defaults;
  sUpdateCheck& c = check ? *check : defaults;
  c.fault = ufNone;
  c.status = 0;
  if (!id || !*id || !initSockLib()) return false;
  _guardchar<char> url;
  updateCheckUrl(id, url);
  cHttpRequest request(cHttpRequest::GET, url.ptr, 1);
  cPlainDataReader reader;
  cHttpTransport transport;
  transport.setStopFlag(c.stop);
  if (c.address) transport.setAddress(*c.address);
  const auto started = std::chrono::steady_clock::now();
  transport.setDeadline(c.deadlineMs);
  const bool done = transport.processRequest(request, reader);
  c.status = reader.RC();
  if (!done) {
    c.fault = exchangeFault(transport, reader.fault,
                            std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(c.deadlineMs));
    return false;
  }
  c.fault = ufCut;
  _typebuf<unsigned char> bytes;
  if (!reader.body.toBuffer(bytes) || bytes.count <= 0) return false;
  if (!parseUpdateReply(bytes.ptr, static_cast<unsigned long long>(bytes.count), newest, downloadUrl, webSite,
                        notes, &c.fault))
    return false;
  c.fault = ufNone;
  return true;
}

std::string updateFaultLine(const char* url, eUpdateCheckFault fault, unsigned int status) {
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::updr", -1));
  const char* row = section && fault != ufNone ? section->string(fault) : nullptr;
  std::string cause = row ? row : "";
  if (fault == ufStatus) cause = formatRow(row, std::to_string(status).c_str());
  return std::string(url ? url : "") + ": " + cause;
}

int check_updates(const char* packageId, bool quiet) {
  enum { rowInvalidId = 0, rowNoInfo = 1, rowNotRequired = 2 };
  _guardchar<char> id(packageId ? packageId : "");
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::updr", -1));
  cCIApplication* app = cCIApplication::appRef();
  auto canShow = [app] { return app && app->windowMaker(); };
  auto say = [&](int row, bool error, const std::string& more = {}) {
    if (quiet || !section || !canShow()) return;
    const std::string text = std::string(section->string(row) ? section->string(row) : "") +
                             (more.empty() ? "" : "\n" + more);
    if (error)
      cWLMsgForm::error(text.c_str());
    else
      cWLMsgForm::info(text.c_str());
  };
  cApplicationConfig* config = app ? app->config() : nullptr;
  unsigned long long installed = 0;
  const std::string record = std::string("install/") + id.ptr;
  if (!isUsableCodename(id.ptr) || !config ||
      !config->getParamInt((record + "/ver").c_str(), installed)) {
    say(rowInvalidId, true);
    return 1;
  }
  cSoftUpdateInfoForm::sUpdateInfoCtx info;
  config->getParamStr((record + "/name").c_str(), info.name);
  unsigned long long newest = kNoVersion;
  sUpdateCheck check;
  if (!checkVersion(id.ptr, newest, info.downloadUrl, info.webSite, info.notes, &check)) {
    _guardchar<char> url;
    updateCheckUrl(id.ptr, url);
    say(rowNoInfo, true, updateFaultLine(url.ptr, check));
    return 1;
  }
  if (newest <= installed) {
    say(rowNotRequired, false);
    return 0;
  }
  strVer(newest, info.version);
  // Declining is the user's right and no failure; a download, an unpacking
  // or a start that failed is, even when the user then closes the form.
  if (!canShow()) return 1;
  return cSoftUpdateInfoForm::installUpdate(info, nullptr) == cSoftUpdateInfoForm::uoFailed ? 1 : 0;
}
