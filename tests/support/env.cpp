#include "tests/support/env.h"

#include <cstdlib>

void set_env(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unset_env(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");
#else
  unsetenv(name.c_str());
#endif
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    old_ = old;
    had_old_ = true;
  }
  set_env(name, value);
}

ScopedEnv::~ScopedEnv() {
  if (had_old_)
    set_env(name_, old_);
  else
    unset_env(name_);
}
