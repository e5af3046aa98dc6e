// The picture every decoder fills: pixels, the render target that decoders
// draw into while decoding, whole-picture transforms, and the factory that
// picks a decoder for a stream.
//
// Pixels are words 0xAARRGGBB (8-bit mode) or four 16-bit channels in the
// same order (16-bit mode), rows stored bottom-up: buffer row 0 is the
// picture's last row.
#pragma once

#include "base/btree.h"
#include "base/buffers.h"
#include "picts/pictprops.h"
#include "picts/securityprovider.h"

class cFileIOTarget;
class cPictDummy;

// What `typeOf` answers, one code per decoder class; 13 and 20 are unused.
enum ePictType {
  kPictBase = 0,
  kPictJPEG = 1,
  kPictTIFF = 2,
  kPictPNG = 3,
  kPictNEF = 4,
  kPictDIB = 5,
  kPictBMP = 6,
  kPictICO = 7,
  kPictJP2 = 8,
  kPictJ2K = 9,
  kPictCR2 = 10,
  kPictGIF = 11,
  kPictICNS = 12,
  kPictCRW = 14,
  kPictDNG = 15,
  kPictMOS = 16,
  kPictTIFF_EP = 17,
  kPict3FR = 18,
  kPictRAF = 19,
  kPictRWL = 21,
  kPictIIQ = 22,
  kPictSRW = 23,
  kPictPEF = 24,
  kPictARW = 25,
  kPictMRW = 26,
  kPictORF = 27,
  kPictX3F = 28,
  kPictTGA = 29,
  kPictPPM = 30,
  kPictPCX = 31,
  kPictDICOM = 32,
  kPictDICOMLegacy = 33,
  kPictXPM = 34,
};

class cPictBase {
 public:
  // What a probe learns without decoding.
  struct sPictInfo {
    long long width = 0;
    long long height = 0;
    bool hasPreview = false;
  };

  // A caller's 8-bit bitmap that a picture is drawn into, scaled and centred.
  struct sExtPictDef {
    unsigned int* pixels = nullptr;
    long long width = 0;
    long long height = 0;
    long long panX = 0;  // explicit mode only, in source pixels
    long long panY = 0;
    unsigned int background = 0;
    double scale = 1.0;  // explicit mode only
    int mode = 0;        // 0 fit, 1 explicit scale
    explicit sExtPictDef(cPictBase* p);
  };

  // One cell of the scaled region: the weighted sums of blue, green, red, alpha.
  struct sColorComposFloat {
    float c[4];
  };

  // Property keys; the comment gives the kind of value each key holds.
  enum eExProps {
    epText = 0,                  // String
    epDateTaken = 1,             // Timestamp
    epDateTime = 2,              // Timestamp
    epMake = 3,                  // String
    epModel = 4,                 // String
    epExposureTime = 5,          // Double, seconds
    epFNumber = 6,               // Double
    epISOSpeed = 7,              // Int
    epXResolution = 8,           // Double
    epYResolution = 9,           // Double
    epResolutionInches = 10,     // Int, 1 unless the unit is the centimetre
    epMirror = 11,               // Int, 0 none, 1 or 2
    epRotation = 12,             // Int, degrees
    epThumbnail = 13,            // Image
    epPreviewImage = 14,         // Image
    epLatitude = 15,             // Double, negative in the south
    epLongitude = 16,            // Double, negative in the west
    epAltitude = 17,             // Double, negative below sea level
    epEmbeddedWidth = 18,        // Int
    epEmbeddedHeight = 19,       // Int
    epEmbeddedCompression = 20,  // Int
    epMakerNote = 21,            // Raw
  };

  enum eRotateDegrees { kRotate0 = 0, kRotate90 = 90, kRotate180 = 180, kRotate270 = 270 };

  cPictBase();
  cPictBase(const cPictBase&) = delete;
  cPictBase& operator=(const cPictBase&) = delete;
  virtual ~cPictBase();

  virtual int typeOf() { return kPictBase; }
  virtual bool is16Bpp() { return myIs16; }
  // Whether the stream, from its current position, holds this format; fills
  // `info` when given. Never decodes pixels.
  virtual bool isPicture(cFileIOTarget* io, sPictInfo* info) = 0;
  // Decodes the first page into the render target when one is set and the
  // decoder supports it, else into the pixel buffer of its mode.
  virtual bool decode(cFileIOTarget* io) = 0;
  virtual bool getColorData(_typebuf<unsigned int>& out);
  virtual long long width() { return myWidth; }
  virtual long long height() { return myHeight; }
  virtual bool supportsExtRendering() { return false; }
  virtual bool supportsMultipage() { return false; }
  virtual int getNumPages(cFileIOTarget*) { return 1; }
  virtual bool getPageSize(cFileIOTarget* io, int page, int& w, int& h);
  virtual bool decodePage(cFileIOTarget* io, int page);
  virtual bool decodePagePreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, int page,
                                 bool allowDecode, unsigned int background);
  // The embedded preview that best suits the size hints; none by default.
  virtual bool getPreview(cFileIOTarget*, cPictBase&, long long const*, long long const*) { return false; }

  unsigned int* raw8Bpp() { return myPix8.ptr; }
  unsigned long long* raw16Bpp() { return myPix16.ptr; }
  double scale16Bpp() const { return myDivisor16; }
  void setScale16Bpp(double d) { myDivisor16 = d == 0 ? 256.0 : d; }
  int base16Bpp() const { return static_cast<int>(myOffset16); }
  void setBase16Bpp(int o) { myOffset16 = o < 0 ? 0 : o > 65535 ? 65535 : static_cast<unsigned int>(o); }
  void setWantAlts(bool want) { myWantAlts = want; }

  // The picture owns and uses `p`.
  void setSecurityProvider(cSecurityProviderRequestTarget* p);
  // The picture uses `p` and owns none.
  void refSecurityProvider(cSecurityProviderRequestTarget* p);
  // Asks the provider for the password of `text`; false without a provider
  // or when it gives none.
  bool getBasicEncryptionPassword(_guardchar<char>& out, const char* text);

  bool mk8BppFrom16Bpp(const unsigned long long* src, long long count, _typebuf<unsigned int>& out);
  void moveTo(cPictBase& dst);
  void close();
  bool moveToColorData(_typebuf<unsigned int>& out);

  // Tables that colour conversions apply per channel; the picture keeps
  // only the pointers.
  bool setColorAdjustCurve(int channel, unsigned char* table);
  bool setColorAdjustCurve(int channel, unsigned short* table);

  // The property under `key`; `create` makes one of the key's kind when none exists.
  cPictProp* getProp(eExProps key, bool create);
  cPictPropInt* getPropInt(eExProps key);
  cPictPropDouble* getPropDouble(eExProps key);
  cPictPropTimestamp* getPropTimestamp(eExProps key);
  cPictPropString* getPropString(eExProps key);
  cPictPropImage* getPropImage(eExProps key);
  cPictPropRaw* getPropRaw(eExProps key);
  void removeProp(eExProps key);

  // Transforms of the decoded pixels, in either mode.
  bool flip();
  bool rotate(eRotateDegrees d);
  bool stretchTo(int w, int h, cPictBase& dst);
  bool hStretchTo(int w, _typebuf<unsigned int>& out);
  bool hStretchTo(int w, _typebuf<unsigned long long>& out);
  bool autoScaleFrom(unsigned long long* src, long long w, long long h);
  bool autoScaleFrom(unsigned int* src, long long w, long long h);
  bool autoScaleFrom(cPictBase& other);

  // Rendering into a caller's bitmap while decoding.
  bool setExtTarget(sExtPictDef* t);
  bool isExtRender() const { return myTarget != nullptr; }
  bool checkNeedExtRender();
  bool startExtRender();
  bool setExtPix(long long x, long long y, unsigned int pixel);
  bool setExtPix16(long long x, long long y, unsigned long long pixel);
  bool setExtComp(long long x, long long y, unsigned char value, int component);
  bool setExtComp16(long long x, long long y, unsigned short value, int component);
  void endExtRender();
  bool canExtRender(long long x0, long long x1, long long y0, long long y1) const;
  bool toExtTarget(sExtPictDef* t);

  // The factory. Result codes of the int operations: 0 done, 1 bad
  // arguments or size, 2 destination or drawing failed, 3 no decoder,
  // 4 decoding failed, 5 no preview and decoding not allowed.
  static cPictBase* mkPicture(cFileIOTarget* io, sPictInfo* info);
  // For a stream no decoder takes: why, when it is of a known kind this
  // library does not read ("high-throughput JPEG 2000 is not supported", a
  // raw mosaic no camera reader takes); nullptr for anything else.
  static const char* unreadableKind(cFileIOTarget* io);
  static int getImage(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH,
                      unsigned int background);
  static int getPreview(cFileIOTarget* io, cPictDummy& out, long long maxW, long long maxH, bool allowDecode,
                        unsigned int background);
  static int getPreviewFor(cPictBase* pict, sPictInfo& info, cFileIOTarget* io, cPictDummy& out,
                           long long maxW, long long maxH, bool allowDecode, unsigned int background);
  static bool imgToPreview(cPictBase& pict, cPictDummy& out, long long maxW, long long maxH,
                           unsigned int background);

 protected:
  // Sets the size and mode and allocates the zeroed buffer of that mode
  // (the other mode's buffer is freed); the one place decoders get pixels.
  bool allocPixels(long long w, long long h, bool sixteen);
  unsigned int to8Bpp(unsigned long long v) const;
  bool wantAlts() const { return myWantAlts; }
  // The target set by setExtTarget, for decoders that hand it to an inner one.
  sExtPictDef* extTarget() const { return myTarget; }
  // Takes `src`'s size and its pixels as 8-bit words, leaving `src` empty.
  bool adoptColorData(cPictBase& src);
  // For containers: `inner` decodes `io` straight into this picture's render
  // target when one is set, else this picture takes over its pixels.
  bool decodeThrough(cPictBase& inner, cFileIOTarget* io);

  cFasterTreeList<int, unsigned char*> myCurves8;
  cFasterTreeList<int, unsigned short*> myCurves16;

  long long myWidth = 0;
  long long myHeight = 0;
  bool myIs16 = false;
  _typebuf<unsigned int> myPix8;
  _typebuf<unsigned long long> myPix16;

 private:
  cSecurityProviderRequestTarget* myProvider = nullptr;
  cSecurityProviderRequestTarget* myOwnedProvider = nullptr;

  template <typename T>
  bool autoScaleWords(const T* src, long long w, long long h);
  bool accumulate(long long x, long long y, const unsigned int* values, int first, int last, double share);

  template <typename P>
  P* propOfKind(eExProps key, int kind);

  cFasterTreeList<eExProps, cPtr<cPictProp>> myProps;
  double myDivisor16 = 256.0;
  unsigned int myOffset16 = 0;
  bool myWantAlts = true;

  _typebuf<sColorComposFloat> myAccum;
  _typebuf<float> myWeights;
  long long myRegW = 0;
  long long myRegH = 0;
  sExtPictDef* myTarget = nullptr;
  long long myOffX = 0;
  long long myOffY = 0;
  double myRatio = 1.0;
  long long myVisLeft = 0;
  long long myVisRight = 0;
  long long myVisTop = 0;
  long long myVisBottom = 0;
};

// The plain in-memory picture that callers receive pictures into.
class cPictDummy : public cPictBase {
 public:
  bool isPicture(cFileIOTarget*, sPictInfo*) override { return false; }
  bool decode(cFileIOTarget*) override { return false; }

  bool create_und(long long w, long long h);
  bool create(long long w, long long h, unsigned int colour);
  bool create16_und(long long w, long long h);
  bool create16(long long w, long long h, unsigned long long colour);

 private:
  bool createMode(long long w, long long h, bool sixteen);
};
