// The request loop: read one frame, answer it, repeat until the input ends.
#ifndef MESH_WORKER_WORKER_REQUEST_LOOP_H_
#define MESH_WORKER_WORKER_REQUEST_LOOP_H_

#include <functional>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "worker/channel.h"

namespace mesh {

// Turns one decoded request into its result; an empty `vertices` array means
// the job failed (its stage has said why on standard error).
using MeshJob = std::function<PlanarComplexMesh(const MeshRequest&)>;

// Serves requests from `channel` strictly in order until the input ends, a
// write fails (both 0) or a frame is malformed (3, after one line on standard
// error saying what was wrong). With `hang_test_armed`, a hang-test frame
// makes it spin forever without answering.
int RunRequestLoop(Channel& channel, bool hang_test_armed, const MeshJob& mesh_job);

}  // namespace mesh

#endif  // MESH_WORKER_WORKER_REQUEST_LOOP_H_
