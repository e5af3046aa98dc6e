// Property lists of any content: a value read must be one the reader can
// find again once it is written back with its entities.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/plist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string value;
  const char* xml = reinterpret_cast<const char*>(data);
  if (!plistString(xml, size, "CFBundleExecutable", value)) return 0;
  std::string again = "<key>CFBundleExecutable</key><string>";
  for (char c : value) again += c == '&' ? std::string("&amp;") : c == '<' ? std::string("&lt;") : std::string(1, c);
  again += "</string>";
  std::string reread;
  if (!plistString(again.data(), again.size(), "CFBundleExecutable", reread) || reread != value) std::abort();
  return 0;
}
