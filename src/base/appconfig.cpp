#include "base/appconfig.h"

#include <cstring>

#include "base/str.h"
#include "base/utils.h"

bool cApplicationConfig::getParamValue(void*, long long, void*) { return false; }
bool cApplicationConfig::setParamValue(const void*, long long, void*) { return false; }
bool cApplicationConfig::getParamValue(_guardchar<char>&, void*) { return false; }
bool cApplicationConfig::setParamValue(const char*, long long, void*) { return false; }
bool cApplicationConfig::newConfig(const char*) { return false; }
bool cApplicationConfig::saveConfig() { return false; }
bool cApplicationConfig::saveConfigAs(const char*) { return false; }
bool cApplicationConfig::discardChanges() { return false; }
bool cApplicationConfig::removeSection(const char*) { return false; }
bool cApplicationConfig::hasSection(const char*) { return false; }
bool cApplicationConfig::enumSubsections(const char*, bool (*)(const char*, void*), void*) { return false; }

void* cApplicationConfig::getPathContextHandle(const char* path, bool create) {
  void* h = rootContextHandle();
  if (!path || !*path) return h;
  _guardchar<char> copy(path);
  for (char* component = copy.ptr; h;) {
    char* slash = strchr(component, '/');
    if (slash) *slash = 0;
    h = subContextHandle(component, h, create);
    if (!slash) return h;
    component = slash + 1;
  }
  return nullptr;
}

bool cApplicationConfig::getParam(const char* path, _typebuf<unsigned char>& value) {
  void* h = getPathContextHandle(path, false);
  long long size;
  if (!h || !getParamValueSize(h, size) || size < 0) return false;
  value.set(size);
  return size == 0 || getParamValue(value.ptr, size, h);
}

bool cApplicationConfig::getParamInt(const char* path, unsigned long long& value) {
  void* h = getPathContextHandle(path, false);
  if (!h) return false;
  if (isTextConfig()) {
    _guardchar<char> text;
    if (!getParamValue(text, h)) return false;
    value = strToU64(text.ptr);
    return true;
  }
  long long size;
  if (!getParamValueSize(h, size) || size < 1 || size > 8) return false;
  unsigned char bytes[8] = {};
  if (!getParamValue(bytes, size, h)) return false;
  value = 0;
  for (long long i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return true;
}

bool cApplicationConfig::getParamStr(const char* path, _guardchar<char>& value) {
  void* h = getPathContextHandle(path, false);
  if (!h) return false;
  if (isTextConfig()) return getParamValue(value, h);
  long long size;
  if (!getParamValueSize(h, size) || size < 0) return false;
  if (size == 0) {
    value.set(nullptr);
    return true;
  }
  _typebuf<unsigned char> bytes;
  bytes.set(size);
  if (!getParamValue(bytes.ptr, size, h)) return false;
  // Both the store's text and the platform's are UTF-8: the bytes are taken
  // as they are.
  value.set(reinterpret_cast<const char*>(bytes.ptr), size);
  return true;
}

unsigned short cApplicationConfig::getParamInt16(const char* path) {
  unsigned long long value = 0;
  getParamInt(path, value);
  return static_cast<unsigned short>(value);
}

int cApplicationConfig::getParamInt32(const char* path) {
  unsigned long long value = 0;
  getParamInt(path, value);
  return static_cast<int>(static_cast<unsigned int>(value));
}

long long cApplicationConfig::getParamInt64(const char* path) {
  unsigned long long value = 0;
  getParamInt(path, value);
  return static_cast<long long>(value);
}

bool cApplicationConfig::setParam(const char* path, const void* data, long long size) {
  if (isTextConfig()) return false;
  void* h = getPathContextHandle(path, true);
  return h && setParamValue(data, size, h);
}

bool cApplicationConfig::setParamIntOfWidth(const char* path, long long value, int bytes) {
  void* h = getPathContextHandle(path, true);
  if (!h) return false;
  if (isTextConfig()) {
    char text[40];
    if (bytes == 8)
      _sprintf_s(text, sizeof text, "%lld", value);
    else
      _sprintf_s(text, sizeof text, "%d", static_cast<int>(value));
    return setParamValue(text, -1, h);
  }
  unsigned char raw[8];
  for (int i = 0; i < bytes; ++i)
    raw[i] = static_cast<unsigned char>(static_cast<unsigned long long>(value) >> (8 * i));
  return setParamValue(static_cast<const void*>(raw), bytes, h);
}

bool cApplicationConfig::setParamInt16(const char* path, int value) {
  return setParamIntOfWidth(path, value, 2);
}
bool cApplicationConfig::setParamInt32(const char* path, int value) {
  return setParamIntOfWidth(path, value, 4);
}
bool cApplicationConfig::setParamInt64(const char* path, long long value) {
  return setParamIntOfWidth(path, value, 8);
}

bool cApplicationConfig::setParamStr(const char* path, const char* text, long long length) {
  void* h = getPathContextHandle(path, true);
  if (!h) return false;
  if (isTextConfig()) return setParamValue(text, length, h);
  if (length == -1 || length == -2) length = text ? static_cast<long long>(strlen(text)) : 0;
  if (length < 0 || (!text && length > 0)) return false;
  return setParamValue(static_cast<const void*>(text), length, h);
}
