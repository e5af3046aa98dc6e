// SHA-256 and SHA-512 throughput on 1 MiB blocks, against libcrypto's EVP
// digests measured in the same run.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "hash/sha256.h"
#include "hash/sha512.h"
#include "hash/sha_blocks.h"

namespace {

const size_t kBlock = 1 << 20;

// Best of several rounds, in MiB per second, so one slow round on a busy
// machine does not decide the figure.
template <typename Digest>
double throughput(Digest digest, int blocksPerRound) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < blocksPerRound; ++i) digest();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double rate = blocksPerRound / seconds;
    if (rate > best) best = rate;
  }
  return best;
}

double evp(const EVP_MD* md, const std::vector<unsigned char>& data, int blocks) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len;
  double rate = throughput(
      [&] {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, out, &len);
      },
      blocks);
  EVP_MD_CTX_free(ctx);
  return rate;
}

}  // namespace

int main() {
  std::vector<unsigned char> data(kBlock);
  for (size_t i = 0; i < kBlock; ++i) data[i] = static_cast<unsigned char>(i * 31 + 7);
  unsigned char out[64];

  double sha256 = throughput([&] { _SHA2Hash(data.data(), out, kBlock); }, 200);
  double ssl256 = evp(EVP_sha256(), data, 200);
  double sha512 = throughput([&] { _SHA512Hash(data.data(), out, kBlock); }, 100);
  double ssl512 = evp(EVP_sha512(), data, 100);
  bool shaNi = shaUsesCpuExtensions();
  shaAllowCpuExtensions(false);
  double portable256 = throughput([&] { _SHA2Hash(data.data(), out, kBlock); }, 50);

  std::printf("sha_cpu_extensions: %s\n", shaNi ? "sha_ni" : "none");
  std::printf("sha256_mib_per_s: %.1f\n", sha256);
  std::printf("sha256_portable_mib_per_s: %.1f\n", portable256);
  std::printf("openssl_sha256_mib_per_s: %.1f\n", ssl256);
  std::printf("sha512_mib_per_s: %.1f\n", sha512);
  std::printf("openssl_sha512_mib_per_s: %.1f\n", ssl512);
  std::printf("sha512_vs_openssl: %.2f\n", sha512 / ssl512);
  std::printf("ratio sha256/openssl throughput: %.2f\n", sha256 / ssl256);
  return 0;
}
