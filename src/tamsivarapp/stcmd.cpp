#include "tamsivarapp/stcmd.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/folder.h"
#include "tamsivarapp/instmaker_mac.h"
#include "tamsivarapp/ver.h"

// Writable data, so that a copy of the file carries it at a fixed place that
// an outside tool can find and patch; "used" and "retain" keep the linker
// from dropping a block nothing in the program reads by name.
__attribute__((used, retain)) unsigned char _cmdBlock[kCmdBlockSize] = "<ICMDBLOCK>";

namespace {

constexpr const char kBlockHead[] = "<ICMDBLOCK>";
constexpr unsigned int kHeadSize = sizeof kBlockHead - 1;
constexpr unsigned int kRecordsAt = 268;
constexpr unsigned int kRecordSpace = kCmdBlockSize - kRecordsAt;
// Whole executables are read into memory to look for the block; nothing
// this program writes comes near this.
constexpr unsigned long long kMaxScanned = 1ULL << 30;

unsigned int le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned int>(p[3]) << 24);
}

bool cutAtLastSlash(std::string& path) {
  size_t at = path.rfind('/');
  if (at == std::string::npos) return false;
  path.resize(at);
  return true;
}

bool copyRange(cFileIO& src, cFileIOTarget* target, unsigned long long count,
               std::vector<unsigned char>& buf) {
  while (count > 0) {
    unsigned int n = static_cast<unsigned int>(std::min<unsigned long long>(count, buf.size()));
    if (!src.readf(buf.data(), n) || !target->writef(buf.data(), n)) return false;
    count -= n;
  }
  return true;
}

bool copyFileTo(const std::string& from, const std::string& to) {
  cFileIO in;
  cFileIO out;
  if (!in.open(from.c_str(), fmRead) || !out.create(to.c_str(), fmWrite)) return false;
  unsigned char buf[4096];
  for (;;) {
    unsigned int n = in.read(buf, sizeof buf);
    if (n == 0) return true;
    if (n == 0xFFFFFFFFu || !out.writef(buf, n)) return false;
  }
}

bool writePristine(cFileIOTarget* target) {
  unsigned char block[kCmdBlockSize] = {};
  std::memcpy(block, kBlockHead, kHeadSize);
  return target->writef(block, kCmdBlockSize);
}

// Lays the block's records over the source while copying it.
bool copyPatched(cFileIO& src, cFileIOTarget* target) {
  std::vector<unsigned char> buf(65536);
  const unsigned int blockAt = le32(_cmdBlock + 260);
  const unsigned int wanted = le32(_cmdBlock + 264);
  if (wanted > src.size()) return false;
  unsigned long long p = 0;
  unsigned int cursor = kRecordsAt;
  unsigned int space = kRecordSpace;
  for (;;) {
    if (!src.set_fp(p)) return false;
    if (space < 6) return false;
    const unsigned int at = le32(_cmdBlock + cursor);
    const unsigned int length = _cmdBlock[cursor + 4] | (_cmdBlock[cursor + 5] << 8);
    if (at != 0xFFFFFFFFu && 6ULL + length > space) return false;
    if (at == 0xFFFFFFFFu) return p >= wanted || copyRange(src, target, wanted - p, buf);
    if (at < p) return false;
    if (at > p) {
      if (!copyRange(src, target, at - p, buf)) return false;
      p = at;
    }
    if (at == blockAt) {
      if (length != 0 || !writePristine(target)) return false;
      p += kCmdBlockSize;
    } else {
      if (!target->writef(_cmdBlock + cursor + 6, length)) return false;
      p += length;
    }
    cursor += 6 + length;
    space -= 6 + length;
  }
}

}  // namespace

bool getSTInstallSrc(const char* program, _guardchar<char>& scenarioPath, unsigned& offset) {
  if (!program) return false;
  std::string contents = program;
  if (!cutAtLastSlash(contents) || !cutAtLastSlash(contents)) return false;
  const std::string data = contents + "/Resources/scenario.data";
  if (cFolderContents::objtype(data.c_str()) != fotFile) return false;
  scenarioPath.set(data.c_str());
  offset = 0;
  return true;
}

bool isPureICmd() {
  if (std::memcmp(_cmdBlock, kBlockHead, kHeadSize) != 0) return false;
  for (unsigned int i = kHeadSize; i < kCmdBlockSize; ++i)
    if (_cmdBlock[i]) return false;
  return true;
}

int findICmd(cFileIOTarget* file) {
  if (!file || !isPureICmd()) return -1;
  const unsigned long long size = file->size();
  if (size < kCmdBlockSize || size > kMaxScanned) return -1;
  std::vector<unsigned char> bytes(size);
  if (!file->set_fp(0)) return -1;
  for (unsigned long long done = 0; done < size;) {
    unsigned int n = static_cast<unsigned int>(std::min<unsigned long long>(size - done, 1u << 20));
    if (!file->readf(bytes.data() + done, n)) return -1;
    done += n;
  }
  // A block that ends exactly at the end of the file does not count.
  const unsigned long long last = size - kCmdBlockSize;
  for (unsigned long long i = 0; i < last; ++i) {
    const void* hit = std::memchr(bytes.data() + i, '<', last - i);
    if (!hit) break;
    i = static_cast<const unsigned char*>(hit) - bytes.data();
    if (std::memcmp(bytes.data() + i, _cmdBlock, kCmdBlockSize) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool saveTamsivar(const char* source, cFileIOTarget* target, const char* folder) {
  return saveTamsivarFrom(source, "/proc/self/exe", target, folder);
}

bool saveTamsivarFrom(const char* source, const char* exe, cFileIOTarget* target,
                      const char* folder) {
  if (!source || !target) return false;
  std::string c = folder ? folder : "";
  std::string own = source;
  if (cutAtLastSlash(c) && cutAtLastSlash(own) && cutAtLastSlash(own)) {
    const std::string resources = c + "/Resources";
    if (!cFolderContents::mkdir(resources.c_str())) return false;
    if (!copyFileTo(own + "/Resources/icon.icns", resources + "/icon.icns")) return false;
    cFileIO info;
    if (!info.create((c + "/PkgInfo").c_str(), fmWrite)) return false;
    info.write(const_cast<char*>("APPL????"), 8);
    const unsigned long long v = getCurrVerID();
    const std::string plist =
        bundlePlist("org.zvk.manager", "Tamsivar", "ZVK Software Manager", static_cast<int>(v >> 48),
                    static_cast<int>((v >> 32) & 0xFFFF), "Copyright the ZVK authors");
    if (!writeWholeFile((c + "/Info.plist").c_str(), plist)) return false;
  }

  cFileIO src;
  if (!src.open(exe, fmRead)) return false;
  if (_cmdBlock[0] == 1 || _cmdBlock[0] == 2) return copyPatched(src, target);
  if (_cmdBlock[0] != '<') return false;
  std::vector<unsigned char> buf(65536);
  return copyRange(src, target, src.size(), buf);
}
