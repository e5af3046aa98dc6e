// Reads and writes the configuration the program keeps under $HOME, for
// scripts that check or prepare what an installation leaves behind:
//   zvkcfg get KEY            the value, as text or as a number
//   zvkcfg set KEY TYPE VALUE TYPE one of int16, int32, int64, str
//   zvkcfg dump               every key with its value, one per line
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/folder.h"
#include "ciom/ciappconfig.h"

namespace {

constexpr const char* kConfigName = "zvk";

// Numbers are stored as their little-endian bytes and texts as their bytes:
// a value reads as text when every byte could be part of one.
std::string show(const _typebuf<unsigned char>& v) {
  bool text = v.count > 0;
  for (long long i = 0; i < v.count && text; ++i) text = v.ptr[i] >= 0x20 || v.ptr[i] == '\t';
  if (text || v.count > 8) return std::string(reinterpret_cast<const char*>(v.ptr), static_cast<size_t>(v.count));
  unsigned long long n = 0;
  for (long long i = v.count - 1; i >= 0; --i) n = n << 8 | v.ptr[i];
  return std::to_string(n);
}

struct sWalk {
  cApplicationConfig* config;
  std::string prefix;
};

bool dumpChild(const char* name, void* user) {
  auto* walk = static_cast<sWalk*>(user);
  std::string key = walk->prefix + "/" + name;
  _typebuf<unsigned char> value;
  if (walk->config->getParam(key.c_str(), value) && value.count)
    std::printf("%s\t%s\n", key.c_str(), show(value).c_str());
  sWalk deeper{walk->config, key};
  walk->config->enumSubsections(key.c_str(), dumpChild, &deeper);
  return true;
}

int usage() {
  std::fprintf(stderr, "usage: zvkcfg get KEY | set KEY int16|int32|int64|str VALUE | dump\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  cCIAppFullConfig config;
  if (!config.openConfig(kConfigName) && !(config.newConfig(kConfigName), config.openConfig(kConfigName))) {
    std::fprintf(stderr, "zvkcfg: the configuration cannot be opened\n");
    return 1;
  }
  std::string verb = argv[1];
  if (verb == "dump" && argc == 2) {
    // Each hive is a file of the configuration's folder.
    _guardchar<char> folder;
    cFolderContents hives;
    if (!cFolderContents::getConfigFolder(folder, kConfigName) || !hives.init(folder.ptr, true)) return 1;
    for (int i = 0; i < hives.count(); ++i) {
      sFolderItemInfo* hive = hives.info(i);
      if (hive->type != fotFile || hive->name.ptr[0] == '.') continue;
      sWalk top{&config, hive->name.ptr};
      config.enumSubsections(hive->name.ptr, dumpChild, &top);
    }
    return 0;
  }
  if (verb == "get" && argc == 3) {
    _typebuf<unsigned char> value;
    if (!config.getParam(argv[2], value)) return 1;
    std::printf("%s\n", show(value).c_str());
    return 0;
  }
  if (verb == "set" && argc == 5) {
    std::string type = argv[3];
    const char* text = argv[4];
    long long n = std::strtoll(text, nullptr, 0);
    bool ok = type == "int16"   ? config.setParamInt16(argv[2], static_cast<int>(n))
              : type == "int32" ? config.setParamInt32(argv[2], static_cast<int>(n))
              : type == "int64" ? config.setParamInt64(argv[2], n)
              : type == "str"   ? config.setParamStr(argv[2], text, -1)
                                : false;
    if (!ok || !config.saveConfig()) {
      std::fprintf(stderr, "zvkcfg: %s was not stored\n", argv[2]);
      return 1;
    }
    return 0;
  }
  return usage();
}
