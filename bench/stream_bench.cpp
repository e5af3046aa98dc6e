// Read throughput of the file target and the read cache against plain
// read(2) on the same warm 256 MiB file, in 64 KiB and in 1-byte requests.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/memio.h"
#include "base/targets.h"

namespace {

constexpr unsigned long long kFileSize = 256ull << 20;
constexpr unsigned int kBlock = 64 << 10;
// One system call per byte is slow enough that the unbuffered peers read
// only this much in single bytes.
constexpr unsigned long long kByteSample = 4ull << 20;
constexpr int kRounds = 5;

// Best of a few rounds, in MiB/s; `run` answers the bytes it read.
double throughput(const std::function<unsigned long long()>& run) {
  double best = 0;
  for (int i = 0; i < kRounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    unsigned long long bytes = run();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double rate = static_cast<double>(bytes) / (1 << 20) / seconds;
    if (rate > best) best = rate;
  }
  return best;
}

unsigned long long sum;  // keeps the reads from being optimised away

unsigned long long readPlain(const char* path, unsigned int request, unsigned long long limit) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  std::vector<unsigned char> buf(request);
  unsigned long long total = 0;
  for (ssize_t n; total < limit && (n = read(fd, buf.data(), request)) > 0;) {
    total += static_cast<unsigned long long>(n);
    sum += buf[0];
  }
  close(fd);
  return total;
}

unsigned long long readTarget(cFileIOTarget& t, unsigned int request, unsigned long long limit) {
  std::vector<unsigned char> buf(request);
  unsigned long long total = 0;
  for (unsigned int n; total < limit && (n = t.read(buf.data(), request)) > 0 && n <= request;) {
    total += n;
    sum += buf[0];
  }
  return total;
}

unsigned long long readFile(const char* path, unsigned int request, unsigned long long limit) {
  cFileIO f;
  f.open(path, fmRead);
  return readTarget(f, request, limit);
}

unsigned long long readBuffered(const char* path, unsigned int request) {
  cFileIO f;
  f.open(path, fmRead);
  cMemBufferedIO buffered;
  buffered.ref(&f, 1 << 20);
  return readTarget(buffered, request, kFileSize);
}

}  // namespace

int main() {
  char path[] = "/tmp/zvk-stream-bench-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return 1;
  std::vector<unsigned char> block(kBlock);
  for (unsigned long long at = 0; at < kFileSize; at += kBlock) {
    for (unsigned int i = 0; i < kBlock; i += 4096) block[i] = static_cast<unsigned char>(at >> 16);
    if (write(fd, block.data(), kBlock) != kBlock) return 1;
  }
  close(fd);
  readPlain(path, kBlock, kFileSize);  // warm the page cache

  double plainBlocks = throughput([&] { return readPlain(path, kBlock, kFileSize); });
  double fileBlocks = throughput([&] { return readFile(path, kBlock, kFileSize); });
  double bufferedBlocks = throughput([&] { return readBuffered(path, kBlock); });
  double plainBytes = throughput([&] { return readPlain(path, 1, kByteSample); });
  double fileBytes = throughput([&] { return readFile(path, 1, kByteSample); });
  double bufferedBytes = throughput([&] { return readBuffered(path, 1); });
  unlink(path);

  printf("file size MiB: %llu\n", kFileSize >> 20);
  printf("read(2) 64KiB MiB/s: %.0f\n", plainBlocks);
  printf("cFileIO 64KiB MiB/s: %.0f\n", fileBlocks);
  printf("cMemBufferedIO 64KiB MiB/s: %.0f\n", bufferedBlocks);
  printf("read(2) 1B MiB/s (first 4 MiB): %.2f\n", plainBytes);
  printf("cFileIO 1B MiB/s (first 4 MiB): %.2f\n", fileBytes);
  printf("cMemBufferedIO 1B MiB/s: %.0f\n", bufferedBytes);
  printf("checksum: %llu\n", sum % 1000);
  printf("ratio buffered/read(2) throughput: %.2f\n", bufferedBlocks / plainBlocks);
  return 0;
}
