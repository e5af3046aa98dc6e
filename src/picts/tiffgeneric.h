// The TIFF and BigTIFF directory walker: reads one IFD at a time and hands
// each entry to virtual callbacks, with getters that convert values from the
// file's byte order. It knows nothing of pictures; the TIFF picture, the EXIF
// reader and the camera-RAW readers derive from it.
//
// Nothing read from the file is believed: a value's byte length is counted in
// 64 bits, an out-of-line value must lie wholly inside the stream before any
// buffer grows for it, and BigTIFF fields of 2^32 or more are refused rather
// than cut to 32 bits.
#pragma once

#include "base/buffers.h"
#include "base/utils.h"

class cFileIOTarget;

struct sTagProcessParam {
  int tag;
  int type;
  const void* data;
  int length;
};

struct sRational {
  unsigned int num;
  unsigned int den;
};

struct sSignedRational {
  int num;
  int den;
};

class cTiffGeneric {
 public:
  // What `errorCode` holds after a refused walk.
  enum eError {
    kErrNone = 0,
    kErrNoStream = 1,
    kErrShort = 2,     // header, IFD or entry count past the stream
    kErrRead = 3,      // a read failed, or a BigTIFF first IFD past the end
    kErrHeader = 4,    // byte order, magic or first offset
    kErrType = 5,      // an entry of a refused type
    kErrValue = 6,     // an out-of-line value outside the stream; `position` says where
    kErrCallback = 7,  // a callback refused an entry
  };
  // The pseudo tag that reports the next IFD's offset: no 16-bit tag has it.
  static constexpr int kNextIFDTag = 0x10000;
  // Pass as a size to have the stream asked for its own.
  static constexpr unsigned long long kAskSize = ~0ULL;

  cTiffGeneric() = default;
  cTiffGeneric(const cTiffGeneric&) = delete;
  cTiffGeneric& operator=(const cTiffGeneric&) = delete;
  virtual ~cTiffGeneric() = default;

  // Reads the header at the stream's start and walks the first IFD.
  virtual bool processStream(cFileIOTarget* io, unsigned long long size);
  // Walks the one IFD at `ifdOffset`; the chain is the caller's to follow.
  virtual bool processStream(cFileIOTarget* io, bool bigEndian, bool bigTiff, unsigned int ifdOffset,
                             unsigned long long size);
  // Each entry, with its inline value (`offset` 0) or, for a value stored
  // elsewhere, a null `data` and the value's file offset. The default loads
  // the value and hands it to `onTag`.
  virtual bool onRawTag(int tag, int type, const void* data, int length, unsigned int offset);
  virtual bool onTag(int tag, int type, const void* data, int length);

  // The last walk's next IFD in host order; 0 ends the chain.
  unsigned int nextOffset() const;
  // Where the last walked IFD starts; chain walkers remember it to stop at cycles.
  unsigned int ifdOffset() const { return myIfdOffset; }
  int errorCode() const { return myError; }
  unsigned int position() const { return myPosition; }
  bool isBigEndian() const { return myBigEndian; }
  bool isBigTiff() const { return myBigTiff; }

  // Bytes per value of a field type; 0 for the types no entry may carry.
  static int typeSize(int type);

  unsigned char getU8(const void* p) const;
  unsigned short getU16(const void* p) const;
  unsigned int getU32(const void* p) const;
  unsigned long long getU64(const void* p) const;
  short getInt16(const void* p) const;
  int getInt32(const void* p) const;
  double getFloat(const void* p) const;
  double getFloatSig(const void* p) const;

  void getDataU16(const void* p, long long length, _typebuf<unsigned short>& out) const;
  void getDataU32(const void* p, long long length, _typebuf<unsigned int>& out) const;
  void getDataU64(const void* p, long long length, _typebuf<unsigned long long>& out) const;
  void getDataInt16(const void* p, long long length, _typebuf<short>& out) const;
  void getDataInt32(const void* p, long long length, _typebuf<int>& out) const;
  void getDataInt64(const void* p, long long length, _typebuf<long long>& out) const;
  void getDataRational(const void* p, long long length, _typebuf<sRational>& out) const;
  void getDataRational(const void* p, long long length, _typebuf<double>& out) const;
  void getDataSRational(const void* p, long long length, _typebuf<sSignedRational>& out) const;
  void getDataSRational(const void* p, long long length, _typebuf<double>& out) const;

  bool getValU8(const sTagProcessParam& t, unsigned char& v) const;
  bool getValsU8(const sTagProcessParam& t, _typebuf<unsigned char>& v) const;
  bool getValsASCII(const sTagProcessParam& t, _typebuf<char>& v) const;
  // The text up to its first zero, always zero-terminated.
  bool getValsPCHAR(const sTagProcessParam& t, _typebuf<char>& v) const;
  bool getValU16(const sTagProcessParam& t, unsigned short& v) const;
  bool getValsU16(const sTagProcessParam& t, _typebuf<unsigned short>& v) const;
  bool getValU32(const sTagProcessParam& t, unsigned int& v) const;
  // LONG8 values of 2^32 or more are refused, not cut.
  bool getValsU32(const sTagProcessParam& t, _typebuf<unsigned int>& v) const;
  bool getValRational(const sTagProcessParam& t, sRational& v) const;
  bool getValsRational(const sTagProcessParam& t, _typebuf<sRational>& v) const;
  bool getValSRational(const sTagProcessParam& t, sSignedRational& v) const;
  bool getValsSRational(const sTagProcessParam& t, _typebuf<sSignedRational>& v) const;
  bool getValDouble(const sTagProcessParam& t, double& v) const;
  bool getValsDouble(const sTagProcessParam& t, _typebuf<double>& v) const;
  bool getValI16(const sTagProcessParam& t, short& v) const;
  bool getValsI16(const sTagProcessParam& t, _typebuf<short>& v) const;
  bool getValI32(const sTagProcessParam& t, int& v) const;
  bool getValsI32(const sTagProcessParam& t, _typebuf<int>& v) const;

  // An EXIF date, "YYYY:MM:DD" or "YYYY:MM:DD HH:MM:SS" (any separators).
  static bool getDate(const char* text, int length, sTimestamp& out);

 protected:
  bool fail(int code) {
    myError = code;
    return false;
  }

  bool myBigEndian = false;
  bool myBigTiff = false;
  _typebuf<unsigned char> myValue;
  int myError = kErrNone;
  unsigned int myPosition = 0;
  cFileIOTarget* myStream = nullptr;
  unsigned long long myStreamSize = 0;
  unsigned int myNextOffset = 0;
  unsigned int myIfdOffset = 0;

 private:
  bool readAt(unsigned long long pos, void* buf, unsigned int count);
  bool walkEntry(const unsigned char* entry);
  template <typename T, typename F>
  void convertArray(const void* p, long long length, int size, _typebuf<T>& out, F element) const;
};
