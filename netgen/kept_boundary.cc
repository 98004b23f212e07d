#include "netgen/kept_boundary.h"

namespace mesh {

namespace {

bool boundary_kept_as_given = false;

}  // namespace

bool BoundaryKeptAsGiven() { return boundary_kept_as_given; }

ScopedKeptBoundary::ScopedKeptBoundary(bool keep) : previous_(boundary_kept_as_given) {
  boundary_kept_as_given = keep;
}

ScopedKeptBoundary::~ScopedKeptBoundary() { boundary_kept_as_given = previous_; }

}  // namespace mesh
