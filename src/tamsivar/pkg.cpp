#include "tamsivar/pkg.h"

#include <cstring>
#include <new>

#include "base/memio.h"
#include "compression/zpieces.h"
#include "compression/zstream.h"
#include "hash/sha256.h"
#include "tamsivar/fieldio.h"

namespace {

constexpr unsigned int kPiece = 4096;
constexpr unsigned int kItemHead = 4 + 4 + 32;

}  // namespace

bool cSoftPkg::newPackage() {
  items.destroy();
  myIndex.clear();
  count = 0;
  return true;
}

cSoftPkg::sPkgItem* cSoftPkg::at(int i) {
  if (i < 0 || static_cast<size_t>(i) >= myIndex.size()) return nullptr;
  return myIndex[static_cast<size_t>(i)];
}

bool cSoftPkg::savePackage(cFileIOTarget* target) {
  if (!target || !count) return false;
  // Checked before the first byte goes out, so a refused package leaves the
  // target as it was.
  for (auto* node = items.head; node; node = node->next) {
    long long stored = node->value.data.count;
    if (stored <= 0 || stored > 0xFFFFFFFFll) return false;
  }
  for (auto* node = items.head; node; node = node->next) {
    sPkgItem& it = node->value;
    if (!writeU32(*target, it.unpackedSize) || !writeU32(*target, static_cast<unsigned int>(it.data.count)) ||
        !target->writef(it.digest, 32) || !writeBlock(*target, it.data.ptr, static_cast<unsigned long long>(it.data.count)))
      return false;
  }
  unsigned char end[8] = {};
  return target->writef(end, sizeof end);
}

bool cSoftPkg::loadPackage(cFileIOTarget* target) {
  newPackage();
  if (!target) return false;
  // The stream starts somewhere in the target, so the target's size bounds
  // what is left; a stored size beyond that is refused before any
  // allocation, whatever the item claims.
  unsigned long long limit = target->size();
  unsigned long long consumed = 0;
  for (;;) {
    unsigned int unpacked, stored;
    if (!readU32(*target, unpacked) || !readU32(*target, stored)) return false;
    consumed += 8;
    if (!stored) return unpacked == 0;
    if (consumed > limit || kItemHead - 8 + static_cast<unsigned long long>(stored) > limit - consumed) return false;
    auto* node = items.add();
    sPkgItem& it = node->value;
    it.unpackedSize = unpacked;
    bool read = false;
    try {
      it.data.set(stored);
      read = target->readf(it.digest, 32) && readBlock(*target, it.data.ptr, stored);
    } catch (const std::bad_alloc&) {
    }
    if (!read) {
      items.remove(node);
      return false;
    }
    consumed += kItemHead - 8 + static_cast<unsigned long long>(stored);
    myIndex.push_back(&it);
    ++count;
  }
}

bool cSoftPkg::addStored(cFileIOTarget& source, unsigned int size, sPkgItem& made) {
  made.data.set(size);
  sSHA256Ctx ctx;
  sha256_starts(&ctx);
  // A source that ends before its size, or answers an error, leaves no item:
  // bytes never read must not be installed as if they were content.
  for (unsigned long long done = 0; done < size;) {
    unsigned int want = size - done < kPiece ? static_cast<unsigned int>(size - done) : kPiece;
    unsigned int got = source.read(made.data.ptr + done, want);
    if (got == 0 || got > want) return false;
    sha256_update(&ctx, made.data.ptr + done, got);
    done += got;
  }
  sha256_finish(&ctx, made.digest);
  return true;
}

bool cSoftPkg::addDeflated(cFileIOTarget& source, unsigned int size, sPkgItem& made) {
  cZPieceDeflater deflater(9);
  if (!deflater.valid()) return false;
  cMemIOTarget packed(65536);
  sSHA256Ctx ctx;
  sha256_starts(&ctx);
  unsigned char piece[kPiece];
  unsigned long long total = 0;
  // A short piece is the last: it finishes the stream, also when it is
  // empty because the source ended on a whole piece, so every item carries
  // the zlib end.
  for (bool last = false; !last;) {
    unsigned int got = source.read(piece, kPiece);
    if (got > kPiece) return false;
    total += got;
    last = got < kPiece;
    sha256_update(&ctx, piece, got);
    if (!deflater.piece(piece, got, last, packed)) return false;
  }
  if (total != size || packed.size() > 0xFFFFFFFFull) return false;
  if (!packed.toBuffer(made.data)) return false;
  made.unpackedSize = size;
  sha256_finish(&ctx, made.digest);
  return true;
}

int cSoftPkg::addPkgItem(cFileIOTarget* source, bool compress) {
  if (!source || count >= 0x7FFFFFFF) return -1;
  unsigned long long size = source->size();
  if (size > 0xFFFFFFFFull || !source->set_fp(0)) return -1;
  auto* node = items.add();
  bool made = false;
  try {
    // An empty content is stored: an unpacked size of 0 already means "as is".
    made = compress && size ? addDeflated(*source, static_cast<unsigned int>(size), node->value)
                            : addStored(*source, static_cast<unsigned int>(size), node->value);
  } catch (const std::bad_alloc&) {
  }
  if (!made) {
    items.remove(node);
    return -1;
  }
  myIndex.push_back(&node->value);
  return static_cast<int>(count++);
}

cFileIOTarget* cSoftPkg::item(int i) {
  sPkgItem* it = at(i);
  if (!it || !it->data.count) return nullptr;
  auto* plain = new cBufWrapperIO(it->data.ptr, it->data.count, false);
  if (!it->unpackedSize) return plain;
  auto* inflating = new cZStream;
  if (!inflating->create(plain, it->unpackedSize, kPiece, true)) {
    delete inflating;
    return nullptr;
  }
  return inflating;
}

unsigned int cSoftPkg::sizeOf(int i) {
  sPkgItem* it = at(i);
  if (!it) return 0;
  return it->unpackedSize ? it->unpackedSize : static_cast<unsigned int>(it->data.count);
}

bool cSoftPkg::digest(int i, unsigned char (&out)[32]) {
  sPkgItem* it = at(i);
  if (!it) return false;
  std::memcpy(out, it->digest, 32);
  return true;
}

bool cSoftPkg::mkDigest(cFileIOTarget* source, unsigned char (&out)[32]) {
  if (!source) return false;
  unsigned char piece[kPiece];
  sSHA256Ctx ctx;
  sha256_starts(&ctx);
  for (;;) {
    unsigned int got = source->read(piece, kPiece);
    if (!got) break;
    // An error answer is not a length: nothing past the piece is digested.
    if (got > kPiece) return false;
    sha256_update(&ctx, piece, got);
  }
  sha256_finish(&ctx, out);
  return true;
}
