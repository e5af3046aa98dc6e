#include "picts/pictbase.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "picts/pixelalloc.h"

cPictBase::sExtPictDef::sExtPictDef(cPictBase* p) {
  if (!p) return;
  pixels = p->raw8Bpp();
  width = p->width();
  height = p->height();
}

cPictBase::~cPictBase() { delete myOwnedProvider; }

void cPictBase::setSecurityProvider(cSecurityProviderRequestTarget* p) {
  if (p != myOwnedProvider) delete myOwnedProvider;
  myOwnedProvider = p;
  myProvider = p;
}

void cPictBase::refSecurityProvider(cSecurityProviderRequestTarget* p) {
  // The provider may be the one owned so far; it must outlive this call.
  if (p != myOwnedProvider) delete myOwnedProvider;
  myOwnedProvider = nullptr;
  myProvider = p;
}

bool cPictBase::getBasicEncryptionPassword(_guardchar<char>& out, const char* text) {
  if (!myProvider) return false;
  cSecurityProviderRequestTarget::sRequest req;
  req.text.set(text);
  if (!myProvider->request(cSecurityProviderRequestTarget::rkBasicEncryptionPassword, req)) return false;
  std::swap(out.ptr, req.answer.ptr);
  return true;
}

unsigned int cPictBase::to8Bpp(unsigned long long v) const {
  if (myDivisor16 == 256.0 && myOffset16 == 0)
    return static_cast<unsigned int>(((v >> 8) & 0xFF) | ((v >> 16) & 0xFF00) | ((v >> 24) & 0xFF0000) |
                                     ((v >> 32) & 0xFF000000));
  double inverse = 1.0 / myDivisor16;
  unsigned int word = 0;
  for (int k = 0; k < 4; ++k) {
    double c = static_cast<double>(((v >> (16 * k)) & 0xFFFF) + myOffset16) * inverse;
    unsigned int byte = c <= 0 ? 0 : c >= 255 ? 255 : static_cast<unsigned int>(c);
    word |= byte << (8 * k);
  }
  return word;
}

bool cPictBase::mk8BppFrom16Bpp(const unsigned long long* src, long long count, _typebuf<unsigned int>& out) {
  if (!src || count <= 0) return false;
  try {
    out.set(count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (long long i = 0; i < count; ++i) out.ptr[i] = to8Bpp(src[i]);
  return true;
}

bool cPictBase::getColorData(_typebuf<unsigned int>& out) {
  if (myIs16) return mk8BppFrom16Bpp(myPix16.ptr, myPix16.count, out);
  if (!myPix8.ptr) return false;
  try {
    out.set(myPix8.count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memcpy(out.ptr, myPix8.ptr, static_cast<size_t>(myPix8.count) * sizeof(unsigned int));
  return true;
}

bool cPictBase::getPageSize(cFileIOTarget* io, int page, int& w, int& h) {
  sPictInfo info;
  // A header may promise more than an int holds; cut, it would turn negative.
  if (page != 0 || !io || !isPicture(io, &info) || info.width > INT_MAX || info.height > INT_MAX)
    return false;
  w = static_cast<int>(info.width);
  h = static_cast<int>(info.height);
  return true;
}

bool cPictBase::decodePage(cFileIOTarget* io, int page) { return page == 0 && decode(io); }

// Buffers are handed over whole: the pixels never exist twice.
void cPictBase::moveTo(cPictBase& dst) {
  dst.myWidth = myWidth;
  dst.myHeight = myHeight;
  dst.myIs16 = myIs16;
  if (myIs16) {
    dst.myDivisor16 = myDivisor16;
    dst.myOffset16 = myOffset16;
    dst.myPix16.set(0);
    std::swap(dst.myPix16.ptr, myPix16.ptr);
    std::swap(dst.myPix16.count, myPix16.count);
  } else {
    dst.myPix8.set(0);
    std::swap(dst.myPix8.ptr, myPix8.ptr);
    std::swap(dst.myPix8.count, myPix8.count);
  }
  myPix8.set(0);
  myPix16.set(0);
}

void cPictBase::close() {
  myPix8.set(0);
  myPix16.set(0);
  myWidth = 0;
  myHeight = 0;
}

bool cPictBase::moveToColorData(_typebuf<unsigned int>& out) {
  if (myIs16) {
    if (!mk8BppFrom16Bpp(myPix16.ptr, myPix16.count, out)) return false;
  } else {
    if (!myPix8.ptr) return false;
    out.set(0);
    std::swap(out.ptr, myPix8.ptr);
    std::swap(out.count, myPix8.count);
  }
  close();
  return true;
}

bool cPictBase::adoptColorData(cPictBase& src) {
  long long w = src.width(), h = src.height();
  _typebuf<unsigned int> pixels;
  if (!src.moveToColorData(pixels)) return false;
  close();
  myIs16 = false;
  std::swap(myPix8.ptr, pixels.ptr);
  std::swap(myPix8.count, pixels.count);
  myWidth = w;
  myHeight = h;
  return true;
}

bool cPictBase::allocPixels(long long w, long long h, bool sixteen) {
  bool done = sixteen ? allocPictPixels(myPix16, w, h) : allocPictPixels(myPix8, w, h);
  if (sixteen)
    myPix8.set(0);
  else
    myPix16.set(0);
  myIs16 = sixteen;
  myWidth = done ? w : 0;
  myHeight = done ? h : 0;
  return done;
}

// A buffer that already holds the count is kept as it is.
bool cPictDummy::createMode(long long w, long long h, bool sixteen) {
  if (sixteen)
    myPix8.set(0);
  else
    myPix16.set(0);
  myIs16 = sixteen;
  long long count = pictPixelCount(w, h);
  if (count > 0 && count == (sixteen ? myPix16.count : myPix8.count)) {
    myWidth = w;
    myHeight = h;
    return true;
  }
  return allocPixels(w, h, sixteen);
}

bool cPictDummy::create_und(long long w, long long h) { return createMode(w, h, false); }

bool cPictDummy::create(long long w, long long h, unsigned int colour) {
  if (!create_und(w, h)) return false;
  for (long long i = 0; i < myPix8.count; ++i) myPix8.ptr[i] = colour;
  return true;
}

bool cPictDummy::create16_und(long long w, long long h) { return createMode(w, h, true); }

bool cPictDummy::create16(long long w, long long h, unsigned long long colour) {
  if (!create16_und(w, h)) return false;
  for (long long i = 0; i < myPix16.count; ++i) myPix16.ptr[i] = colour;
  return true;
}
