// A stream read by one format probe after another. The camera formats are
// TIFF files, so each probe walks the same directory and reads the same
// tables of strip offsets and counts; a large read asked again is answered
// from what the first one read. What is kept comes to twice the stream's
// size at most, so tags pointing many ways into one file cost little more.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "base/targets.h"

class cKeptReads : public cFileIOTarget {
 public:
  explicit cKeptReads(cFileIOTarget* io);

  unsigned long long size() override { return myIo->size(); }
  unsigned int read(void* buf, unsigned int count) override;
  bool set_fp(unsigned long long pos) override;
  bool set_fp_end(unsigned long long offset) override;
  bool set_eof(unsigned long long) override { return false; }
  void close() override {}
  bool valid() override { return myIo->valid(); }
  int typeOf() override { return myIo->typeOf(); }

 private:
  cFileIOTarget* myIo;
  unsigned long long myPos = 0;
  std::map<std::pair<unsigned long long, unsigned int>, std::vector<unsigned char>> myKept;
  unsigned long long myRoom;
};
