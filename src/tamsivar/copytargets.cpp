// Where the files of a package land. A target is its variable's folder and
// the rest of the path below it; a package must not reach outside that
// folder, neither by ".." in the rest nor through a symbolic link that
// already exists below the folder.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <unordered_set>

#include "base/job.h"
#include "base/webaddress.h"
#include "tamsivar/plainpath.h"
#include "tamsivar/scenario.h"

namespace {

// The path with every link resolved; empty when it does not exist.
std::string resolved(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out = real;
  std::free(real);
  return out;
}

bool inside(const std::string& path, const std::string& base) {
  if (path.compare(0, base.size(), base) != 0) return false;
  return path.size() == base.size() || path[base.size()] == '/' || base == "/";
}

// Walks the target from its base down, component by component, as the
// kernel will when the file is written: each part that exists must still
// resolve inside the base. The part that does not is `blocker`: an object
// in the folder, not a fault of the package. A package's files share their
// folders, so each base and each folder below it is resolved once per
// listing rather than once per file.
class cInsideWalk {
 public:
  bool staysInside(const std::string& base, const char* target, std::string& blocker) {
    auto found = bases_.find(base);
    if (found == bases_.end()) found = bases_.emplace(base, sBase{resolved(base), {}, {}}).first;
    sBase& known = found->second;
    if (known.real.empty()) return true;  // nothing below a missing folder exists yet
    std::string walked = base;
    if (std::string_view(target).substr(0, walked.size()) != walked) return false;
    const char* p = target + walked.size();
    while (*p) {
      while (*p == '/') ++p;
      const char* end = p;
      while (*end && *end != '/') ++end;
      if (end == p) break;
      walked += '/';
      walked.append(p, static_cast<size_t>(end - p));
      const bool up = end - p == 2 && p[0] == '.' && p[1] == '.';
      p = end;
      if (known.inside.count(walked)) continue;
      if (known.missing.count(walked)) break;
      struct stat st;
      if (lstat(walked.c_str(), &st) != 0) {
        known.missing.insert(walked);
        break;
      }
      // What is no link, reached by a name other than "..", lies where its
      // folder does, and that folder was found inside on the way down.
      if ((S_ISLNK(st.st_mode) || up) && !inside(resolved(walked), known.real)) {
        blocker = walked;
        return false;
      }
      known.inside.insert(walked);
    }
    return true;
  }

 private:
  struct sBase {
    std::string real;
    std::unordered_set<std::string> inside;   // exists and resolves inside
    std::unordered_set<std::string> missing;  // nothing below it exists either
  };
  std::map<std::string, sBase> bases_;
};

}  // namespace

bool restLeavesFolder(const char* rest) {
  if (!rest || !*rest) return false;
  long long depth = 0;
  for (const char* p = rest; *p;) {
    const char* end = p;
    while (*end && *end != '/') ++end;
    size_t len = static_cast<size_t>(end - p);
    if (len == 2 && p[0] == '.' && p[1] == '.') {
      if (--depth < 0) return true;
    } else if (len && !(len == 1 && p[0] == '.')) {
      ++depth;
    }
    p = *end ? end + 1 : end;
  }
  return depth == 0;
}

bool cSoftPkgScenario::installsIn(sIntFileDef& def, bool on64) {
  if (!(on64 ? def.for64 : def.for32)) return false;
  if (!def.langs.head) return true;
  for (auto* lang = def.langs.head; lang; lang = lang->next)
    if (lang->value == currLang) return true;
  return false;
}

bool cSoftPkgScenario::targetAbsolute(sPathDef& def) {
  if (isKnownConstantID(def.var.ptr)) return true;
  _guardchar<char> path;
  return defToPath(def, path) && path.ptr && path.ptr[0] == '/';
}

bool cSoftPkgScenario::runsAddress(sPathDef& def) {
  _guardchar<char> path;
  return defToPath(def, path) && isWebAddress(path.ptr);
}

cSoftPkgScenario::sPathDef* cSoftPkgScenario::relativePath(int bits, int& line, const char** section) {
  sPathDef* found = nullptr;
  const auto judge = [&](sPathDef& def, int at, const char* in) {
    if (targetAbsolute(def) || (found && line <= at)) return;
    found = &def;
    line = at;
    if (section) *section = in;
  };
  // A package without an icon has no path there to judge.
  if (icon.var.ptr && *icon.var.ptr) judge(icon, icon.line, "icon");
  for (auto* it = files.head; it; it = it->next)
    if ((bits != 32 && installsIn(it->value, true)) || (bits != 64 && installsIn(it->value, false)))
      judge(it->value.target, it->value.line, "[Install]");
  // A run option may open an address instead of a file.
  for (auto* it = runs.head; it; it = it->next)
    if (!runsAddress(it->value.program)) judge(it->value.program, it->value.program.line, "[Run]");
  for (auto* it = menu.head; it; it = it->next) {
    judge(it->value.program, it->value.program.line, "[Menu]");
    judge(it->value.icon, it->value.icon.line, "[Menu]");
  }
  return found;
}

bool cSoftPkgScenario::getCopiedFiles(_List<sCopiedFile>& out, _guardchar<char>* blocker) {
  out.destroy();
  if (blocker) blocker->set(nullptr);
  cInsideWalk walk;
  for (auto* it = files.head; it; it = it->next) {
    sIntFileDef& def = it->value;
    if (!installsIn(def, cJob::is64bitOS())) continue;
    sCopiedFile& made = out.add()->value;
    if (restLeavesFolder(def.target.rest.ptr) || !targetAbsolute(def.target) ||
        !defToPath(def.target, made.path))
      return false;
    const char* var = def.target.var.ptr && *def.target.var.ptr ? getStr(def.target.var.ptr) : nullptr;
    // Spelled as the target is, so that the target goes on where it ends.
    const std::string base = var ? plainPath(var) : std::string();
    std::string object;
    if (!base.empty() && def.target.rest.ptr && *def.target.rest.ptr &&
        !walk.staysInside(base, made.path.ptr, object)) {
      if (blocker) blocker->set(object.c_str());
      return false;
    }
    made.index = def.index;
    std::memcpy(made.perms, def.perms, sizeof made.perms);
    pkg.digest(static_cast<int>(def.index), made.digest);
  }
  return true;
}
