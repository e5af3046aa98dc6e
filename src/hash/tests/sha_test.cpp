#include <gtest/gtest.h>

#include <cstring>

#include "digest_support.h"
#include "hash/hmac.h"
#include "hash/sha1.h"
#include "hash/sha256.h"
#include "hash/sha512.h"
#include "hash/sha_blocks.h"

namespace {

struct sVector {
  size_t size;
  const char* digest;
};

// Computed with sha1sum, sha256sum, sha384sum and sha512sum over patternMessage(size).
const sVector kSha1[] = {
    {0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},   {55, "749bbefb28edc4638b28b2b9a9e03ab9a4032b90"},
    {56, "a5b6e9c29d201c774753ff8e7fb64931656f5e63"},  {63, "d1a454409359fc372b4d22b3cea6488d6ba1be00"},
    {64, "39a0d8b645ad85f1f976731ed112ac9455e28b78"},  {65, "d0c96e18890114a14716e9686528d2e3fdba8d9e"},
    {111, "b7b42d19ae6be209c36efe0c5dfe5bde4d306c43"}, {112, "11e920cd4ed45c60c05a916e48a942f9e39c770b"},
    {127, "bebc42d2d3d1e5fb8ad8895c2dcef2d68a6c279a"}, {128, "0060f2a7e34b6e4d459f560197ef93243732a400"},
    {129, "3a16082d1bf09b604907ec6908b9893ca3e937c0"}, {1048576, "95421610b8ddd86c86e3269bfd24d2a79199245f"},
};
const sVector kSha256[] = {
    {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {55, "8aa994584139d128848eeebc4e815639ba5ab6e6e39574195a63ac4f14f7c43b"},
    {56, "ad574708f75c044c9b85de64cb568ee7711ff4f36448c6242f053ba8f6cc2b63"},
    {63, "280ed3e8ff1df845b2e7dfe6ac6cee817bef20e783cc65abc41b818b4d2fe076"},
    {64, "c6ab9724ade5b6a7a1edfffb12f3aa9181351355af8fd08c919952ad211339dd"},
    {65, "788367c73c7ddf4c53f65e68cc0d943e6227ab55b0e78ba63ace822b1c6301c0"},
    {111, "dd1413178fb627f9abbc041ffe39c44aa7aaa0e2e6d2ca5c4528ac7073a2da45"},
    {112, "a65c92dac124062d0ab951a42773cb04fc98d1d4bf8897b176f8cff3509d379e"},
    {127, "192409cd280e14b743642ad1343fbd3e82d9305de72c078117745a679210cc3d"},
    {128, "cc548ca2dec1f6fe4f58b2e27aa9c7521607df1130d140b55a4dad0665302356"},
    {129, "81e89a7b2911aaa7795f9e3d4910cb47d6cd2b00d83b8399481527261a1a7519"},
    {1048576, "06b7bbfb7824aa03382051691630eb26de85102d1b08a81e907ec0744cd8a286"},
};
const sVector kSha384[] = {
    {0, "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {55, "c3fc2efb3f7f03957fed594638fc1a9e5b790844913e7fd43ad29a26bd5e5aaf494a137cc3f282d73e778d77d3c1c036"},
    {56, "29d62ede666ed78653a8f02f92eb8a02b4b627d15f0e6d61291f63b0ec159586316fbe3f2450d01c82d86e52ae754483"},
    {63, "cd8621421f3eca8f41d9d35b21009846018e276278195798fb84e46700baddd94dd0ae8e8230d1f3bac66997fb62a369"},
    {64, "5a7c058de8f3c7e5eb66aca0f99b51860f936baca131c77d90de19fa1bbf7c208408b6dbe4354a9b279ef4eab09acd6e"},
    {65, "d4209320edae695766368cc942300d25931a7695a9af8885e950e1757d66da8ae1eb51a4ffb13b49745204ca84a1b217"},
    {111, "5922d169e553267e1846ae2128a026407faf487dab98dfb383e751d3846f82f6edbe70b48b6202327516159d340c56a9"},
    {112, "b42aff1d6d298152801480cb2b5851c32afe5e5fbae583b0a9b52fe955440c3f276fd812c0f4439cf94c3f9e03068a21"},
    {127, "e0cc0da38b3a32572851d199e9e485afe1e62f5c24ac1c7f0b6680a1ea9febbe49d02923617d02074dd2ad70b5671389"},
    {128, "95ab88109cbf117548a8ad35909ffefa175d06a9c42614b9d359548cff5d550b30affb36ff638cd32aa5f5409066c68a"},
    {129, "1d0599fa8c2d4e8d626778051da62b78a0ecc76cbfdc5687302048373d1f8a5e772f19aeaf7be25f68e0ccf4f0b7f8a8"},
    {1048576,
     "eda0f8952773f73b179c6aebadc93e97ceb2b8885502933d9958727fd27f7d5cff872d33df15f3e4df986983839b712e"},
};
const sVector kSha512[] = {
    {0,
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931b"
     "d47417a81a538327af927da3e"},
    {55,
     "330eb5e81b4d722cae1e0efbf883efb180c3e346d2b3b797dafc90409583ed35af65dc2d7974a353f0c21663e196b60d3ee5a2c"
     "70c50b7b3bccdb93a5dbce6bf"},
    {56,
     "1b5b63bfd5420b2dc480abce3dbdb3e19e5f9d4fabffba7764883937eaae878a55362c938c141712c44c3076c3fabb2c60814c2"
     "994c311c33049a8d6de2a8898"},
    {63,
     "b16f76c30db64b5ee1ef166d2d37e13ff6cee9fd88bae9ba283cd58e0a2133b220a76db56279406461f84ce2cffd1d116d38fd9"
     "f38fc5df18770a987ff695499"},
    {64,
     "4c7aba3659929c4fd87604c532a3b5f174d0626b2d661dbbbfac76c97a49a5a7789d2c68324c754f66bf629fa72054f334feaad"
     "8b1cf4c885ae03a1e634afc18"},
    {65,
     "31ad8ce60482e91ec7f83455c280f2dbb4940a400795ae90815bc86891210ebe07b51995eb2d123d6a55a79a998e20cc07716ae"
     "a7848f6c955b4a4bf14ad0b0a"},
    {111,
     "da780d8338a8a920ceb6892cb4ecbb0cc0c66956269aadd5dd0f48790a00857bd975890f3b2955a317738cc7a770820c29f922f"
     "fbc22020f1909d594cc987d1b"},
    {112,
     "053182f7fa4e59f8636e415a77ed4fdc650f0a43834c9d35adf899599c3ab9c4153f02ff50bd01888060cd36a6fa12d9db242fc"
     "35164c80135613514186d5843"},
    {127,
     "a7a75593826fd37d4e60f6101eabb9f8ab1cf4d5319ebc805266d5da8deb5097de1a235fc5d9d3d73c50ac100ffc75089fb4546"
     "74ab61232091bd19cbdc67396"},
    {128,
     "df007a08f3aaae47e0c92ef840ecd43645ae6098c819f2a4a66174ef1cd49e5c6dfccf0616895e570b7564af641de5863dff9f8"
     "9c752913d30cf0ecf678e1635"},
    {129,
     "a10ea769b79831bca33e9efb29fc501ded6e9c88885d079acb76eecaa8ac58d68bdc7e00103053e1519352c0d064c87accc3d55"
     "3a6039decc2c4f1e7667eef79"},
    {1048576,
     "bbd88befcaa6abb0735609ac35e1dfbb5ab8064dca98effd5d493ccb0a0244cd88d5a01e86696eb17f0e7c087f89dd7f06161ec"
     "efd1776a74dfc60a27e89bc06"},
};

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

TEST_P(ShaPaths, Sha1BothFamiliesMatchReference) {
  for (const sVector& v : kSha1) {
    auto m = patternMessage(v.size);
    unsigned char d[20];
    _SHA1Hash(m.data(), d, static_cast<long long>(m.size()));
    EXPECT_EQ(hex(d, 20), v.digest) << "SHA1_CTX one call, " << v.size << " bytes";
    SHA1Hash(m.data(), d, static_cast<int>(m.size()));
    EXPECT_EQ(hex(d, 20), v.digest) << "SHA_CTX one call, " << v.size << " bytes";

    SHA1_CTX c1;
    sha1_init(&c1);
    feedUneven(m, [&](const unsigned char* p, unsigned int n) { sha1_update(&c1, p, n); });
    sha1_final(&c1, d);
    EXPECT_EQ(hex(d, 20), v.digest) << "SHA1_CTX pieces, " << v.size << " bytes";
    EXPECT_EQ(hex(c1.block, 20), v.digest);

    SHA_CTX c2;
    sha_init(&c2);
    feedUneven(m, [&](const unsigned char* p, unsigned int n) { sha_update(&c2, p, n); });
    sha_final(&c2);
    sha_digest(&c2, d);
    EXPECT_EQ(hex(d, 20), v.digest) << "SHA_CTX pieces, " << v.size << " bytes";
  }
}

TEST_P(ShaPaths, Sha256MatchesReference) {
  for (const sVector& v : kSha256) {
    auto m = patternMessage(v.size);
    unsigned char d[32];
    _SHA2Hash(m.data(), d, static_cast<long long>(m.size()));
    EXPECT_EQ(hex(d, 32), v.digest) << v.size << " bytes";
    sSHA256Ctx c;
    sha256_starts(&c);
    feedUneven(m, [&](const unsigned char* p, unsigned int n) { sha256_update(&c, p, n); });
    sha256_finish(&c, d);
    EXPECT_EQ(hex(d, 32), v.digest) << v.size << " bytes in pieces";
  }
}

TEST_P(ShaPaths, Sha384And512MatchReference) {
  for (const sVector& v : kSha512) {
    auto m = patternMessage(v.size);
    unsigned char d[64];
    _SHA512Hash(m.data(), d, static_cast<long long>(m.size()));
    EXPECT_EQ(hex(d, 64), v.digest) << v.size << " bytes";
    sSHA512Ctx c;
    sha512_starts(&c);
    feedUneven(m, [&](const unsigned char* p, unsigned int n) { sha512_update(&c, p, n); });
    sha512_finish(&c, d);
    EXPECT_EQ(hex(d, 64), v.digest) << v.size << " bytes in pieces";
  }
  for (const sVector& v : kSha384) {
    auto m = patternMessage(v.size);
    unsigned char d[48];
    sSHA512Ctx c;
    sha384_starts(&c);
    feedUneven(m, [&](const unsigned char* p, unsigned int n) { sha384_update(&c, p, n); });
    sha384_finish(&c, d);
    EXPECT_EQ(hex(d, 48), v.digest) << v.size << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Hash, ShaPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "CpuExtensions" : "Portable";
                         });

TEST(ShaText, MinusOneMeansUpToTheTerminator) {
  const char* text = "abc";
  unsigned char a[32], b[32];
  SHA2Hash(text, a, -1);
  EXPECT_EQ(hex(a, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  SHA2Hash(text, b, 0);
  EXPECT_EQ(hex(b, 32), kSha256[0].digest);
  unsigned char s1[20];
  SHA1Hash(text, s1, -1);
  EXPECT_EQ(hex(s1, 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
  unsigned char s5[64];
  SHA512Hash(text, s5, -1);
  EXPECT_EQ(hex(s5, 64),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f");
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
  EXPECT_EQ(hex(d, 20), kSha1[5].digest);  // 65 bytes
  sha_digest(&whole, d);
  EXPECT_EQ(hex(d, 20), kSha1[10].digest);  // 129 bytes
  sha_digest(&whole, nullptr);
}

TEST(Hmac, KeysUpToTheBlockAreUsedAsTheyAreLongerOnesHashedFirst) {
  // Computed with: openssl dgst -<hash> -mac HMAC -macopt hexkey:<key> over patternMessage(200).
  struct sCase {
    int keyLen;
    const char* sha1;
    const char* sha256;
    const char* sha512;
  };
  const sCase cases[] = {
      {64, "4b171e27ab17efa715c75ef7785d333e0ba5ad69",
       "d53a22c9cc6b28b90f53bf330c5fe28c161ef6b2ff50de37a6a091d5c48f69a6",
       "7ce8c1fa16c46b94aabb1cd3ff75eadc06e3e2ef7903e50e544d71805e0c91ca8b443175eb1929e914eead464c8900c01e14d"
       "5a8"
       "789b791876f2066cc852eb81"},
      {65, "b45ffac683c09af8255a6558f339380643b016b1",
       "bf91308cbcda28e270952b581dd09e62350e096f882b648a7e2554efe8d91a85",
       "f24a222ff151c7bdb36c902b86c5a5607877db18190622159f442d82792a83ac7ef07a3ea71247b4926889d2be8b5681b2f66"
       "9c0"
       "28332ea39bdffdf0d38d7659"},
      {128, "d451a10d45ae61a47ada13ff3f34e37509c960d5",
       "7d89a8679de1d0f42dd46ae98e9e0939510517221c6b93a677a626c0277ba70e",
       "ff66ea6865716834f3b490d4f2cd0b11c49cd6fe6742604fd57b9c527115eb7e5a7a8e004c47675e1c060ddf56c76adb8c09a"
       "ecb"
       "5eeb81f357d432cfaa3c60ac"},
      {129, "b96e0d1448fa7325127b7ac170f03d6190558912",
       "38f56da785a5c3f5d84ef2c532321e5f6c4cebcf64a3611f40e3e23bb3c845af",
       "f0a7c5784e39eeeda2acb2edb705798ddf36b5af4255b34201c5f40cd2c1ca090058f4af2be5bcd337701ddc7ae029ad0abfd"
       "0d4"
       "8ef098a93c77e4a6ea99ec28"},
  };
  auto text = patternMessage(200);
  for (const sCase& c : cases) {
    std::vector<unsigned char> key(static_cast<size_t>(c.keyLen));
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i * 13 + 1);
    unsigned char d[64];
    hmac_sha1(text.data(), 200, key.data(), c.keyLen, d);
    EXPECT_EQ(hex(d, 20), c.sha1) << c.keyLen;
    hmac_sha256(text.data(), 200, key.data(), c.keyLen, d);
    EXPECT_EQ(hex(d, 32), c.sha256) << c.keyLen;
    hmac_sha512(text.data(), 200, key.data(), c.keyLen, d);
    EXPECT_EQ(hex(d, 64), c.sha512) << c.keyLen;
  }
}

}  // namespace
