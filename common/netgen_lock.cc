#include "common/netgen_lock.h"

namespace mesh {

std::mutex netgen_lock;

}  // namespace mesh
