#pragma once
// The class library's stream and resource errors. Messages name the file or resource and, for
// the platform's failures, its error text.

#include "framework/SysUtils.h"

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};
