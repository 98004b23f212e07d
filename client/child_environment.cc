#include "client/child_environment.h"

#include <algorithm>

extern char** environ;

namespace mesh {

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& unset_names,
                                          const std::vector<std::string>& set_entries) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
  auto remove_name = [&env](const std::string& name) {
    const std::string prefix = name + "=";
    env.erase(std::remove_if(env.begin(), env.end(),
                             [&prefix](const std::string& e) {
                               return e.compare(0, prefix.size(), prefix) == 0;
                             }),
              env.end());
  };
  for (const std::string& name : unset_names) remove_name(name);
  for (const std::string& entry : set_entries) {
    remove_name(entry.substr(0, entry.find('=')));
    env.push_back(entry);
  }
  return env;
}

}  // namespace mesh
