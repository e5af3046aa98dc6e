// Metadata a picture carries besides its pixels, stored by the tag readers
// under fixed keys, each key with one fixed kind of value.
#pragma once

#include "base/buffers.h"
#include "base/guardchar.h"
#include "base/utils.h"

class cPictBase;

enum ePictPropKind {
  kPropInt = 0,
  kPropDouble = 1,
  kPropTimestamp = 2,
  kPropString = 3,
  kPropImage = 4,
  kPropRaw = 5,
};

class cPictProp {
 public:
  virtual int typeOf() = 0;
  virtual ~cPictProp() = default;
};

class cPictPropInt : public cPictProp {
 public:
  int value = 0;
  int typeOf() override { return kPropInt; }
};

class cPictPropDouble : public cPictProp {
 public:
  double value = 0.0;
  int typeOf() override { return kPropDouble; }
};

class cPictPropTimestamp : public cPictProp {
 public:
  sTimestamp value{};
  int typeOf() override { return kPropTimestamp; }
};

class cPictPropString : public cPictProp {
 public:
  _guardchar<char> value;
  int typeOf() override { return kPropString; }
};

class cPictPropImage : public cPictProp {
 public:
  cPictBase* value = nullptr;
  cPictPropImage() = default;
  cPictPropImage(const cPictPropImage&) = delete;
  cPictPropImage& operator=(const cPictPropImage&) = delete;
  ~cPictPropImage() override;
  int typeOf() override { return kPropImage; }
};

class cPictPropRaw : public cPictProp {
 public:
  _typebuf<unsigned char> value;
  long long position = 0;  // where the bytes were found in the stream
  int typeOf() override { return kPropRaw; }
};
