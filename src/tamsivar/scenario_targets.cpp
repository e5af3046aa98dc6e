// Where the files of a text scenario would land, checked before the bundle
// is written: a scenario whose files cannot all be installed is refused by
// the maker, not by the installer after it has started writing.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tamsivar/scenario.h"

namespace {

// The installation folder is known only when the user has chosen it; its
// targets are compared among themselves under this name.
constexpr const char kChosen[] = "$pgm";

struct sPlace {
  std::string path;  // folded; "$pgm" and a folded rest for the chosen folder
  int line;
};

// "." and ".." steps and doubled slashes folded away, as the kernel walks
// them; a rest never climbs above its base, so a ".." pops a step of it.
std::string folded(const std::string& path) {
  std::vector<std::string> steps;
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(at, end - at);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& step : steps) out += "/" + step;
  return out.empty() ? "/" : out;
}

// A folder's places sort right after it: "/" counts below every other byte.
bool treeOrder(const sPlace& a, const sPlace& b) {
  const size_t n = std::min(a.path.size(), b.path.size());
  for (size_t i = 0; i < n; ++i) {
    if (a.path[i] == b.path[i]) continue;
    const int x = a.path[i] == '/' ? 0 : static_cast<unsigned char>(a.path[i]) + 1;
    const int y = b.path[i] == '/' ? 0 : static_cast<unsigned char>(b.path[i]) + 1;
    return x < y;
  }
  return a.path.size() < b.path.size();
}

bool below(const std::string& inner, const std::string& outer) {
  return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
         (inner[outer.size()] == '/' || outer == "/");
}

}  // namespace

int cSoftPkgScenario::checkTargets(int& line) {
  const int chosenLang = currLang;
  int code = 0;
  for (auto* lang = langStrings.root ? langStrings.leftmost(langStrings.root) : nullptr; lang && !code;
       lang = langStrings.next(lang)) {
    currLang = lang->key;
    const char* section = "";
    if (relativePath(0, line, &section)) {
      // Only a [Run] program may be an address instead.
      fault.words = strcmp(section, "[Run]")
                        ? "the path is no absolute path: its base must be $pgm or begin with \"/\""
                        : "the path is no absolute path: its base must be $pgm or begin with \"/\" (a [Run] "
                          "program may also be an http:// or https:// address)";
      code = 23;
      break;
    }
    for (auto* it = runs.head; it && !code; it = it->next) {
      const char* arguments = it->value.arguments.ptr ? getStr(it->value.arguments.ptr) : nullptr;
      if (!arguments || !*arguments || !runsAddress(it->value.program)) continue;
      fault.words = "an address is opened alone: it takes no arguments";
      line = it->value.program.line;
      code = 6;
    }
    if (code) break;
    for (int bits : {32, 64}) {
      std::vector<sPlace> places;
      for (auto* it = files.head; it; it = it->next) {
        sIntFileDef& def = it->value;
        if (!installsIn(def, bits == 64)) continue;
        _guardchar<char> path;
        if (isKnownConstantID(def.target.var.ptr)) {
          const std::string inside =
              folded(std::string("/") + (def.target.rest.ptr ? def.target.rest.ptr : ""));
          places.push_back({kChosen + (inside == "/" ? std::string() : inside), def.line});
        } else if (defToPath(def.target, path)) {
          places.push_back({folded(path.ptr), def.line});
        }
      }
      std::stable_sort(places.begin(), places.end(), treeOrder);
      for (size_t i = 1; i < places.size() && !code; ++i) {
        const sPlace& a = places[i - 1];
        const sPlace& b = places[i];
        const bool same = a.path == b.path;
        if (!same && !below(b.path, a.path)) continue;
        // The later line is at fault; the earlier one is named beside it.
        const sPlace& first = a.line <= b.line ? a : b;
        const sPlace& second = a.line <= b.line ? b : a;
        fault.words = same
                          ? "two lines install a file at the same place"
                          : "two lines install a file and another inside it, where a folder would have to be";
        const std::string why = same ? "installs " + first.path + " as well"
                                     : "installs " + first.path + ", and line " +
                                           std::to_string(second.line + 1) + " " + second.path;
        fault.set(textPath.ptr, why.c_str(), first.line);
        line = second.line;
        code = 23;
      }
    }
  }
  currLang = chosenLang;
  return code;
}
