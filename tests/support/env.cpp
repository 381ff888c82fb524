#include "tests/support/env.h"

#include <cstdlib>

namespace {

// Sets the variable, or removes it when value is null.
void put(const std::string& name, const char* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value : "");
#else
  if (value)
    setenv(name.c_str(), value, 1);
  else
    unsetenv(name.c_str());
#endif
}

}  // namespace

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    old_ = old;
    had_old_ = true;
  }
  put(name, value.c_str());
}

ScopedEnv::~ScopedEnv() { put(name_, had_old_ ? old_.c_str() : nullptr); }
