// A tree of files and the installer package the program's own maker makes
// of it, shared by the benchmarks that install or check packages.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

inline bool runProgram(std::vector<std::string> argv, const fs::path& cwd) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  if (chdir(cwd.c_str()) != 0) return false;
  execvp(args[0], args.data());
  return false;
}

inline void makeTree(const fs::path& root, unsigned long long total, int files) {
  std::mt19937_64 rng(27);
  const char* words[] = {"install", "package", "the", "folder", "version", "of", "a", "file", "record", "and"};
  unsigned long long each = total / static_cast<unsigned long long>(files);
  for (int n = 0; n < files; ++n) {
    fs::path dir = root / std::to_string(n % 20) / std::to_string(n % 7);
    fs::create_directories(dir);
    std::string bytes;
    bytes.reserve(each);
    if (n % 2 == 0) {
      while (bytes.size() < each) {
        const char* word = words[rng() % 10];
        bytes.append(word, std::strlen(word));
        bytes.push_back(rng() % 12 ? ' ' : '\n');
      }
      bytes.resize(each);
    } else {
      while (bytes.size() + 8 <= each) {
        unsigned long long v = rng();
        bytes.append(reinterpret_cast<const char*>(&v), 8);
      }
      bytes.resize(each, 'x');
    }
    char name[32];
    std::snprintf(name, sizeof name, "f%d.%s", n, n % 2 ? "bin" : "txt");
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
}

// The maker's road, through the program itself: a scenario naming the
// tree, compiled into an installer bundle.
inline bool make(const fs::path& tree, const fs::path& bundle) {
  const fs::path folder = bundle.parent_path();
  std::ofstream(folder / "licence.hdl") << "<text>Licence</text>";
  std::ofstream(folder / "licence.idx") << "ENG = \"./licence.hdl\"\n";
  std::ofstream scenario(folder / "install.txt");
  scenario << "[General]\nlangs = ENG\n[Software]\ncodename = \"bench\"\nversion = \"1.0\"\n";
  scenario << "eula = \"" << (folder / "licence.idx").string() << "\"\n[Install]\n";
  scenario << "\"" << tree.string() << "\" = $pgm \"\"\n";
  scenario.close();
  return runProgram({ZVK_BUNDLE "/Contents/MacOS/zvk", "make", (folder / "install.txt").string(), bundle.string()},
                    folder);
}

}  // namespace bench
