#include "os/env.h"

#include <cstdlib>

namespace palvorin {

std::string GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

bool EnvIsSet(const std::string& name) { return std::getenv(name.c_str()) != nullptr; }

void SetEnv(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) { ::unsetenv(name.c_str()); }

}  // namespace palvorin
