#include "tamsivarapp/ver.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "base/conproc.h"
#include "base/folder.h"
#include "base/str.h"
#include "base/utils.h"

namespace {

constexpr const char kOwnVersion[] = "1.0.3";

}  // namespace

unsigned long long getCurrVerID() {
  int f[4] = {0, 0, 0, 0};
  std::sscanf(kOwnVersion, "%d.%d.%d.%d", &f[0], &f[1], &f[2], &f[3]);
  auto field = [](int v) { return static_cast<unsigned long long>(static_cast<unsigned short>(v)); };
  return field(f[3]) | (field(f[2]) << 16) | (field(f[1]) << 32) | (field(f[0]) << 48);
}

int printverinfo() {
  unsigned long long v = getCurrVerID();
  if (v == kNoVersion) return 1;
  std::printf("%016llX\n", v);
  return 0;
}

unsigned long long getVerID(const char* path, int timeoutMs) {
  if (cFolderContents::objtype(path) != fotFile) return kNoVersion;
  // The child is started without a shell: a quote inside the path could not
  // be told from the end of the quoted word, and a path without "/" would
  // be looked up through PATH rather than taken as the file it names.
  if (std::strchr(path, '"')) return kNoVersion;
  std::string line = "\"";
  if (!std::strchr(path, '/')) line += "./";
  line += path;
  line += "\" version";

  cConProcess child;
  if (!child.startProcess(line.c_str())) return kNoVersion;
  std::string out;
  _typebuf<unsigned char> chunk;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ended = false;
  for (;;) {
    bool gotSome = false;
    while (child.readOutput(chunk)) {
      if (out.size() < 4096) out.append(reinterpret_cast<char*>(chunk.ptr), chunk.count);
      gotSome = true;
    }
    if (ended) break;
    if (!child.isValid()) {
      ended = true;  // one more pass picks up what it wrote last
      continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      child.terminate();
      return kNoVersion;
    }
    if (!gotSome) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  // The child announces itself with "CMD>" before the program runs.
  if (out.compare(0, 4, "CMD>") == 0) out.erase(0, 4);
  size_t eol = out.find('\n');
  if (eol != std::string::npos) out.resize(eol);
  if (out.size() > 99) out.resize(99);
  if (out.size() < 16) return kNoVersion;
  unsigned long long v = 0;
  for (int i = 0; i < 8; ++i) {
    int b = getHexb(out.c_str() + 2 * i);
    if (b < 0) return kNoVersion;
    v = (v << 8) | static_cast<unsigned>(b);
  }
  return v;
}

void strVer(unsigned long long version, _guardchar<char>& text) {
  int major = static_cast<int>((version >> 48) & 0xFFFF);
  int minor = static_cast<int>((version >> 32) & 0xFFFF);
  int third = static_cast<int>((version >> 16) & 0xFFFF);
  int fourth = static_cast<int>(version & 0xFFFF);
  char buf[100];
  if (fourth)
    _sprintf_s(buf, sizeof buf, "%d.%d.%d.%d", major, minor, third, fourth);
  else if (third)
    _sprintf_s(buf, sizeof buf, "%d.%d.%d", major, minor, third);
  else
    _sprintf_s(buf, sizeof buf, "%d.%d", major, minor);
  text.set(buf);
}
