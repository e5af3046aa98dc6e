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
  if (fresh) it->second = toolAnswer({tool}, patternMessage(size));
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
// fall inside updates as well as between them; answers the digest in hex.
template <typename Ctx, typename Start, typename Update, typename Finish>
std::string inPieces(const std::vector<unsigned char>& m, size_t digestLen, Start start, Update update,
                     Finish finish) {
  Ctx c;
  start(&c);
  size_t at = 0;
  for (unsigned int step = 1; at < m.size(); step = step * 3 % 257 + 1) {
    unsigned int n = static_cast<unsigned int>(std::min<size_t>(step, m.size() - at));
    update(&c, m.data() + at, n);
    at += n;
  }
  unsigned char d[64];
  finish(&c, d);
  return hex(d, digestLen);
}

TEST_P(ShaPaths, EveryEntryPointEqualsTheSystemTools) {
  for (size_t size : kSizes) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    auto m = patternMessage(size);
    const long long n = static_cast<long long>(size);
    const std::string& sha1 = reference("sha1sum", size);
    unsigned char d[64], d20[20];
    _SHA1Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 20), sha1);
    SHA1Hash(m.data(), d20, static_cast<int>(n));
    EXPECT_EQ(hex(d20, 20), sha1);
    EXPECT_EQ(inPieces<SHA1_CTX>(m, 20, sha1_init, sha1_update, sha1_final), sha1);
    EXPECT_EQ(inPieces<SHA_CTX>(m, 20, sha_init, sha_update,
                                [](SHA_CTX* c, unsigned char* out) {
                                  sha_final(c);
                                  sha_digest(c, out);
                                }),
              sha1);
    _SHA2Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 32), reference("sha256sum", size));
    EXPECT_EQ(inPieces<sSHA256Ctx>(m, 32, sha256_starts, sha256_update, sha256_finish),
              reference("sha256sum", size));
    _SHA512Hash(m.data(), d, n);
    EXPECT_EQ(hex(d, 64), reference("sha512sum", size));
    EXPECT_EQ(inPieces<sSHA512Ctx>(m, 64, sha512_starts, sha512_update, sha512_finish),
              reference("sha512sum", size));
    EXPECT_EQ(inPieces<sSHA512Ctx>(m, 48, sha384_starts, sha384_update, sha384_finish),
              reference("sha384sum", size));
  }
}

INSTANTIATE_TEST_SUITE_P(Hash, ShaPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "CpuExtensions" : "Portable";
                         });

TEST(ShaText, MinusOneMeansUpToTheTerminator) {
  const std::vector<unsigned char> abc{'a', 'b', 'c'};
  unsigned char d[64], d32[32], d20[20];
  SHA2Hash("abc", d32, -1);
  EXPECT_EQ(hex(d32, 32), toolAnswer({"sha256sum"}, abc));
  SHA2Hash("abc", d32, 0);
  EXPECT_EQ(hex(d32, 32), reference("sha256sum", 0));
  SHA1Hash("abc", d20, -1);
  EXPECT_EQ(hex(d20, 20), toolAnswer({"sha1sum"}, abc));
  SHA512Hash("abc", d, -1);
  EXPECT_EQ(hex(d, 64), toolAnswer({"sha512sum"}, abc));
}

TEST(ShaCopy, CopyFinishesThePrefixWhileTheSourceGoesOn) {
  auto m = patternMessage(129);
  SHA_CTX whole, prefix;
  sha_init(&whole);
  sha_update(&whole, m.data(), 65);  // leaves one pending byte to copy
  sha_copy(&prefix, &whole);
  sha_update(&whole, m.data() + 65, 64);
  unsigned char d[20];
  for (auto [ctx, size] : {std::pair{&prefix, 65}, {&whole, 129}}) {
    sha_final(ctx);
    sha_digest(ctx, d);
    EXPECT_EQ(hex(d, 20), reference("sha1sum", size));
  }
  sha_digest(&whole, nullptr);
}

TEST(Hmac, KeysUpToTheBlockAreUsedAsTheyAreLongerOnesHashedFirst) {
  auto text = patternMessage(200);
  for (int keyLen : {64, 65, 128, 129}) {
    std::vector<unsigned char> key(static_cast<size_t>(keyLen));
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 13 + 1);
    auto openssl = [&](const char* digest) {
      return toolAnswer({"openssl", "dgst", "-r", "-mac", "HMAC", std::string("-") + digest, "-macopt",
                         "hexkey:" + hex(key.data(), key.size())},
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
