#include "picts/pictprops.h"

#include <utility>

#include "picts/pictbase.h"

cPictPropImage::~cPictPropImage() { delete value; }

namespace {

constexpr int kLastPropKey = cPictBase::epMakerNote;

// The kind of value each key holds, by key.
constexpr int kPropKindOfKey[kLastPropKey + 1] = {
    kPropString, kPropTimestamp, kPropTimestamp, kPropString, kPropString, kPropDouble,
    kPropDouble, kPropInt,       kPropDouble,    kPropDouble, kPropInt,    kPropInt,
    kPropInt,    kPropImage,     kPropImage,     kPropDouble, kPropDouble, kPropDouble,
    kPropInt,    kPropInt,       kPropInt,       kPropRaw,
};

cPictProp* newPropOfKind(int kind) {
  switch (kind) {
    case kPropInt:
      return new cPictPropInt;
    case kPropDouble:
      return new cPictPropDouble;
    case kPropTimestamp:
      return new cPictPropTimestamp;
    case kPropString:
      return new cPictPropString;
    case kPropImage:
      return new cPictPropImage;
    default:
      return new cPictPropRaw;
  }
}

}  // namespace

cPictBase::cPictBase() {
  myCurves8.depthLimit = 512;
  myCurves16.depthLimit = 512;
  myProps.depthLimit = 512;
}

bool cPictBase::setColorAdjustCurve(int channel, unsigned char* table) {
  if (!table) return false;
  *myCurves8.insert(channel) = table;
  return true;
}

bool cPictBase::setColorAdjustCurve(int channel, unsigned short* table) {
  if (!table) return false;
  *myCurves16.insert(channel) = table;
  return true;
}

cPictProp* cPictBase::getProp(eExProps key, bool create) {
  if (cPtr<cPictProp>* held = myProps.find(key)) return held->ptr;
  if (!create || key < 0 || key > kLastPropKey) return nullptr;
  cPtr<cPictProp> fresh(newPropOfKind(kPropKindOfKey[key]));
  cPtr<cPictProp>* slot = myProps.insert(key);
  std::swap(slot->ptr, fresh.ptr);
  return slot->ptr;
}

template <typename P>
P* cPictBase::propOfKind(eExProps key, int kind) {
  cPictProp* prop = getProp(key, false);
  return prop && prop->typeOf() == kind ? static_cast<P*>(prop) : nullptr;
}

cPictPropInt* cPictBase::getPropInt(eExProps key) { return propOfKind<cPictPropInt>(key, kPropInt); }
cPictPropDouble* cPictBase::getPropDouble(eExProps key) {
  return propOfKind<cPictPropDouble>(key, kPropDouble);
}
cPictPropTimestamp* cPictBase::getPropTimestamp(eExProps key) {
  return propOfKind<cPictPropTimestamp>(key, kPropTimestamp);
}
cPictPropString* cPictBase::getPropString(eExProps key) {
  return propOfKind<cPictPropString>(key, kPropString);
}
cPictPropImage* cPictBase::getPropImage(eExProps key) { return propOfKind<cPictPropImage>(key, kPropImage); }
cPictPropRaw* cPictBase::getPropRaw(eExProps key) { return propOfKind<cPictPropRaw>(key, kPropRaw); }

void cPictBase::removeProp(eExProps key) { myProps.dettach(key); }
