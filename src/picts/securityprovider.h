// The way a decoder of an encrypted file would ask the application for a
// secret. The application installs no provider today; the hook is kept so
// that one can be added without touching every decoder.
#pragma once

#include "base/guardchar.h"

class cSecurityProviderRequestTarget {
 public:
  enum eRequestKind { rkBasicEncryptionPassword = 0 };

  // What is asked and what comes back; the provider fills `answer`.
  struct sRequest {
    _guardchar<char> text;
    _guardchar<char> answer;
  };

  virtual bool request(eRequestKind kind, sRequest& req) = 0;
  virtual ~cSecurityProviderRequestTarget() = default;
};
