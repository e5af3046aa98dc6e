// Nikon NEF and NRW camera files: a TIFF whose maker note carries the
// camera's own directory and whose SubIFDs hold the sensor data and a JPEG
// preview. The sensor samples are unpacked or Huffman-decoded into a plane
// of 16-bit samples and finished by the shared RAW chain.
#pragma once

#include "picts/balance.h"
#include "picts/tiffcamera.h"

// The camera's own directory inside the maker note.
class cNEFProps : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset();

  unsigned short compression = 0;         // 0x93
  _typebuf<unsigned char> linearization;  // 0x96
  _typebuf<unsigned char> colorBalance;   // 0x97
  unsigned int shutterCount = 0;          // 0xA7
  unsigned int serial = 0;                // 0x1D, as a number
  _typebuf<unsigned char> jpegPreview;    // 0x100
  double nrwBalance[4] = {};              // 0x14
  bool hasNrwBalance = false;
};

// The directory of the full-size JPEG preview.
class cNEFJpegPreview : public cTiffGeneric {
 public:
  bool onTag(int tag, int type, const void* data, int length) override;
  void reset() { offset = 0; }

  unsigned int offset = 0;
  unsigned int length = 0;
};

class cPictNEF : public cPictTIFFCamera {
 public:
  static constexpr unsigned int kUnknownModel = 0x7FFFFF;

  cPictNEF();

  int typeOf() override { return kPictNEF; }
  bool isPicture(cFileIOTarget* io, sPictInfo* info) override;
  bool decode(cFileIOTarget* io) override;
  bool getPreview(cFileIOTarget* io, cPictBase& target, long long const* maxW,
                  long long const* maxH) override;
  static bool validFor(cFileIOTarget* io, sPictInfo* info);

  bool onTag(int tag, int type, const void* data, int length) override;
  bool decodeStripe(_typebuf<unsigned char>& in, int compression, sDecomress& out) override;

  // The model table and what it says of a model.
  static unsigned int getModel(const char* model);
  void setModel(unsigned int id) { myModel = id; }
  unsigned int blackLevel() const;
  unsigned int whiteLevel() const;
  bool getCropInfo(sMarginInfo& m) const;
  bool getScale(double& x, double& y) const;
  bool defWhiteBalance(double (&balance)[4]) const;
  bool isBayerRGB() const;
  bool getNonRGBColorMix(double (&mix)[3][4]) const;
  cBayerFilter* newFilter();
  bool decryptWhiteBalance(double (&balance)[4]);
  // False when the block is too short for the values it announces.
  bool getCurveTblFromLinearizationData(const _typebuf<unsigned char>& block, _typebuf<unsigned short>& curve,
                                        int bits) const;

  cNEFProps& makerNote() { return myProps; }

 protected:
  bool isFullConfig() override;
  // The raw strips into the plane of samples, or an ordinary picture's strips as any TIFF's.
  bool processStripes(cFileIOTarget* io, int compression) override;
  bool onBeforeDecodeStripes(bool raw) override;
  bool onAfterDecodeStripes() override;
  bool decodeColors16bpp(unsigned int row, sDecomress& record) override;

  // One unsigned 16-bit sample per photosite, raw width by raw height.
  _typebuf<unsigned short> myRaw;
  long long myRawWidth = 0;
  long long myRawHeight = 0;
  int myRawBits = 0;

 private:
  enum eNoteForm { kNoteNone, kNoteV1, kNoteV2, kNoteBare };

  void resetRaw();
  void clearCFA();
  static eNoteForm noteForm(const cPictPropRaw* note);
  bool readMakerNote(cFileIOTarget* io, cPictTIFF& probe, eNoteForm form, const cPictPropRaw& note);
  // The main directory into this picture; with `holdsRaw` it must be the sensor's.
  bool readOwnMain(cFileIOTarget* io, bool holdsRaw);
  bool readRawDirectory(cFileIOTarget* io, unsigned int offset);
  bool decodeRaw(cFileIOTarget* io);
  bool takeThumbnail(cFileIOTarget* io, cPictTIFF& probe);
  bool takePreviewDirectory(cFileIOTarget* io, unsigned int offset, eExProps key);
  bool finishPicture(cFileIOTarget* io);
  static unsigned int rawDirectory(const cPictTIFF& main);
  static unsigned int previewDirectory(const cPictTIFF& main);

  // The three ways the sensor samples are packed.
  bool unpackBits(_typebuf<unsigned char>& in, sDecomress& out, int kind);
  bool unpack12in16(_typebuf<unsigned char>& in, sDecomress& out);
  bool unpack12in24(_typebuf<unsigned char>& in, sDecomress& out);
  bool decodeHuffman(_typebuf<unsigned char>& in, sDecomress& out);

  cNEFProps myProps;
  cNEFJpegPreview myPreviewDir;
  sCFAData myCFA{0, 0, 0};
  sMarginInfo myMargins;
  unsigned int myModel = kUnknownModel;
  bool myOrdinary = false;
  cFileIOTarget* myIO = nullptr;  // of the decode under way, for the stream guard
};
