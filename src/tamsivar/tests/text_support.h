// Text scenarios written into a scratch folder beside the documents and
// files they name, for the compiler tests.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

#include "base/tests/scratch_dir.h"
#include "pkg_support.h"
#include "tamsivar/scenario.h"

// A one-pixel picture, so the documents carry a picture table.
inline std::string tinyPng() {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string body = type + data;
    Fields len, crc;
    unsigned long c = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    for (int s = 24; s >= 0; s -= 8) {
      len.u8(static_cast<unsigned>(data.size() >> s & 0xFF));
      crc.u8(static_cast<unsigned>(c >> s & 0xFF));
    }
    return std::string(len.b.begin(), len.b.end()) + body + std::string(crc.b.begin(), crc.b.end());
  };
  const tBytes pixel = zlibCompress({0, 200, 40, 40}, 9);
  return std::string("\x89PNG\r\n\x1a\n", 8) +
         chunk("IHDR", std::string("\0\0\0\1\0\0\0\1\x08\x02\0\0\0", 13)) +
         chunk("IDAT", std::string(pixel.begin(), pixel.end())) + chunk("IEND", "");
}

// A document with one source per language code; the index is `name`.idx.
inline std::string writeDoc(const ScratchDir& dir, const std::string& name,
                            const std::vector<std::string>& langs, bool picture = false) {
  std::string index;
  for (const std::string& lang : langs) {
    std::string body = "<text>" + name + " " + lang + (picture ? " <img src=./p.png>" : "") + "</text>";
    dir.write(name + "." + lang + ".hdl", body);
    index += lang + " = \"./" + name + "." + lang + ".hdl\"\n";
  }
  if (picture) dir.write("p.png", tinyPng());
  dir.write(name + ".idx", index);
  return dir.file(name + ".idx");
}

// Every "@" of the text stands for the scratch folder.
inline std::string inFolder(const ScratchDir& dir, std::string text) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, dir.root);
  return text;
}

inline int compileText(const ScratchDir& dir, const std::string& text, cSoftPkgScenario& s, int& line) {
  dir.write("scenario.txt", inFolder(dir, text));
  line = 0;
  return s.loadTextConfig(dir.file("scenario.txt").c_str(), line);
}
