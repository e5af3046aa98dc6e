// The store over the hive files: the folder, the map of loaded hives, key
// resolution with reload-when-changed, and the folder-wide operations.
#include "ciom/ciappconfig.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "base/folder.h"

namespace {

template <typename tTree>
void emptyTree(tTree& tree) {
  if (tree.root) tree.destroyRec(tree.root);
  tree.root = nullptr;
}

template <typename tTree>
auto* firstItem(tTree& tree) {
  return tree.root ? tTree::leftmost(tree.root) : nullptr;
}

}  // namespace

bool cCIAppConfig::getInitConfigPath(const char* name) {
  folder.set(nullptr);
  folderLength = 0;
  if (!name || !*name) return false;
  _guardchar<char> path;
  if (name[0] == '/') {
    // Only a path that cannot depend on the working folder names the
    // folder itself.
    if (cFolderContents::objtype(name) != fotFolder) return false;
    path.set(name);
  } else {
    _guardchar<char> home;
    if (!cFolderContents::getHome(home) || home.ptr[0] != '/' ||
        !cFolderContents::getConfigFolder(path, name))
      return false;
  }
  folder.set(path.ptr);
  folderLength = static_cast<long long>(std::strlen(folder.ptr));
  return true;
}

bool cCIAppConfig::hasFolder() const {
  return folder.ptr && cFolderContents::objtype(folder.ptr) == fotFolder;
}

bool cCIAppConfig::hivePath(const char* name, _guardchar<char>& out) const {
  // Without a settled folder the store has no files at all.
  if (!folder.ptr || !name || std::strchr(name, '/')) return false;
  long long nameLength = static_cast<long long>(std::strlen(name));
  out.set(folderLength + 1 + nameLength + 1);
  std::memcpy(out.ptr, folder.ptr, static_cast<size_t>(folderLength));
  out.ptr[folderLength] = '/';
  std::memcpy(out.ptr + folderLength + 1, name, static_cast<size_t>(nameLength) + 1);
  return true;
}

void* cCIAppConfig::hiveRoot(const char* name, bool create) {
  _guardchar<char> path;
  if (!hivePath(name, path)) return nullptr;
  cStringKey key(name, -1);
  sPropFileData* hive = hives.find(key);
  if (!hive) {
    int type = cFolderContents::objtype(path.ptr);
    bool made = false;
    if (type == fotNone && create) {
      errno = 0;
      made = cFolderContents::mkdir(folder.ptr) && mkNewHive(path.ptr);
      // Another process may have made it first.
      if (!made) {
        const int err = errno;
        type = cFolderContents::objtype(path.ptr);
        if (type != fotFile) {
          errno = err;
          noteTrouble();
        }
      }
    }
    sHiveStamp stamp;
    if ((!made && type != fotFile) || !stamp.read(path.ptr)) return nullptr;
    hive = hives.insert(key);
    hive->name.set(name);
    hive->stamp = stamp;
    if (!made && !loadInto(*hive, path.ptr)) return nullptr;
  } else if (!hive->dirty) {
    // A dirty hive is not read again: its changes are in the copy, and its
    // save makes them onto what the file holds then. The copy stays too
    // over a changed file that cannot be read back: with only what was
    // read, the next change saved would drop every other setting of the
    // hive. A file that could not be read at all gave no copy to keep.
    sHiveStamp now, loaded;
    sDataContainer fresh;
    std::string known;
    sReadFault fault;
    if (now.read(path.ptr) && !(now == hive->stamp) &&
        (loadHive(path.ptr, fresh, &loaded, &known, &fault) || hive->fault.err)) {
      hive->root.takeFrom(fresh);
      hive->stamp = loaded;
      hive->known = std::move(known);
      hive->fault = std::move(fault);
    }
  }
  if (create) hive->dirty = 1;
  return &hive->root;
}

void* cCIAppConfig::subContextHandle(const char* name, void* context, bool create) {
  if (!name || !context) return nullptr;
  if (create) {
    // A name the file format could not carry whole is refused rather than
    // cut at the next save.
    size_t length = std::strlen(name);
    if (length == 0 || length > static_cast<size_t>(kMaxNameSize)) return nullptr;
  }
  if (context == &hives) return hiveRoot(name, create);
  auto* container = static_cast<sDataContainer*>(context);
  cStringKey key(name, -1);
  if (sDataContainer* child = container->children.find(key)) return child;
  return create ? container->children.insert(key) : nullptr;
}

void* cCIAppConfig::getPathContextHandle(const char* key, bool create) {
  void* found = resolveKey(key, create);
  if (found && create) noteChange(key, false);
  return found;
}

void* cCIAppConfig::resolveKey(const char* key, bool create) {
  int components = 1;
  for (const char* c = key; c && *c; ++c)
    if (*c == '/' && ++components > kMaxKeyDepth) return nullptr;
  return cApplicationConfig::getPathContextHandle(key, create);
}

void cCIAppConfig::noteChange(const char* key, bool removed) {
  // The map of hives itself holds no value.
  if (!key || !*key) return;
  const char* slash = std::strchr(key, '/');
  const std::string name = slash ? std::string(key, static_cast<size_t>(slash - key)) : std::string(key);
  sPropFileData* hive = hives.find(cStringKey(name.c_str(), -1));
  if (!hive) return;
  bool& whole = hive->changes[slash ? slash : ""];
  whole = whole || removed;
}

bool cCIAppConfig::getParamValueSize(void* context, long long& size) {
  if (!context || context == &hives) return false;
  size = static_cast<sDataContainer*>(context)->value.count;
  return true;
}

bool cCIAppConfig::getParamValue(void* buf, long long n, void* context) {
  if (!buf || n <= 0 || !context || context == &hives) return false;
  _typebuf<unsigned char>& value = static_cast<sDataContainer*>(context)->value;
  if (value.count == 0) return false;
  std::memcpy(buf, value.ptr, static_cast<size_t>(n < value.count ? n : value.count));
  return true;
}

bool cCIAppConfig::setParamValue(const void* data, long long n, void* context) {
  if (!context || context == &hives || n < 0 || n > kMaxValueSize || (n && !data)) return false;
  _typebuf<unsigned char>& value = static_cast<sDataContainer*>(context)->value;
  value.set(n);
  if (n) std::memcpy(value.ptr, data, static_cast<size_t>(n));
  return true;
}

bool cCIAppConfig::newConfig(const char* name) {
  // A folder under the home folder is made by the store's first write, so
  // only a folder given by its own path can be made here.
  if (!name || name[0] != '/') {
    getInitConfigPath(name);
    return false;
  }
  return cFolderContents::objtype(name) == fotNone && cFolderContents::mkdir(name) && getInitConfigPath(name);
}

bool cCIAppConfig::openConfig(const char* name) {
  emptyTree(hives);
  trouble_ = 0;
  keptCopies_.clear();
  cFolderContents listing;
  if (!getInitConfigPath(name)) return false;
  // Nothing written yet: an empty store, whose first write makes the folder.
  if (name[0] != '/' && cFolderContents::objtype(folder.ptr) == fotNone) return true;
  if (!listing.init(folder.ptr, true)) return false;
  for (int i = 0; i < listing.count(); ++i) {
    sFolderItemInfo* item = listing.info(i);
    _guardchar<char> path;
    sHiveStamp stamp;
    // A side file is read by no one but its writer: a lock taken on it
    // here would fail the writer's save. A kept copy is the user's to read.
    if (item->type != fotFile || isSideFile(item->name.ptr) || isKeptCopy(item->name.ptr) ||
        !hivePath(item->name.ptr, path) || !stamp.read(path.ptr))
      continue;
    sPropFileData* hive = hives.insert(cStringKey(item->name.ptr, -1));
    hive->name.set(item->name.ptr);
    hive->stamp = stamp;
    // A file that is not a hive stays as an empty one; a save replaces it.
    loadInto(*hive, path.ptr);
  }
  return true;
}

bool cCIAppConfig::loadInto(sPropFileData& hive, const char* path) {
  const bool whole = loadHive(path, hive.root, &hive.stamp, &hive.known, &hive.fault);
  // A file that could not be read is tried again at the next access,
  // whatever its stamp.
  if (hive.fault.err) hive.stamp = sHiveStamp();
  return whole;
}

namespace {

// Whether the container `key` (below the hive's root) is `container` or
// lies below it.
bool within(const std::string& key, const std::string& container) {
  return key.compare(0, container.size(), container) == 0 &&
         (key.size() == container.size() || key[container.size()] == '/');
}

}  // namespace

cCIAppConfig::eKeyRead cCIAppConfig::keyRead(const char* key, int& err) {
  err = 0;
  const char* slash = key ? std::strchr(key, '/') : nullptr;
  const std::string name = slash ? std::string(key, static_cast<size_t>(slash - key)) : std::string(key ? key : "");
  _guardchar<char> path;
  if (!hivePath(name.c_str(), path)) return krRead;
  // Looked at before any access, which would read a FIFO and wait on it.
  struct stat st;
  const bool there = ::lstat(path.ptr, &st) == 0;
  if (!there && errno != ENOENT) {
    err = errno;
    return krUnread;
  }
  if (there && !S_ISREG(st.st_mode)) return krNotFile;
  // The access reads the file where it changed or could not be read.
  const bool present = getPathContextHandle(key, false) != nullptr;
  const sPropFileData* hive = hives.find(cStringKey(name.c_str(), -1));
  if (!hive) return krRead;
  if (hive->fault.err) {
    err = hive->fault.err;
    return krUnread;
  }
  if (!hive->fault.cut) return krRead;
  // A key missing from what could be read is missing only where the
  // container it would be in was read to its end.
  const std::string below = slash ? slash : "";
  return within(hive->fault.at, present ? below : below.substr(0, below.rfind('/'))) ? krCut : krRead;
}

bool cCIAppConfig::saveConfig() { return settleDirtyHives(true); }

bool cCIAppConfig::discardChanges() { return settleDirtyHives(false); }

bool cCIAppConfig::settleDirtyHives(bool save) {
  bool all = true;
  for (auto* item = firstItem(hives); item; item = hives.next(item)) {
    sPropFileData& hive = item->value;
    if (!hive.dirty) continue;
    _guardchar<char> path;
    // A save stamps the hive with the file it wrote under the lock, which
    // holds exactly what is in memory: the next access reads the file again
    // only when another process has replaced it since.
    errno = 0;
    std::string kept;
    bool settled = hivePath(hive.name.ptr, path) &&
                   (save ? saveHive(path.ptr, hive.root, hive.changes, &hive.stamp, &hive.known, &kept)
                         : loadInto(hive, path.ptr));
    if (!kept.empty()) keptCopies_.push_back(std::move(kept));
    // A discard drops the changes even where the file does not read back:
    // a later save then writes none of them.
    if (settled || !save) hive.changes.clear();
    if (settled) {
      hive.dirty = 0;
      if (save) hive.fault = sReadFault();
    } else {
      all = false;
      if (save) noteTrouble();
    }
  }
  return all;
}

void cCIAppConfig::noteTrouble() {
  if (!trouble_) trouble_ = errno;
}

bool cCIAppConfig::removeSection(const char* key) {
  const char* slash = key ? std::strrchr(key, '/') : nullptr;
  // Without a parent container (no "/", or only a leading one) there is
  // nothing a removal may touch.
  if (!slash || slash == key) return false;
  _guardchar<char> parent;
  parent.set(key, slash - key);
  // The parent is made, not set: its value is not this process's change.
  void* context = resolveKey(parent.ptr, true);
  if (!context || context == &hives) return false;
  // The file may hold the container where the copy does not: the removal
  // is a change either way.
  noteChange(key, true);
  return static_cast<sDataContainer*>(context)->children.dettach(cStringKey(slash + 1, -1));
}

bool cCIAppConfig::hasSection(const char* key) { return getPathContextHandle(key, false) != nullptr; }

bool cCIAppConfig::enumSubsections(const char* key, bool (*each)(const char*, void*), void* user) {
  if (!key || !*key || !each) return false;
  auto* container = static_cast<sDataContainer*>(getPathContextHandle(key, false));
  if (!container) return false;
  for (auto* child = firstItem(container->children); child;) {
    _typebuf<char> field;
    child->key.utf8(field);
    _guardchar<char> name;
    name.set(field.ptr, field.count);
    cStringKey held(child->key);
    if (!each(name.ptr, user)) return false;
    // The callback may have used the store, which can reload the hive and
    // free every container of it: the walk starts again from the key.
    container = static_cast<sDataContainer*>(getPathContextHandle(key, false));
    auto* same = container ? container->children.find_item(held) : nullptr;
    child = same ? container->children.next(same) : nullptr;
  }
  return true;
}
