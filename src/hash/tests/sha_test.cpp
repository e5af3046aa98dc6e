#include <gtest/gtest.h>

#include <map>

#include "digest_support.h"
#include "hash/hmac.h"
#include "hash/sha1.h"
#include "hash/sha256.h"
#include "hash/sha512.h"
#include "hash/sha_blocks.h"

namespace {

const size_t kSizes[] = {0, 55, 56, 63, 64, 65, 111, 112, 127, 128, 129, 1 << 20};

// What a system tool prints for patternMessage(size), asked once per pair.
const std::string& reference(const std::string& tool, size_t size) {
  static std::map<std::pair<std::string, size_t>, std::string> seen;
  auto [it, fresh] = seen.try_emplace({tool, size});
  if (fresh) it->second = toolAnswer(tool, patternMessage(size));
  return it->second;
}

// Every digest is checked with the portable block functions and, where the
// processor has them, with its SHA instructions.
class ShaPaths : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    shaAllowCpuExtensions(GetParam());
    if (GetParam() && !shaUsesCpuExtensions()) GTEST_SKIP() << "no SHA instructions on this processor";
  }
  void TearDown() override { shaAllowCpuExtensions(true); }
};

// Feeds the message through a context in uneven pieces, so block boundaries
// fall inside updates as well as between them.
template <typename Update>
void feedUneven(const std::vector<unsigned char>& m, Update update) {
  size_t at = 0;
  for (unsigned int step = 1; at < m.size(); step = step * 3 % 257 + 1) {
    unsigned int n = static_cast<unsigned int>(std::min<size_t>(step, m.size() - at));
    update(m.data() + at, n);
    at += n;
  }
}

template <typename Ctx>
std::string inPieces(const std::vector<unsigned char>& m, size_t digestLen, void (*start)(Ctx*),
                     void (*update)(Ctx*, const unsigned char*, unsigned int),
                     void (*finish)(Ctx*, unsigned char*)) {
  Ctx c;
  start(&c);
  feedUneven(m, [&](const unsigned char* p, unsigned int n) { update(&c, p, n); });
  unsigned char d[64];
  finish(&c, d);
  return hex(d, digestLen);
}

TEST_P(ShaPaths, EveryEntryPointEqualsTheSystemTools) {
  for (size_t size : kSizes) {
    auto m = patternMessage(size);
    const long long n = static_cast<long long>(size);
    const std::string& sha1 = reference("sha1sum", size);
    const std::string& sha256 = reference("sha256sum", size);
    const std::string& sha384 = reference("sha384sum", size);
    const std::string& sha512 = reference("sha512sum", size);
    SCOPED_TRACE(std::to_string(size) + " bytes");
    unsigned char d[64];

    _SHA1Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 20), sha1) << "SHA1_CTX one call";
    unsigned char d20[20];
    SHA1Hash(m.data(), d20, static_cast<int>(n));
    EXPECT_EQ(hex(d20, 20), sha1) << "SHA_CTX one call";
    SHA1_CTX c1;
    sha1_init(&c1);
    feedUneven(m, [&](const unsigned char* p, unsigned int k) { sha1_update(&c1, p, k); });
    sha1_final(&c1, d);
    EXPECT_EQ(hex(d, 20), sha1) << "SHA1_CTX pieces";
    EXPECT_EQ(hex(c1.block, 20), sha1);
    SHA_CTX c2;
    sha_init(&c2);
    feedUneven(m, [&](const unsigned char* p, unsigned int k) { sha_update(&c2, p, k); });
    sha_final(&c2);
    sha_digest(&c2, d);
    EXPECT_EQ(hex(d, 20), sha1) << "SHA_CTX pieces";

    _SHA2Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 32), sha256);
    EXPECT_EQ(inPieces(m, 32, sha256_starts, sha256_update, sha256_finish), sha256) << "pieces";
    _SHA512Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 64), sha512);
    EXPECT_EQ(inPieces(m, 64, sha512_starts, sha512_update, sha512_finish), sha512) << "pieces";
    EXPECT_EQ(inPieces(m, 48, sha384_starts, sha384_update, sha384_finish), sha384);
  }
}

INSTANTIATE_TEST_SUITE_P(Hash, ShaPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "CpuExtensions" : "Portable";
                         });

TEST(ShaText, MinusOneMeansUpToTheTerminator) {
  const char* text = "abc";
  const std::vector<unsigned char> abc(text, text + 3);
  unsigned char d[64], d32[32], d20[20];
  SHA2Hash(text, d32, -1);
  EXPECT_EQ(hex(d32, 32), toolAnswer("sha256sum", abc));
  SHA2Hash(text, d32, 0);
  EXPECT_EQ(hex(d32, 32), reference("sha256sum", 0));
  SHA1Hash(text, d20, -1);
  EXPECT_EQ(hex(d20, 20), toolAnswer("sha1sum", abc));
  SHA512Hash(text, d, -1);
  EXPECT_EQ(hex(d, 64), toolAnswer("sha512sum", abc));
}

TEST(ShaCopy, CopyFinishesThePrefixWhileTheSourceGoesOn) {
  auto m = patternMessage(129);
  SHA_CTX whole, prefix;
  sha_init(&whole);
  sha_update(&whole, m.data(), 64);
  sha_update(&whole, m.data() + 64, 1);  // leaves one pending byte to copy
  sha_copy(&prefix, &whole);
  sha_update(&whole, m.data() + 65, 64);
  sha_final(&whole);
  sha_final(&prefix);
  unsigned char d[20];
  sha_digest(&prefix, d);
  EXPECT_EQ(hex(d, 20), reference("sha1sum", 65));
  sha_digest(&whole, d);
  EXPECT_EQ(hex(d, 20), reference("sha1sum", 129));
  sha_digest(&whole, nullptr);
}

TEST(Hmac, KeysUpToTheBlockAreUsedAsTheyAreLongerOnesHashedFirst) {
  auto text = patternMessage(200);
  for (int keyLen : {64, 65, 128, 129}) {
    std::vector<unsigned char> key(static_cast<size_t>(keyLen));
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 13 + 1);
    auto openssl = [&](const char* digest) {
      return toolAnswer(std::string("openssl dgst -r -mac HMAC -") + digest +
                            " -macopt hexkey:" + hex(key.data(), key.size()),
                        text);
    };
    unsigned char d[64];
    hmac_sha1(text.data(), 200, key.data(), keyLen, d);
    EXPECT_EQ(hex(d, 20), openssl("sha1")) << keyLen;
    hmac_sha256(text.data(), 200, key.data(), keyLen, d);
    EXPECT_EQ(hex(d, 32), openssl("sha256")) << keyLen;
    hmac_sha512(text.data(), 200, key.data(), keyLen, d);
    EXPECT_EQ(hex(d, 64), openssl("sha512")) << keyLen;
  }
}

}  // namespace
