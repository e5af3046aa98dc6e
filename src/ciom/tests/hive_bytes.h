// Small helpers shared by the hive tests: files as byte vectors, and a
// container tree built from and walked by keys.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ciom/ciappconfig.h"

using Bytes = std::vector<unsigned char>;

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A save whose whole tree is the writer's own: the file becomes the tree.
inline const cCIAppConfig::tChanges kWholeTree{{"", true}};

// The container below `root` that a "/"-separated path names, or null.
inline cCIAppConfig::sDataContainer* child(cCIAppConfig::sDataContainer& root, const std::string& path) {
  cCIAppConfig::sDataContainer* at = &root;
  size_t from = 0;
  while (at && from <= path.size()) {
    size_t slash = path.find('/', from);
    std::string name = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    at = at->children.find(cStringKey(name.c_str(), static_cast<long long>(name.size())));
    if (slash == std::string::npos) break;
    from = slash + 1;
  }
  return at;
}

inline std::string valueOf(cCIAppConfig::sDataContainer* c) {
  return c ? std::string(reinterpret_cast<const char*>(c->value.ptr), static_cast<size_t>(c->value.count))
           : "<none>";
}
