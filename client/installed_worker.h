// Where the mesh-worker installed with this client lives, so that a parent
// built against an installed client need not name the worker itself: the
// default of WorkerOptions::worker_path.
#ifndef MESH_WORKER_CLIENT_INSTALLED_WORKER_H_
#define MESH_WORKER_CLIENT_INSTALLED_WORKER_H_

#include <string>

namespace mesh {

// In the shared client library: the worker at the install's relative place
// from the library's own directory (<prefix>/lib/../bin/mesh-worker), so an
// install moved to another prefix still finds its own worker. Linked into a
// program instead (meshctl, the tests): mesh-worker beside that program, as
// an installed pair sits. Empty only when neither location can be known.
// The path is returned whether or not a worker is there; starting it says.
std::string InstalledWorkerPath();

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_INSTALLED_WORKER_H_
