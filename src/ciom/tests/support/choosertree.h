// The folder tree the file chooser's tests list: folders (one hidden, one
// with a file inside), files of set sizes and modification times, a hidden
// file, a symbolic link and a FIFO.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/folder.h"
#include "base/tests/scratch_dir.h"

struct sChooserTree : ScratchDir {
  sChooserTree() {
    for (const char* d : {"/docs", "/.cache"}) mkdir((root + d).c_str(), 0755);
    write("small.txt", 10);
    write("big.bin", 5 * 1024 + 1023);
    write(".hidden.txt", 2048);
    write("docs/inner.txt", 1);
    EXPECT_EQ(symlink("small.txt", (root + "/link.txt").c_str()), 0);
    EXPECT_EQ(mkfifo((root + "/pipe").c_str(), 0644), 0);
    EXPECT_TRUE(cFolderContents::setTime((root + "/big.bin").c_str(), 2021, 3, 4, 5, 6, 7));
    EXPECT_TRUE(cFolderContents::setTime((root + "/small.txt").c_str(), 1999, 12, 31, 23, 59, 58));
    EXPECT_TRUE(cFolderContents::setTime((root + "/docs").c_str(), 2022, 1, 2, 3, 4, 5));
  }
  void write(const std::string& name, long size) {
    FILE* f = std::fopen((root + "/" + name).c_str(), "wb");
    ASSERT_TRUE(f);
    for (long i = 0; i < size; ++i) std::fputc('x', f);
    std::fclose(f);
  }
};
