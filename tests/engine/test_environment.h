// Setting and clearing environment variables from a test, on both platforms.
#pragma once

#include <cstdlib>
#include <string>

inline void SetTestEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

inline void ClearTestEnvironment(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}
