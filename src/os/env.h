// The process environment. Values are returned as the bytes the environment holds.
#ifndef PALVORIN_OS_ENV_H_
#define PALVORIN_OS_ENV_H_

#include <string>

namespace palvorin {

// The value of the environment variable `name`; the empty text when it is unset.
std::string GetEnv(const std::string& name);
// Whether `name` is in the environment at all, even with an empty value.
bool EnvIsSet(const std::string& name);
// Sets / removes an environment variable (used by tests and by the start-up of child programs).
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace palvorin

#endif  // PALVORIN_OS_ENV_H_
