// Test-side file and tool helpers shared by the picture tests: whole files
// read and written, and the oracle tools run without a shell.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace scratchio {

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Runs a tool without a shell, its standard output into `out` (discarded
// when empty) and its standard error discarded; true when it exits with 0.
inline bool run(const std::vector<std::string>& args, const std::string& out = "") {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null = open("/dev/null", O_WRONLY);
    if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A folder of this test program's own under TMPDIR (else /tmp), made at
// the first call for `prefix` and removed with all it holds when the
// program ends: the oracles' pictures would otherwise pile up run after run.
// A program that cannot have one stops, rather than write beside others.
inline const std::string& programFolder(const char* prefix) {
  static auto* made = new std::vector<std::pair<std::string, std::string>>;
  for (const auto& [name, folder] : *made)
    if (name == prefix) return folder;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "_XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror(pattern.c_str());
    std::abort();
  }
  if (made->empty())
    std::atexit([] {
      std::error_code ignored;
      for (const auto& entry : *made) std::filesystem::remove_all(entry.second, ignored);
    });
  made->emplace_back(prefix, pattern);
  return made->back().second;
}

}  // namespace scratchio
