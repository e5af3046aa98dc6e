// The configuration store of the system: a folder of hive files, each a tree
// of named containers that hold one value apiece. The first component of a
// key names the hive file, the rest walks its containers ("install/%s/ver").
//
// Between processes every save of a hive file holds an exclusive record
// lock on its first four bytes. A save writes the new content beside the
// file and renames it into place, so a hive is always either what it was
// or what it was to be, whenever the writer is stopped, and a reader needs
// no lock.
// What it writes is what the file holds under the lock with this process's
// own changes made to it: processes that change different keys of one hive
// at the same time all keep theirs.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/appconfig.h"
#include "base/btree.h"
#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/stringkey.h"
#include "base/sync.h"
#include "base/targets.h"

class cCIAppConfig : public cApplicationConfig {
 public:
  // The deepest key the store makes or reads: the hive and its containers.
  // A damaged file can nest without end; a deeper one fails to load.
  static constexpr int kMaxKeyDepth = 128;
  // What one record of the file format can carry.
  static constexpr long long kMaxValueSize = 65535;
  static constexpr long long kMaxNameSize = 255;

  struct sDataContainer {
    _typebuf<unsigned char> value;
    cFasterTreeList<cStringKey, sDataContainer> children;

    void clear();
    // Takes `other`'s value and children, leaving it empty.
    void takeFrom(sDataContainer& other);
    // Becomes a copy of `other`, value and children.
    void copyOf(const sDataContainer& other);
  };

  // What this process changed in a hive since it was loaded or saved, by
  // the key below the hive's root ("" is the root itself, "/a/b" a
  // container): true where the container was removed, which takes with it
  // all that was made under it since; false where a value was set.
  using tChanges = std::map<std::string, bool>;

  // Which file a loaded hive came from. Saves replace the file, so a change
  // shows in the file's identity as well as in its time, which is compared
  // to the nanosecond: two saves within one second are both seen.
  struct sHiveStamp {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = -1;
    long long modifiedNs = -1;

    bool operator==(const sHiveStamp&) const = default;
    // False when nothing can be examined at the path.
    bool read(const char* path);
  };

  // Why a hive's file did not read as a whole hive: `err`, the system's
  // reason, where it is there but could not be opened or read; else where
  // it is no whole hive, `cut` and, in `at`, the container the fault hit,
  // by the key below the hive's root ("" the root itself).
  struct sReadFault {
    int err = 0;
    bool cut = false;
    std::string at;
  };

  struct sPropFileData {
    unsigned char dirty = 0;
    sReadFault fault;
    sHiveStamp stamp;
    _guardchar<char> name;
    sDataContainer root;
    tChanges changes;
    // The bytes of the file `root` was last read from or written as; empty
    // where none are known.
    std::string known;
  };

  // How long a save waits for another process's lock on a hive where its
  // thread was told nothing else: a holder stopped or stuck never keeps a
  // run waiting without end.
  static constexpr int kDefaultLockWaitMs = 5000;
  // While it lives, a save on this thread that finds a hive's lock held
  // asks `waiting` about ten times a second whether to wait on (a window
  // saying so, painting meanwhile); false fails the save with EWOULDBLOCK.
  class cLockWait {
   public:
    explicit cLockWait(const std::function<bool()>& waiting);
    cLockWait(const cLockWait&) = delete;
    cLockWait& operator=(const cLockWait&) = delete;
    ~cLockWait();

   private:
    const std::function<bool()>* outer_;
    std::function<bool()> waiting_;
  };

  cCIAppConfig() = default;
  cCIAppConfig(const cCIAppConfig&) = delete;
  cCIAppConfig& operator=(const cCIAppConfig&) = delete;

  void* rootContextHandle() override { return &hives; }
  void* subContextHandle(const char* name, void* context, bool create) override;
  bool getParamValueSize(void* context, long long& size) override;
  bool getParamValue(void* buf, long long n, void* context) override;
  // A value longer than a record can carry is refused, not cut.
  bool setParamValue(const void* data, long long n, void* context) override;
  bool isTextConfig() override { return false; }
  // A name beginning with "/" is the folder itself; any other is
  // "$HOME/.name", made when missing.
  bool newConfig(const char* name) override;
  bool openConfig(const char* name) override;
  bool saveConfig() override;
  bool discardChanges() override;
  // A key needs a "/": whole hives are never removed. The parent is made
  // when missing, and its hive is marked changed either way.
  bool removeSection(const char* key) override;
  bool hasSection(const char* key) override;
  bool enumSubsections(const char* key, bool (*each)(const char* name, void* user), void* user) override;
  // Keys deeper than kMaxKeyDepth are refused, so the store never writes a
  // hive it could not read back. Every write reaches its container through
  // here with `create`: the key becomes one of its hive's changes.
  void* getPathContextHandle(const char* key, bool create) override;

  // Reads one hive file into `root`; `stamp`, when given, receives the
  // identity of the file that was read (also when its content is damaged),
  // and `known` its bytes, when they read whole as a hive.
  // `fault`, when given, receives why it did not read whole.
  bool loadHive(const char* path, sDataContainer& root, sHiveStamp* stamp = nullptr,
                std::string* known = nullptr, sReadFault* fault = nullptr);
  // Replaces an existing hive file with what it holds under the lock, with
  // the `changes` made in `root` made to it too; `root` becomes what was
  // written. A file that does not read whole is replaced by `root` as it
  // is, which holds everything that could be read of it, once its bytes
  // are kept in a file of their own beside it, "<hive>.damaged-N" with
  // the first N from 1 that names nothing, unless a kept copy holds those
  // bytes already; `keptCopy`, when given, receives the copy's path
  // (empty when none was made). A file that
  // cannot be read to its end, or whose bytes cannot be kept, is left as
  // it is and the save fails. `stamp`, when given, receives the identity
  // of the file written. Where the file holds exactly `known`, the bytes
  // `root` was last read from or written as, `root` is written as it is;
  // `known` becomes the bytes written.
  static bool saveHive(const char* path, sDataContainer& root, const tChanges& changes,
                       sHiveStamp* stamp = nullptr, std::string* known = nullptr,
                       std::string* keptCopy = nullptr);
  // Makes in `onto` the `changes` that were made in `from`.
  static void applyChanges(sDataContainer& from, sDataContainer& onto, const tChanges& changes);
  // Makes an empty hive file; false when anything is at the path.
  static bool mkNewHive(const char* path);
  // Whether the file `name` in the store's folder is one a save writes
  // before putting it in place: another process's hive to be, never a hive.
  static bool isSideFile(const char* name);
  // Whether the file `name` is where a save kept a damaged hive's bytes.
  static bool isKeptCopy(const char* name);
  // One container and everything below it, `depth` being the container's
  // level (the root container is level 1).
  // On a fault, `at`, when given, receives the key of the container it hit
  // below this one.
  static bool loadRecursive(sDataContainer& container, cFileIOTarget& in, int depth, std::string* at = nullptr);
  static bool saveRecursive(sDataContainer& container, cFileIOTarget& out, int depth);
  // Whether what the store holds under `key` is what its hive's file
  // holds: krUnread, with the system's reason in `err`, where the file is
  // there but could not be examined, opened or read (only a file the
  // system says is absent holds nothing); krNotFile where the hive's path
  // holds anything but a regular file, a link included, which no save
  // ever leaves there; krCut where the file is no whole hive and the
  // key's container, or one below it, is the one the fault hit, or, the
  // key missing, where the fault cut short the container it would be in.
  enum eKeyRead { krRead, krUnread, krCut, krNotFile };
  eKeyRead keyRead(const char* key, int& err);
  // Keeps the bytes the file of the hive `name` holds now beside it, as a
  // save keeps those of a hive that does not read whole, unless a kept copy
  // holds them already; the copy's path, empty where none could be made.
  std::string keepHiveCopy(const char* name);
  bool getInitConfigPath(const char* name);
  // Whether the store's folder is there. Without a settled path every
  // write is refused and every save succeeds, so nothing written can be
  // kept; a folder under the home folder is settled without being made, and
  // its first write makes it, so that roads that only read leave no trace.
  bool hasFolder() const;
  // The folder of the hive files, for messages; null without one.
  const char* folderPath() const { return folder.ptr; }
  // The system's reason for the first hive that could not be made or
  // saved since the store was opened or this was cleared; 0 when none
  // failed or the system gave none. Later calls, a discard's reloads
  // included, leave it as it was, so the caller learns the first cause.
  int trouble() const { return trouble_; }
  void clearTrouble() { trouble_ = 0; }
  // The files in which saves since the store was opened kept the bytes of
  // hives that did not read whole, before writing over them.
  const std::vector<std::string>& keptCopies() const { return keptCopies_; }
  // Every kept copy of hive `name` lying in the store's folder, whichever
  // run made it.
  std::vector<std::string> copiesOnDisk(const char* name) const;

 private:
  bool hivePath(const char* name, _guardchar<char>& out) const;
  // Loads the hive's file into it, noting why it did not read whole.
  bool loadInto(sPropFileData& hive, const char* path);
  void* hiveRoot(const char* name, bool create);
  void* resolveKey(const char* key, bool create);
  void noteChange(const char* key, bool removed);
  // Saves or reloads every dirty hive; a failure does not stop the others.
  bool settleDirtyHives(bool save);
  // Keeps errno as the trouble unless an earlier failure is kept already.
  void noteTrouble();

  int trouble_ = 0;
  std::vector<std::string> keptCopies_;
  _guardchar<char> folder;
  long long folderLength = 0;
  cCriticalSection lock;
  cFasterTreeList<cStringKey, sPropFileData> hives;
};

// The object the application creates: every operation reaches the embedded
// store, which the installation code also uses directly through global().
class cCIAppFullConfig : public cApplicationConfig {
 public:
  void* rootContextHandle() override { return nullptr; }
  void* subContextHandle(const char*, void*, bool) override { return nullptr; }
  bool getParamValueSize(void*, long long&) override { return false; }
  bool isTextConfig() override { return false; }
  bool newConfig(const char* name) override { return store.newConfig(name); }
  bool openConfig(const char* name) override { return store.openConfig(name); }
  bool saveConfig() override { return store.saveConfig(); }
  bool discardChanges() override { return store.discardChanges(); }
  bool getParam(const char* key, _typebuf<unsigned char>& value) override {
    return store.getParam(key, value);
  }
  bool getParamInt(const char* key, unsigned long long& value) override {
    return store.getParamInt(key, value);
  }
  bool getParamStr(const char* key, _guardchar<char>& value) override {
    return store.getParamStr(key, value);
  }
  bool setParam(const char* key, const void* data, long long n) override {
    return store.setParam(key, data, n);
  }
  bool setParamInt16(const char* key, int value) override { return store.setParamInt16(key, value); }
  bool setParamInt32(const char* key, int value) override { return store.setParamInt32(key, value); }
  bool setParamInt64(const char* key, long long value) override { return store.setParamInt64(key, value); }
  bool setParamStr(const char* key, const char* text, long long length) override {
    return store.setParamStr(key, text, length);
  }
  bool removeSection(const char* key) override { return store.removeSection(key); }
  bool hasSection(const char* key) override { return store.getPathContextHandle(key, false) != nullptr; }
  bool enumSubsections(const char* key, bool (*each)(const char*, void*), void* user) override {
    return store.enumSubsections(key, each, user);
  }

  cCIAppConfig* global() { return &store; }
  bool setParamG(const char* key, const void* data, long long n) { return store.setParam(key, data, n); }
  bool removeSectionG(const char* key) { return store.removeSection(key); }
  bool saveConfigG() { return store.saveConfig(); }

 private:
  cCIAppConfig store;
};
