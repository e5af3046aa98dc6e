// The hierarchical settings store every subsystem keeps its records in. A
// store is a tree of contexts reached by "/"-separated paths ("install/%s/ver"
// once formatted); a value belongs to the context its full path names. This
// base turns paths into context handles and typed values into stored bytes;
// a member supplies the contexts, the raw values and the files.
#pragma once

#include "base/buffers.h"
#include "base/guardchar.h"

class cApplicationConfig {
 public:
  // Handles are the member's own opaque values; null means "no such context".
  virtual void* rootContextHandle() = 0;
  // With `create`, a missing child is made.
  virtual void* subContextHandle(const char* name, void* parent, bool create) = 0;
  virtual bool getParamValueSize(void* ctx, long long& size) = 0;
  // Raw bytes: exactly `size` of them.
  virtual bool getParamValue(void* buf, long long size, void* ctx);
  virtual bool setParamValue(const void* data, long long size, void* ctx);
  // Text; a length of -1 means up to the terminating zero.
  virtual bool getParamValue(_guardchar<char>& text, void* ctx);
  virtual bool setParamValue(const char* text, long long length, void* ctx);
  // A text store keeps every value as text, numbers in decimal; a binary
  // store keeps numbers as their little-endian bytes and strings as their
  // UTF-8 bytes without a terminator.
  virtual bool isTextConfig() = 0;
  virtual bool newConfig(const char* name);
  virtual bool openConfig(const char* name) = 0;
  virtual bool saveConfig();
  virtual bool saveConfigAs(const char* name);
  virtual bool discardChanges();

  // Getters never create contexts; setters create the missing ones and may
  // leave them behind when the final store fails.
  virtual bool getParam(const char* path, _typebuf<unsigned char>& value);
  // Text is read as a number ("0x" for hexadecimal); binary values of 1 to 8
  // bytes fill the low bytes.
  virtual bool getParamInt(const char* path, unsigned long long& value);
  // An empty binary value gives a null string.
  virtual bool getParamStr(const char* path, _guardchar<char>& value);
  // The narrow getters answer 0 for a missing value.
  virtual unsigned short getParamInt16(const char* path);
  virtual int getParamInt32(const char* path);
  virtual long long getParamInt64(const char* path);
  // Raw bytes; a text store refuses them.
  virtual bool setParam(const char* path, const void* data, long long size);
  virtual bool setParamInt16(const char* path, int value);
  virtual bool setParamInt32(const char* path, int value);
  virtual bool setParamInt64(const char* path, long long value);
  // A length of -1 or -2 means up to the terminating zero.
  virtual bool setParamStr(const char* path, const char* text, long long length);
  virtual bool removeSection(const char* path);
  virtual bool hasSection(const char* path);
  // Calls `each` with the name of every child context of `path` until it
  // answers false.
  virtual bool enumSubsections(const char* path, bool (*each)(const char* name, void* user), void* user);
  virtual ~cApplicationConfig() = default;
  // A null or empty path names the root. Components are taken as they are:
  // no trimming, no case folding, and an empty one between two "/" is a
  // name of its own.
  virtual void* getPathContextHandle(const char* path, bool create);

 private:
  bool setParamIntOfWidth(const char* path, long long value, int bytes);
};
