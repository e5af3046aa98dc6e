#include "propreader/fileprops.h"

#include "base/targets.h"
#include "propreader/simpleimageprops.h"
#include "propreader/winexeprops.h"

namespace {

constexpr int kLastProp = 17;

constexpr int kPropKinds[kLastProp + 1] = {1, 1, 1, 4, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3};

struct sFileType {
  const char* extension;
  const char* contentType;
  const char* name;
  int media;  // 0 application, 1 image
};

// Indexed by the file-type index that readers' typeOf answers.
constexpr sFileType kFileTypes[] = {
    {"exe", "application/x-msdownload", "Microsoft Application", 0},
    {"bmp", "image/bmp", "Bitmap Image File", 1},
    {"dcm", "application/dicom", "Digital Imaging and Communications in Medicine", 1},
    {"gif", "image/gif", "Graphics Interchange Format", 1},
    {"icns", "image/icns", "Apple Icon Image", 1},
    {"ico", "image/ico", "Windows Icon Image", 1},
    {"jpf", "image/jpf", "JPEG 2000 Image", 1},
    {"jp2", "image/jp2", "JPEG 2000 Image", 1},
    {"jpg", "image/jpeg", "JPEG Image", 1},
    {"pcx", "image/x-pcx", "PCX Image", 1},
    {"png", "image/png", "Portable Network Graphics", 1},
    {"ppm", "image/x-portable-pixmap", "Portable Pixmap Format", 1},
    {"tga", "image/x-tga", "Truevision TGA", 1},
    {"tiff", "image/tiff", "Tagged Image File Format", 1},
    {"pict", "image/x-image", "Generic Image", 1},
    {"arw", "image/x-sony-arw", "SONY Raw Image", 1},
    {"cr2", "image/x-canon-cr2", "CANON Raw Image", 1},
    {"crw", "image/x-canon-crw", "CANON Legacy Raw Image", 1},
    {"dng", "image/x-adobe-dng", "Digital Negative Format", 1},
    {"h3f", "image/x-hasselblad-h3f", "Hasselblad Raw Image", 1},
    {"iiq", "image/x-phaseone-iiq", "Phase One Raw Image", 1},
    {"mos", "image/x-mamiya-mos", "Mamiya Leaf Raw Image", 1},
    {"mrw", "image/x-minolta-mrw", "Minolta Raw Image", 1},
    {"nef", "image/x-nikon-nef", "NIKON Raw Image", 1},
    {"orf", "image/x-olympus-orf", "Olympus Raw Image", 1},
    {"pef", "image/x-pentax-pef", "PENTAX Raw Image", 1},
    {"raf", "image/x-fujifilm-raf", "Fujifilm Raw Image", 1},
    {"rwl", "image/x-panasonic-rwl", "Panasonic Raw Image", 1},
    {"srw", "image/x-samsung-srw", "SAMSUNG Raw Image", 1},
    {"tiff", "image/x-tiff-ep", "TIFF for Electronic Photography", 1},
    {"x3f", "image/x-sigma-x3f", "Sigma Raw Image", 1},
};

constexpr int kTypeCount = static_cast<int>(sizeof kFileTypes / sizeof kFileTypes[0]);

const sFileType* fileType(int type) { return type >= 0 && type < kTypeCount ? &kFileTypes[type] : nullptr; }

bool ofKind(int id, int kind) { return cFileObjectProps::prop_type(id) == kind; }

template <typename V>
void empty(cFasterTreeList<int, V>& tree) {
  if (tree.root) tree.destroyRec(tree.root);
  tree.root = nullptr;
}

// Property ids are small; a deep tree would mean a fault, never a need.
template <typename V>
void limitDepth(cFasterTreeList<int, V>& tree) {
  tree.depthLimit = 512;
}

}  // namespace

cFileObjectProps::cFileObjectProps() {
  limitDepth(myInts);
  limitDepth(myFloats);
  limitDepth(myStrings);
  limitDepth(myPicts);
}

cFileObjectProps* cFileObjectProps::guessObj(cFileIOTarget* io) {
  if (!io) return nullptr;
  cPictBase::sPictInfo info;
  cPictBase* decoder = cPictBase::mkPicture(io, &info);
  if (decoder) return new cSimpleImageProps(decoder);
  io->set_fp(0);
  return cWinExeProps::validFor(io) ? new cWinExeProps : nullptr;
}

void cFileObjectProps::close() {
  myPrefWidth = myPrefHeight = -1;
  empty(myInts);
  empty(myFloats);
  empty(myStrings);
  empty(myPicts);
}

void cFileObjectProps::setPreviewPreferrences(int width, int height) {
  myPrefWidth = width;
  myPrefHeight = height;
}

int* cFileObjectProps::prop_int(int id) { return myInts.find(id); }
double* cFileObjectProps::prop_float(int id) { return myFloats.find(id); }

char* cFileObjectProps::prop_string(int id) {
  _guardchar<char>* text = myStrings.find(id);
  return text ? text->ptr : nullptr;
}

cPictDummy* cFileObjectProps::prop_pict(int id) { return myPicts.find(id); }

bool cFileObjectProps::has_prop(int id) {
  switch (prop_type(id)) {
    case kKindInt: return prop_int(id) != nullptr;
    case kKindString: return prop_string(id) != nullptr;
    case kKindFloat: return prop_float(id) != nullptr;
    case kKindPict: return prop_pict(id) != nullptr;
    default: return false;
  }
}

int cFileObjectProps::prop_type(int id) { return id >= 0 && id <= kLastProp ? kPropKinds[id] : kNoKind; }

bool cFileObjectProps::setProp(int id, int v) {
  if (!ofKind(id, kKindInt)) return false;
  *myInts.insert(id) = v;
  return true;
}

bool cFileObjectProps::setProp(int id, double v) {
  if (!ofKind(id, kKindFloat)) return false;
  *myFloats.insert(id) = v;
  return true;
}

bool cFileObjectProps::setProp(int id, const char* text) {
  if (!ofKind(id, kKindString) || !text) return false;
  myStrings.insert(id)->set(text);
  return true;
}

bool cFileObjectProps::setProp(int id, cPictBase* p) {
  if (!ofKind(id, kKindPict) || !p) return false;
  p->moveTo(*myPicts.insert(id));
  return true;
}

const char* cFileObjectProps::default_extension(int type) {
  const sFileType* t = fileType(type);
  return t ? t->extension : nullptr;
}

const char* cFileObjectProps::content_type(int type) {
  const sFileType* t = fileType(type);
  return t ? t->contentType : nullptr;
}

const char* cFileObjectProps::type_name(int type) {
  const sFileType* t = fileType(type);
  return t ? t->name : nullptr;
}

int cFileObjectProps::media_type(int type) {
  const sFileType* t = fileType(type);
  return t ? t->media : 0;
}
