// The entropy decoder of one JPEG scan: Huffman-coded blocks of DCT
// coefficients (sequential and progressive) or lossless samples. Built on the
// stack per scan from the parser's state; the RAW readers use it directly.
#pragma once

#include "picts/jpgstate.h"

class cJHuffDecoder {
 public:
  struct sJHDerivedTable {
    int maxcode[18];
    int valoffset[18];
    sJHuffSource source;
    int look_nbits[256];
    unsigned char look_sym[256];
    // AC tables: for every 9-bit prefix that holds a whole code and its
    // value, value x 256 + run x 16 + bits used; 0 when it does not.
    int fastAC[512];
  };

  bool create(sJPGState& state);
  bool nextUnit(sHuffDecodedUnit& unit);
  bool nextSample(sHuffDecodedSample& sample);
  // Lossless scans, a run of cells at a time: whether the next `cells`
  // cells can go through losslessRun (no restart falls among them and the
  // scan names every component once), and the run itself, slot i's samples
  // to out[i][0..cells). Answers how many cells came whole: the next one is
  // where a code failed, as nextSample would have found it.
  bool canRunLossless(unsigned int cells) const;
  unsigned int losslessRun(unsigned short* const* out, unsigned int cells);
  void doneCell() {
    if (myRestartsToGo > 0) --myRestartsToGo;
  }
  bool isGoodEnd() const;
  bool setDCVal(int component, int value);
  int lastDCVal(int component) const;
  bool restart();

  // Raw bits on the stuffed byte stream, for readers with their own block
  // layout.
  unsigned simpleRead(int n);

 private:
  bool mkTab(bool isDC, int id, sJHDerivedTable& table);
  bool fillBitBuf(unsigned long long& acc, unsigned int& bits, int need);
  int huffDecode(unsigned long long& acc, unsigned int& bits, int minBits, const sJHDerivedTable* table);
  bool takePlainBytes(unsigned long long& acc, unsigned int& bits);
  void refill(unsigned long long& acc, unsigned int& bits);
  int decodeSymbol(unsigned long long& acc, unsigned int& bits, const sJHDerivedTable* table);
  bool fastCode(unsigned long long& acc, unsigned int& bits, const sJHDerivedTable* t, int& run, int& value);
  bool receive(unsigned long long& acc, unsigned int& bits, int s, int& value);

  int addDC(int comp, int diff);
  bool sequentialBlock(sHuffDecodedUnit& unit, int slot, const int* order);
  bool readEobRun(unsigned long long& acc, unsigned int& bits, int r);
  bool decodeMinimalUnit(sHuffDecodedUnit& unit, int slot);
  bool decodeMinimalUnitSub(sHuffDecodedUnit& unit, int slot);
  bool decodeDCFirst(sHuffDecodedUnit& unit);
  bool decodeACFirst(sHuffDecodedUnit& unit);
  bool decodeDCRefine(sHuffDecodedUnit& unit);
  bool decodeACRefine(sHuffDecodedUnit& unit);
  bool decodeSample(sHuffDecodedSample& sample, int slot);
  template <unsigned int N>
  unsigned int runCells(unsigned short* const* out, unsigned int cells);
  bool restartIfDue();
  int scanSlotOf(int component) const;
  void record(unsigned long long& position, unsigned int& acc, unsigned char& bits) const;

  unsigned int myMode = 0;  // 1 DC first, 2 AC first, 3 DC refine, 4 AC refine, 5/6 sequential, 7 lossless
  // The byte-wise reader keeps 64 bits so that a symbol and its value
  // usually come out of one fill.
  unsigned long long myAcc = 0;
  unsigned int myBits = 0;
  unsigned int myEobRun = 0;
  unsigned int myRestartsToGo = 0;
  const sJHDerivedTable* myCurrentAC = nullptr;
  sJHDerivedTable myProgDC[4];
  sJHDerivedTable myProgAC[4];
  sJHDerivedTable mySeqDC[4];
  sJHDerivedTable mySeqAC[4];
  sJPGState* myState = nullptr;
  int myDC[4] = {};
  unsigned int myCoefLimit[4] = {};
  int myDCMap[4] = {-1, -1, -1, -1};
  const sJHDerivedTable* myScanDC[4] = {};
  const sJHDerivedTable* myScanAC[4] = {};
  const int* myOrder = nullptr;
  int myScaledOrder[64 + 16] = {};
};
