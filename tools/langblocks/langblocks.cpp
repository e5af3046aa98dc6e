// Builds the language blocks the program carries in its own data from the
// readable text sources beside it, and writes them as byte arrays in a C++
// header and source. With --check it only compares those with what it would
// write, so a text edited without regenerating is caught by the tests.
//
// The output stem names a header (.h) and a source (.cpp) written side by
// side. A text source, UTF-8, one item a line:
//   # a comment                 (blank lines are skipped too)
//   kind CIOMBASE               the block's kind
//   code ENG                    three letters
//   name English                the display name
//   [ciom::messages]            a section; the slots below belong to it
//   3 Information               slot number, one space, the text; "\n" is a
//                               line break and "\\" a backslash
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ciom/ciomlang.h"

namespace {

struct sSource {
  std::string path;
  std::string stem;
  std::string kind;
  std::string code;
  std::string name;
  cCiomLang store;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
  std::fprintf(stderr, "langblocks: %s: %s\n", where.c_str(), what.c_str());
  std::exit(1);
}

std::string unescape(const std::string& text, const std::string& where) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (next == 'n') {
      out += '\n';
    } else if (next == '\\') {
      out += '\\';
    } else {
      fail(where, "a backslash must be followed by n or another backslash");
    }
    ++i;
  }
  return out;
}

using cSlots = cFasterTreeList<unsigned short, _guardchar<char>>;

void storeSection(sSource& source, const std::string& section, cSlots& slots, const std::string& where) {
  if (section.empty()) return;
  if (!slots.root) fail(where, "section \"" + section + "\" has no slots");
  cCiomLangData* data = source.store.sections.insert(cStringKey(section.c_str(), -1));
  if (!data->create(slots)) fail(where, "section \"" + section + "\" cannot be stored");
  slots.destroyRec(slots.root);
  slots.root = nullptr;
}

void parse(sSource& source) {
  std::ifstream in(source.path, std::ios::binary);
  if (!in) fail(source.path, "cannot be read");
  std::string line, section;
  cSlots slots;
  int number = 0;
  while (std::getline(in, line)) {
    std::string where = source.path + ":" + std::to_string(++number);
    if (!line.empty() && line.back() == '\r') fail(where, "lines end with a bare line feed");
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) fail(where, "a section line is [name]");
      if (section.empty()) {
        if (source.kind.empty() || source.code.size() != 3 || source.name.size() > 255)
          fail(where, "a kind, a three-letter code and a name of at most 255 bytes come first");
        source.store.create(source.code.c_str(), source.name.c_str());
      }
      storeSection(source, section, slots, where);
      section = line.substr(1, line.size() - 2);
      continue;
    }
    size_t space = line.find(' ');
    if (space == std::string::npos || space == 0) fail(where, "expected \"<slot> <text>\" or a header line");
    std::string head = line.substr(0, space), rest = line.substr(space + 1);
    if (section.empty()) {
      std::string* field = head == "kind"   ? &source.kind
                           : head == "code" ? &source.code
                           : head == "name" ? &source.name
                                            : nullptr;
      if (!field) fail(where, "unknown header \"" + head + "\"");
      *field = rest;
      continue;
    }
    if (head.find_first_not_of("0123456789") != std::string::npos || head.size() > 5)
      fail(where, "a slot number is a decimal from 0 to 65534");
    unsigned long slot = std::stoul(head);
    // The stored form counts slots in 16 bits and keeps 65535 for absent ones.
    if (slot >= 65535) fail(where, "a slot number is a decimal from 0 to 65534");
    if (slots.find(static_cast<unsigned short>(slot))) fail(where, "slot " + head + " given twice");
    std::string text = unescape(rest, where);
    if (text.size() >= 65535) fail(where, "a text holds at most 65534 bytes");
    slots.insert(static_cast<unsigned short>(slot))->set(text.c_str());
  }
  storeSection(source, section, slots, source.path);
  if (!source.store.sections.root) fail(source.path, "has no sections");
}

std::string stemOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.find('.');
  std::string stem = file.substr(0, dot);
  if (stem.empty() || stem.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos)
    fail(path, "a source's name is lower-case letters, digits and underscores");
  return stem;
}

struct sGenerated {
  std::string header;
  std::string source;
};

// The library folder the output stem lies in ("src/ciom/ciomlang_blocks"
// gives "ciom"): it names the texts' folder, the regenerating target and the
// arrays' prefix.
std::string folderOf(const std::string& stem) {
  size_t slash = stem.find_last_of('/');
  std::string parent = slash == std::string::npos ? "" : stem.substr(0, slash);
  size_t before = parent.find_last_of('/');
  std::string folder = before == std::string::npos ? parent : parent.substr(before + 1);
  if (folder.empty() || folder.find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos)
    fail(stem, "the output lies in a library folder named in lower-case letters");
  return folder;
}

sGenerated generate(std::vector<sSource>& sources, const std::string& folder, const std::string& headerName) {
  std::ostringstream words;
  words << "// Generated by tools/langblocks from the texts in tools/langs/" << folder
        << "/: edit those\n// and build the target regenerate_" << folder << "_langblocks, never this file.\n";
  std::string banner = words.str();
  words.str("");
  words << 'g' << static_cast<char>(folder[0] - 'a' + 'A') << folder.substr(1) << "LangBlock";
  std::string prefix = words.str();
  std::ostringstream header, source;
  header << banner << "#pragma once\n";
  source << banner << "#include \"" << folder << "/" << headerName << "\"\n\n// clang-format off\n";
  for (sSource& item : sources) {
    _typebuf<unsigned char> block;
    if (!saveCiomLangData(item.kind.c_str(), item.store, block)) fail(item.path, "cannot be written");
    // The sizes are constants so that tables of blocks are complete before
    // any constructor runs.
    header << "\ninline constexpr long long " << prefix << "Size_" << item.stem << " = " << block.count << ";\n"
           << "extern const unsigned char " << prefix << "_" << item.stem << "[" << prefix << "Size_" << item.stem
           << "];\n";
    source << "\nconst unsigned char " << prefix << "_" << item.stem << "[" << prefix << "Size_" << item.stem
           << "] = {";
    for (long long i = 0; i < block.count; ++i) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02x,", block.ptr[i]);
      source << (i % 16 ? " " : "\n    ") << hex;
    }
    source << "\n};\n";
  }
  return {header.str(), source.str()};
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream held;
  held << in.rdbuf();
  return held.str();
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return out.good();
}

}  // namespace

int main(int argc, char** argv) {
  bool check = argc > 1 && std::strcmp(argv[1], "--check") == 0;
  int first = check ? 2 : 1;
  if (argc - first < 2) {
    std::fprintf(stderr, "usage: langblocks [--check] <output stem> <source.txt>...\n");
    return 2;
  }
  std::vector<sSource> sources(static_cast<size_t>(argc - first - 1));
  for (size_t i = 0; i < sources.size(); ++i) {
    sources[i].path = argv[first + 1 + static_cast<int>(i)];
    sources[i].stem = stemOf(sources[i].path);
    parse(sources[i]);
  }
  std::string stem = argv[first];
  std::string folder = folderOf(stem);
  sGenerated made = generate(sources, folder, stemOf(stem) + ".h");
  if (check) {
    if (contents(stem + ".h") == made.header && contents(stem + ".cpp") == made.source) return 0;
    std::fprintf(stderr, "langblocks: %s.h/.cpp are older than their texts; build regenerate_%s_langblocks\n",
                 stem.c_str(), folder.c_str());
    return 1;
  }
  return write(stem + ".h", made.header) && write(stem + ".cpp", made.source) ? 0 : 1;
}
