#include "nethttp/httprequest.h"

#include <cstring>

#include "base/memio.h"
#include "base/str.h"
#include "base/utils.h"
#include "nethttp/limits.h"

namespace {

const char kDefaultAgent[] = "ZVKNetHTTP (compatible; cross-platform)";
const char kPrefix[] = "http://";
constexpr long long kPrefixLength = 7;

bool isUrlChar(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr("!#$%&'()*+,-./:;=?@[]_~", c) != nullptr;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// A line break inside a header would let the text start a header, or a
// whole request, of its own.
bool breaksLine(const char* text) { return text && std::strpbrk(text, "\r\n") != nullptr; }

bool equalsNoCase(const char* a, const char* b) { return __stricmp(a, b) == 0; }

// Appends to a memory stream, whose writer takes 32-bit counts and a
// mutable pointer.
bool put(cMemIOTarget& io, const void* data, unsigned long long length) {
  auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
  while (length > 0) {
    unsigned int piece = length > (1u << 30) ? 1u << 30 : static_cast<unsigned int>(length);
    if (!io.writef(p, piece)) return false;
    p += piece;
    length -= piece;
  }
  return true;
}
bool put(cMemIOTarget& io, const char* text) { return put(io, text, std::strlen(text)); }

}  // namespace

cHttpRequest::cHttpRequest(eRequestTypes type, const char* url, int http11_)
    : method(type), portNumber(80), http11(http11_ ? 1 : 0) {
  headers.depthLimit = 2048;
  if (url) parseURL(url);
}

cHttpRequest::~cHttpRequest() { destroy(); }

bool cHttpRequest::create(eRequestTypes type, const char* url, int http11_) {
  destroy();
  method = type;
  http11 = http11_ ? 1 : 0;
  return parseURL(url);
}

void cHttpRequest::destroy() {
  agent.set(nullptr);
  hostName.set(nullptr);
  authority.set(nullptr);
  path.set(nullptr);
  portNumber = 80;
  cFasterTreeList<cStringKey, _guardchar<char> > gone;
  headers.moveTo(gone);
  posts.destroy();
}

bool cHttpRequest::parseURL(const char* url) {
  if (!url) return false;
  long long length = 0;
  while (url[length] && length <= kHttpMaxUrlLength) ++length;
  if (length > kHttpMaxUrlLength || length < kPrefixLength || __stricmp(url, kPrefix, kPrefixLength) != 0)
    return false;
  for (long long i = kPrefixLength; i < length; ++i)
    if (!isUrlChar(static_cast<unsigned char>(url[i]))) return false;

  const char* start = url + kPrefixLength;
  const char* slash = std::strchr(start, '/');
  long long authorityLength = slash ? slash - start : length - kPrefixLength;
  const char* colon = static_cast<const char*>(std::memchr(start, ':', static_cast<size_t>(authorityLength)));
  long long hostLength = colon ? colon - start : authorityLength;
  int number = 80;
  if (colon) {
    const char* digits = colon + 1;
    long long count = start + authorityLength - digits;
    if (count == 0) return false;
    long long value = 0;
    for (long long i = 0; i < count; ++i) {
      if (digits[i] < '0' || digits[i] > '9') return false;
      value = value * 10 + (digits[i] - '0');
      if (value > 65535) return false;
    }
    if (value == 0) return false;
    number = static_cast<int>(value);
  }
  // Without a host there is nothing to connect to.
  if (hostLength == 0) return false;

  hostName.set(start, hostLength);
  authority.set(start, authorityLength);
  path.set(slash ? slash : "/");
  portNumber = number;
  return true;
}

bool cHttpRequest::setHeader(const char* name, const char* value) {
  if (!name || !*name || breaksLine(name) || std::strchr(name, ':') || breaksLine(value)) return false;
  if (equalsNoCase(name, "User-Agent")) {
    agent.set(value);
    return true;
  }
  if (equalsNoCase(name, "Content-Length") || equalsNoCase(name, "Content-Type") ||
      equalsNoCase(name, "Host"))
    return false;
  cStringKey key(name, -1);
  if (!value) {
    headers.dettach(key);
    return true;
  }
  _guardchar<char>* stored = headers.insert(key);
  if (!stored) return false;
  stored->set(value);
  return true;
}

bool cHttpRequest::addPost(const char* name, const void* data, int length, const char* contentType,
                           const char* fileName) {
  if (!name || !*name || !data || length <= 0) return false;
  // The name sits between quotes in the part's own header.
  if (breaksLine(name) || std::strchr(name, '"') || breaksLine(contentType) || breaksLine(fileName))
    return false;
  sPostDataElement& element = posts.add()->value;
  element.name.set(name);
  element.contentType.set(contentType);
  element.fileName.set(fileName);
  element.data.set(length);
  std::memcpy(element.data.ptr, data, static_cast<size_t>(length));
  return true;
}

void cHttpRequest::urlEncode(const char* text, long long length, _guardchar<char>& out) {
  out.set("");
  if (!text || length == 0) return;
  long long count = 0;
  long long size = 1;
  for (; (length < 0 || count < length) && text[count]; ++count)
    size += isUnreserved(static_cast<unsigned char>(text[count])) ? 1 : 3;
  if (count == 0) return;
  static const char kHex[] = "0123456789ABCDEF";
  out.set(size);
  char* w = out.ptr;
  for (long long i = 0; i < count; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (isUnreserved(c)) {
      *w++ = static_cast<char>(c);
    } else {
      *w++ = '%';
      *w++ = kHex[c >> 4];
      *w++ = kHex[c & 15];
    }
  }
  *w = 0;
}

bool cHttpRequest::toTransport(_typebuf<unsigned char>& out) {
  if (!hostName.ptr || !path.ptr || (method != GET && method != POST) || (http11 != 0 && http11 != 1))
    return false;
  cMemIOTarget head(65536);
  bool ok = put(head, method == GET ? "GET " : "POST ") && put(head, path.ptr) &&
            put(head, http11 ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n") && put(head, "Host: ") &&
            put(head, authority.ptr) && put(head, "\r\nUser-Agent: ") &&
            put(head, agent.ptr ? agent.ptr : kDefaultAgent) && put(head, "\r\n");
  _typebuf<char> name;
  for (auto* item = headers.find_ge(cStringKey()); ok && item; item = headers.next(item)) {
    item->key.utf8(name);
    ok = put(head, name.ptr, strnlen(name.ptr, static_cast<size_t>(name.count))) && put(head, ": ") &&
         put(head, item->value.ptr) && put(head, "\r\n");
  }
  if (ok && (method == GET || !posts.head)) return put(head, "\r\n") && head.toBuffer(out);

  // The boundary only has to be absent from the data; the time in
  // microseconds makes a clash unlikely without scanning the data.
  char boundary[64];
  _sprintf_s(boundary, sizeof(boundary), "----zvknethttp%llx----", ticks_us());
  cMemIOTarget body(65536);
  for (auto* item = posts.head; ok && item; item = item->next) {
    const sPostDataElement& e = item->value;
    ok = put(body, "--") && put(body, boundary) && put(body, "\r\nContent-Disposition: form-data; name=\"") &&
         put(body, e.name.ptr) && put(body, "\"");
    if (ok && e.fileName.ptr && *e.fileName.ptr) ok = put(body, "; ") && put(body, e.fileName.ptr);
    ok = ok && put(body, "\r\n");
    if (ok && e.contentType.ptr && *e.contentType.ptr)
      ok = put(body, "Content-Type: ") && put(body, e.contentType.ptr) && put(body, "\r\n");
    ok = ok && put(body, "\r\n") && put(body, e.data.ptr, static_cast<unsigned long long>(e.data.count)) &&
         put(body, "\r\n");
  }
  ok = ok && put(body, "--") && put(body, boundary) && put(body, "--\r\n\r\n");
  _typebuf<unsigned char> bodyBytes;
  char length[48];
  _sprintf_s(length, sizeof(length), "Content-Length: %llu\r\n\r\n", body.size());
  return ok && put(head, "Content-Type: multipart/form-data; boundary=") && put(head, boundary) &&
         put(head, "\r\n") && put(head, length) && body.toBuffer(bodyBytes) &&
         put(head, bodyBytes.ptr, static_cast<unsigned long long>(bodyBytes.count)) && head.toBuffer(out);
}
