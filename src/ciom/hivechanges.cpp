// A process's own changes to a hive, made again onto what another process
// may have saved meanwhile: only the keys this process set or removed are
// touched, so a save never takes back another's.
#include <cstring>
#include <utility>

#include "ciom/ciappconfig.h"

namespace {

using tContainer = cCIAppConfig::sDataContainer;

cStringKey nameAt(const std::string& key, size_t from, size_t end) {
  return cStringKey(key.data() + from, static_cast<long long>(end - from));
}

// The container a change's key names below `root`, made where missing when
// `make`; null where it is not there.
tContainer* walk(tContainer& root, const std::string& key, bool make) {
  tContainer* at = &root;
  for (size_t from = 0; at && from < key.size();) {
    size_t end = key.find('/', from + 1);
    if (end == std::string::npos) end = key.size();
    const cStringKey name = nameAt(key, from + 1, end);
    tContainer* child = at->children.find(name);
    if (!child && make) child = at->children.insert(name);
    at = child;
    from = end;
  }
  return at;
}

void removeAt(tContainer& root, const std::string& key) {
  const size_t last = key.rfind('/');
  // The root itself is never removed.
  if (last == std::string::npos) return;
  if (tContainer* parent = walk(root, key.substr(0, last), false))
    parent->children.dettach(nameAt(key, last + 1, key.size()));
}

void copyValue(const _typebuf<unsigned char>& from, _typebuf<unsigned char>& to) {
  to.set(from.count);
  if (from.count) std::memcpy(to.ptr, from.ptr, static_cast<size_t>(from.count));
}

}  // namespace

void cCIAppConfig::sDataContainer::takeFrom(sDataContainer& other) {
  if (&other == this) return;
  other.children.moveTo(children);
  value.set(0);
  std::swap(value.ptr, other.value.ptr);
  std::swap(value.count, other.value.count);
}

// Trees the store holds are never deeper than kMaxKeyDepth: loads and keys
// both stop there, so the copy's recursion does too.
void cCIAppConfig::sDataContainer::copyOf(const sDataContainer& other) {
  if (&other == this) return;
  clear();
  copyValue(other.value, value);
  using tChildren = decltype(children);
  for (auto* child = other.children.root ? tChildren::leftmost(other.children.root) : nullptr; child;
       child = tChildren::next(child))
    children.insert(child->key)->copyOf(child->value);
}

// The keys are applied in their order, but the result does not depend on
// it: each change makes `onto` agree with `from` on what it names, and
// where two changes' keys overlap, they agree with the same `from`.
void cCIAppConfig::applyChanges(sDataContainer& from, sDataContainer& onto, const tChanges& changes) {
  for (const auto& [key, removed] : changes) {
    tContainer* mine = walk(from, key, false);
    if (!mine) {
      // A value set in a container removed later goes with the removal.
      if (removed) removeAt(onto, key);
      continue;
    }
    tContainer* theirs = walk(onto, key, true);
    if (removed)
      theirs->copyOf(*mine);
    else
      copyValue(mine->value, theirs->value);
  }
}
