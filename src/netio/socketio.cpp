#include "netio/socketio.h"

#include <climits>

cSocketIO::~cSocketIO() { delete owned; }

bool cSocketIO::create(cTCPSocket* socket, bool own) {
  if (own) {
    if (owned != socket) delete owned;
    owned = socket;
  }
  used = socket;
  return valid();
}

unsigned long long cSocketIO::size() { return ~0ull; }

unsigned int cSocketIO::read(void* buf, unsigned int count) {
  if (!used) return 0;
  int ask = count > INT_MAX ? INT_MAX : static_cast<int>(count);
  return static_cast<unsigned int>(used->receive(buf, ask, nullptr));
}

unsigned int cSocketIO::write(void* buf, unsigned int count) {
  if (!used) return 0;
  int ask = count > INT_MAX ? INT_MAX : static_cast<int>(count);
  return static_cast<unsigned int>(used->send(buf, ask));
}

bool cSocketIO::set_fp(unsigned long long) { return false; }

bool cSocketIO::set_fp_end(unsigned long long) { return false; }

bool cSocketIO::set_eof(unsigned long long) { return false; }

void cSocketIO::close() {
  if (used) used->close();
  used = nullptr;
  delete owned;
  owned = nullptr;
}

bool cSocketIO::valid() { return used && used->valid(); }
