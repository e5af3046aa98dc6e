#include "tamsivarapp/checkupdates.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/stringkey.h"
#include "ciom/application.h"
#include "ciom/liblang.h"
#include "nethttp/httprequest.h"
#include "nethttp/httptransport.h"
#include "netio/tcpclient.h"
#include "tamsivarapp/modes.h"
#include "tamsivarapp/updateform.h"
#include "tamsivarapp/ver.h"
#include "tamsivarapp/winlessmsg.h"

const char* const _check_updates_url = "http://updates.quorvent.com/autocheck.php?softwareid=";

namespace {

constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;

// One version field as "%d" reads it: blanks, a sign, digits. Values past
// 65535 stop counting early so that no digit string can overflow.
bool scanField(const unsigned char*& p, const unsigned char* end, long long& value) {
  while (p < end && (*p == ' ' || (*p >= 9 && *p <= 13))) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end || *p < '0' || *p > '9') return false;
  value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p)
    if (value <= 65535) value = value * 10 + (*p - '0');
  if (negative) value = -value;
  return true;
}

bool parseVersionLine(const unsigned char* p, const unsigned char* end, unsigned long long& version) {
  long long fields[4] = {0, 0, 0, 0};
  int read = 0;
  while (read < 4 && scanField(p, end, fields[read])) {
    ++read;
    if (read == 4 || p == end || *p != '.') break;
    ++p;
  }
  if (read < 2) return false;
  version = 0;
  for (long long f : fields) {
    if (f < 0 || f > 65535) return false;
    version = (version << 16) | static_cast<unsigned long long>(f);
  }
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
  if (RC() != 200 || contentLength() < 1 || contentLength() > kUpdateReplyMax) return false;
  body.close();
  return true;
}

bool cPlainDataReader::onData(const unsigned char* data, long long length, unsigned long long) {
  if (length <= 0) return true;
  // The head promised at most 64 KiB; a peer sending more is not believed.
  if (body.size() + static_cast<unsigned long long>(length) > kUpdateReplyMax) return false;
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
                      _guardchar<char>& downloadUrl, _guardchar<char>& webSite, _guardchar<char>& notes) {
  if (!body || size == 0) return false;
  const unsigned char* end = body + size;
  const void* cr = std::memchr(body, kCR, static_cast<size_t>(size));
  if (!cr || cr == body) return false;
  unsigned long long version = 0;
  if (!parseVersionLine(body, static_cast<const unsigned char*>(cr), version)) return false;
  newest = version;
  const unsigned char* p = skipLineEnds(static_cast<const unsigned char*>(cr), end);
  if (p == end || !takeLine(p, end, downloadUrl)) return false;
  p = skipLineEnds(p, end);
  if (p == end || !takeLine(p, end, webSite)) return false;
  p = skipLineEnds(p, end);
  if (p != end) notes.set(reinterpret_cast<const char*>(p), end - p);
  return true;
}

bool resolveUpdateServer(unsigned char (&address)[4]) {
  // Any id gives the same host.
  _guardchar<char> url;
  updateCheckUrl("", url);
  cHttpRequest request(cHttpRequest::GET, url.ptr, 1);
  return initSockLib() && request.host() && strToIPv4(request.host(), address);
}

bool checkVersion(const char* id, unsigned long long& newest, _guardchar<char>& downloadUrl,
                  _guardchar<char>& webSite, _guardchar<char>& notes, const std::atomic<bool>* stop,
                  const unsigned char (*address)[4]) {
  if (!id || !*id || !initSockLib()) return false;
  _guardchar<char> url;
  updateCheckUrl(id, url);
  cHttpRequest request(cHttpRequest::GET, url.ptr, 1);
  cPlainDataReader reader;
  cHttpTransport transport;
  transport.setStopFlag(stop);
  if (address) transport.setAddress(*address);
  if (!transport.processRequest(request, reader)) return false;
  _typebuf<unsigned char> bytes;
  if (!reader.body.toBuffer(bytes) || bytes.count <= 0) return false;
  return parseUpdateReply(bytes.ptr, static_cast<unsigned long long>(bytes.count), newest, downloadUrl,
                          webSite, notes);
}

int check_updates(const char* packageId, bool quiet) {
  enum { rowInvalidId = 0, rowNoInfo = 1, rowNotRequired = 2 };
  _guardchar<char> id(packageId ? packageId : "");
  cCiomLangData* section = cLibLang::gCiomLang.sections.find(cStringKey("pkgm::updr", -1));
  cCIApplication* app = cCIApplication::appRef();
  // Quiet runs start without a display; they open one only for an update.
  auto canShow = [app] { return app && app->openWindowMaker(); };
  auto say = [&](int row, bool error) {
    if (quiet || !section || !canShow()) return;
    if (error)
      cWLMsgForm::error(section->string(row));
    else
      cWLMsgForm::info(section->string(row));
  };
  cApplicationConfig* config = app ? app->config() : nullptr;
  unsigned long long installed = 0;
  const std::string record = std::string("install/") + id.ptr;
  if (!*id.ptr || std::strchr(id.ptr, '/') || !config ||
      !config->getParamInt((record + "/ver").c_str(), installed)) {
    say(rowInvalidId, true);
    return 1;
  }
  cSoftUpdateInfoForm::sUpdateInfoCtx info;
  config->getParamStr((record + "/name").c_str(), info.name);
  unsigned long long newest = kNoVersion;
  if (!checkVersion(id.ptr, newest, info.downloadUrl, info.webSite, info.notes)) {
    say(rowNoInfo, true);
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
