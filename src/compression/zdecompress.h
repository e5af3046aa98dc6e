// zlib member of the decompressor interface, also inflating a stream that
// arrives in parts (PNG data, documents).
#pragma once

#include <zlib.h>

#include "base/pullinput.h"
#include "compression/decompress.h"

enum class eZlibEnd {
  whole,   // its end and the right checksum, having made at most the bytes allowed
  runsOn,  // it would make more than allowed, and is not inflated past that
  broken,  // cut, damaged or its checksum wrong before that
};

struct sZlibEnd {
  eZlibEnd end;
  unsigned long long made;  // bytes inflated, at most `most` + 1
};

// Inflates a zlib stream of `len` bytes, its output dropped, as far as
// making `most` bytes.
sZlibEnd zlibStreamEnd(const unsigned char* in, unsigned long long len, unsigned long long most);
// The same over input pulled as inflating goes.
sZlibEnd zlibStreamEnd(cPullInput& in, unsigned long long most);

class cZDecompress : public cDecompress {
 public:
  bool started = false;
  z_stream stream;  // for the part-wise operations; the one-shot uses its own

  cZDecompress();
  cZDecompress(const cZDecompress&) = delete;
  cZDecompress& operator=(const cZDecompress&) = delete;
  ~cZDecompress() override;

  int typeOf() override;
  // A cut or damaged stream still answers true, with what was decoded before the damage in `out`.
  bool decompress(const _typebuf<unsigned char>& in, _typebuf<unsigned char>& out) override;

  void init();
  // Begins a new stream on the member stream.
  bool reset();
  // The bytes this part decoded go to `out`, also when it fails on damaged data.
  bool decompressPart(const unsigned char* in, long long inLen, _typebuf<unsigned char>& out);
  // One inflate step between caller buffers; afterwards `inLen` and `outLen`
  // are the bytes consumed and produced. A null `in` continues with the input
  // the previous call left over, which must still be there.
  bool decompressPart(const unsigned char* in, long long& inLen, unsigned char* out, long long& outLen);

 private:
  bool startMember();
};
