// A scratch folder that a target's inputs run inside, for parsers that
// resolve names against the working folder. That folder is the process's,
// and libFuzzer resolves the corpus, dictionary and output paths it was
// given against it between inputs, so it is changed for one input at a time
// and put back after. Linking this file also makes libFuzzer's artifact
// paths absolute, since a crash is written while the input runs.
#pragma once

#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

class cFuzzWorkFolder {
 public:
  // Makes /tmp/<prefix>XXXXXX, removed at exit; aborts when it cannot.
  // One per process.
  explicit cFuzzWorkFolder(const char* prefix);
  cFuzzWorkFolder(const cFuzzWorkFolder&) = delete;
  cFuzzWorkFolder& operator=(const cFuzzWorkFolder&) = delete;

  std::string path(const char* name) const;

  // The working folder is the scratch one while this lives.
  class cInside {
   public:
    explicit cInside(const cFuzzWorkFolder& folder);
    ~cInside();
    cInside(const cInside&) = delete;
    cInside& operator=(const cInside&) = delete;

   private:
    int back_;
  };

 private:
  int fd_;
};
