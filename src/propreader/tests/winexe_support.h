// Windows executables put together field by field: a DOS header, the PE
// headers, a section table and a resource section laid out from a list of
// resources, with version blocks built the way resource compilers write them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace winexetest {

using Bytes = std::vector<unsigned char>;

inline void put(Bytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

inline void pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

struct Resource {
  uint32_t type, name, language;
  Bytes data;
};

constexpr uint32_t kSectionRva = 0x3000;
constexpr uint32_t kSectionAt = 0x400;
constexpr size_t kSectionsAt = 64 + 24 + 240;

// The resource section; `namedRoot` puts a named entry before the root's id
// entries, as compilers do for resources named by text.
inline Bytes resourceSection(const std::vector<Resource>& resources, bool namedRoot = false) {
  std::map<uint32_t, std::map<uint32_t, std::vector<const Resource*>>> tree;
  for (const Resource& r : resources) tree[r.type][r.name].push_back(&r);
  Bytes s;
  auto directory = [&](size_t named, size_t ids) {
    size_t at = s.size();
    s.resize(at + 16 + 8 * (named + ids), 0);
    put(s, at + 12, static_cast<uint32_t>(named), 2);
    put(s, at + 14, static_cast<uint32_t>(ids), 2);
    return at;
  };
  std::vector<std::pair<size_t, const Resource*>> entries;
  size_t root = directory(namedRoot ? 1 : 0, tree.size()), first = root + 16;
  if (namedRoot) {
    put(s, first, 0x80000000u, 4);  // a name's offset, never read
    put(s, first + 4, 0x80000000u, 4);
    first += 8;
  }
  size_t t = 0;
  for (const auto& [type, names] : tree) {
    size_t namesAt = directory(0, names.size()), n = 0;
    put(s, first + 8 * t, type, 4);
    put(s, first + 8 * t++ + 4, static_cast<uint32_t>(namesAt) | 0x80000000u, 4);
    for (const auto& [name, langs] : names) {
      size_t langsAt = directory(0, langs.size());
      put(s, namesAt + 16 + 8 * n, name, 4);
      put(s, namesAt + 16 + 8 * n++ + 4, static_cast<uint32_t>(langsAt) | 0x80000000u, 4);
      for (size_t l = 0; l < langs.size(); ++l) {
        size_t entry = s.size();
        s.resize(entry + 16, 0);
        put(s, langsAt + 16 + 8 * l, langs[l]->language, 4);
        put(s, langsAt + 16 + 8 * l + 4, static_cast<uint32_t>(entry), 4);
        entries.push_back({entry, langs[l]});
      }
    }
  }
  for (const auto& [entry, r] : entries) {
    pad4(s);
    put(s, entry, kSectionRva + static_cast<uint32_t>(s.size()), 4);
    put(s, entry + 4, static_cast<uint32_t>(r->data.size()), 4);
    s.insert(s.end(), r->data.begin(), r->data.end());
  }
  return s;
}

// A 64-bit executable whose second section holds `section` as resources.
inline Bytes executable(const Bytes& section) {
  Bytes f(kSectionAt, 0);
  put(f, 0, 0x5A4D, 2);
  put(f, 60, 64, 4);
  put(f, 64, 0x00004550, 4);
  put(f, 68, 0x8664, 2);
  put(f, 70, 2, 2);     // sections
  put(f, 84, 240, 2);   // optional header size
  put(f, 88, 0x20B, 2);
  const char* names[2] = {".text", ".rsrc"};
  for (size_t i = 0; i < 2; ++i) {
    size_t at = kSectionsAt + 40 * i;
    for (size_t k = 0; names[i][k]; ++k) f[at + k] = static_cast<unsigned char>(names[i][k]);
    put(f, at + 8, i ? static_cast<uint32_t>(section.size()) : 0x10, 4);
    put(f, at + 12, i ? kSectionRva : 0x1000, 4);
    put(f, at + 16, i ? static_cast<uint32_t>(section.size()) : 0x10, 4);
    put(f, at + 20, i ? kSectionAt : 0x200, 4);
  }
  f.insert(f.end(), section.begin(), section.end());
  return f;
}

inline Bytes utf16(const std::string& text) {
  Bytes b;
  for (unsigned char c : text) b.insert(b.end(), {c, 0});
  b.insert(b.end(), {0, 0});
  return b;
}

// One version block: header, key, padding, value, padding, children. The
// last child keeps its length unpadded, as compilers write it.
inline Bytes block(const std::string& key, const Bytes& value, uint32_t valueLength, uint32_t type,
                   const std::vector<Bytes>& children = {}) {
  Bytes b(6, 0);
  Bytes k = utf16(key);
  b.insert(b.end(), k.begin(), k.end());
  pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& c : children) {
    pad4(b);
    b.insert(b.end(), c.begin(), c.end());
  }
  put(b, 0, static_cast<uint32_t>(b.size()), 2);
  put(b, 2, valueLength, 2);
  put(b, 4, type, 2);
  return b;
}

inline Bytes text(const std::string& key, const std::string& value) {
  return block(key, utf16(value), static_cast<uint32_t>(value.size() + 1), 1);
}

// A whole version resource over the string tables given.
inline Bytes versionInfo(const std::vector<Bytes>& tables) {
  Bytes fixed(52, 0);
  put(fixed, 0, 0xFEEF04BDu, 4);
  Bytes translation(4, 0);
  Bytes var = block("VarFileInfo", {}, 0, 1, {block("Translation", translation, 4, 0)});
  Bytes strings = block("StringFileInfo", {}, 0, 1, tables);
  return block("VS_VERSION_INFO", fixed, 52, 0, {strings, var});
}

// A bare 32-bit icon bitmap of one colour with its AND mask cleared.
inline Bytes solidIcon(int side, uint32_t argb) {
  Bytes b(40, 0);
  put(b, 0, 40, 4);
  put(b, 4, static_cast<uint32_t>(side), 4);
  put(b, 8, static_cast<uint32_t>(2 * side), 4);
  put(b, 12, 1, 2);
  put(b, 14, 32, 2);
  for (int i = 0; i < side * side; ++i)
    b.insert(b.end(), {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)});
  b.resize(b.size() + static_cast<size_t>((side + 31) / 32 * 4 * side), 0);
  return b;
}

}  // namespace winexetest
