// Sets an environment variable for one scope and puts the old value back after it.
#pragma once

#include <cstdlib>
#include <string>

class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name.c_str());
    if ((had_old_ = old != nullptr)) old_ = old;
    put(value.c_str());
  }
  ~ScopedEnv() { put(had_old_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void put(const char* value) {  // null removes the variable
#ifdef _WIN32
    _putenv_s(name_.c_str(), value ? value : "");
#else
    value ? setenv(name_.c_str(), value, 1) : unsetenv(name_.c_str());
#endif
  }
  std::string name_, old_;
  bool had_old_ = false;
};
