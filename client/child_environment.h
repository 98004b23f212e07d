// The environment a spawned worker starts with: this process's own, less the
// names asked to be removed, plus the NAME=value entries asked for (each
// replacing any earlier entry of its name). Used by client/child_process,
// which starts every child: the client's workers and the tests' alike.
#ifndef MESH_WORKER_CLIENT_CHILD_ENVIRONMENT_H_
#define MESH_WORKER_CLIENT_CHILD_ENVIRONMENT_H_

#include <string>
#include <vector>

namespace mesh {

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& unset_names,
                                          const std::vector<std::string>& set_entries);

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_CHILD_ENVIRONMENT_H_
