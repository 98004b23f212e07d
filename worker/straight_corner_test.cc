// Outlines with vertices almost on the line of their two neighbours, as
// surveyed roofs and walls have them: whatever the offsets, where they sit
// and the element size, the mesh job answers with no element under quality
// 0.3 (none of these outlines has a corner sharper than 60 degrees), and
// the answer holds every invariant.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "extract/mesh_invariants.h"
#include "extract/poor_element_repair.h"
#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "worker/mesh_job.h"

namespace mesh {
namespace {

// A roof outline as surveys give them: a long bottom side drawn as two to
// six pieces whose inner vertices lie up to a centimetre off the straight
// line and at least 5 cm apart (so that no corner is sharper than about
// 135 degrees), two more corners above it, a slope, any heading, surveyed
// coordinates.
MeshRequest RoofOutline(std::mt19937* random) {
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(*random);
  };
  const double length = uniform(3, 8), height = uniform(1, 2.5);
  const int inner = std::uniform_int_distribution<int>(2, 6)(*random);
  std::vector<double> xs;
  do {
    xs.clear();
    for (int i = 0; i < inner; ++i) xs.push_back(uniform(0.1, 0.9) * length);
    std::sort(xs.begin(), xs.end());
  } while (std::adjacent_find(xs.begin(), xs.end(),
                              [](double a, double b) { return b - a < 0.05; }) != xs.end());
  std::vector<std::pair<double, double>> ring = {{0, 0}};
  for (double x : xs) ring.push_back({x, uniform(-0.01, 0.01)});
  ring.push_back({length, 0});
  ring.push_back({length - uniform(0, 0.5), height});
  ring.push_back({uniform(0, 0.3), height * uniform(0.9, 1.1)});
  const double slope = uniform(-0.4, 0.4), heading = uniform(0, 6.28);
  const double c = std::cos(heading), s = std::sin(heading);
  MeshRequest request;
  for (const auto& [u, v] : ring) {
    const double w = v + slope * u;
    request.points.push_back(Point3{4424710.0 + c * u - s * w, 5482775.0 + s * u + c * w, 322.47});
  }
  const int32_t n = static_cast<int32_t>(ring.size());
  for (int32_t i = 0; i < n; ++i) request.segments.push_back({i, (i + 1) % n, 1, 0});
  const double sizes[] = {0.3, 0.4, 0.5, 0.6, 0.8};
  request.target_size = sizes[std::uniform_int_distribution<int>(0, 4)(*random)];
  request.prefer_quads = std::uniform_int_distribution<int>(0, 3)(*random) != 0;
  return request;
}

double Worst(const MeshRequest& request, const PlanarComplexMesh& answer) {
  PlanarFrame frame;
  if (!BuildFrame(request.points, nullptr, &frame)) return -1;
  return WorstQuality(frame, answer);
}

TEST(StraightCornerTest, NoElementUnderPointThreeAtNearlyStraightBoundaryVertices) {
  // About one outline in forty met a collapsed quad before the repair; a
  // fixed seed meets the same ones every run.
  std::mt19937 random(20261209);
  for (int outline = 0; outline < 300; ++outline) {
    const MeshRequest request = RoofOutline(&random);
    const MeshStagesResult result = RunMeshStages(request);
    ASSERT_FALSE(result.refusal.has_value()) << outline << ": " << result.refusal->line;
    EXPECT_EQ(CheckMeshInvariants(request, result.answer), std::vector<std::string>()) << outline;
    EXPECT_GE(Worst(request, result.answer), kRepairQuality)
        << "outline " << outline << ", target size " << request.target_size;
  }
}

// The roof outline a user reported: point 4 lies 6 mm off the line from 3
// to 5, and the quad pass closed a quad across it (scaled Jacobian 0.0008).
TEST(StraightCornerTest, ReportedRoofOutline) {
  MeshRequest request;
  request.points = {{4424710.038, 5482775.788, 322.47}, {4424710.07, 5482775.22, 322.47},
                    {4424711.01, 5482775.32, 322.47},   {4424712.33, 5482775.62, 322.47},
                    {4424713.332, 5482775.962, 322.47}, {4424715.0, 5482776.53, 322.47},
                    {4424715.42, 5482776.67, 322.47},   {4424715.411, 5482777.063, 322.47},
                    {4424709.983, 5482776.778, 322.47}};
  for (int32_t i = 0; i < 9; ++i) request.segments.push_back({i, (i + 1) % 9, 1, 0});
  request.target_size = 0.5;
  const MeshStagesResult result = RunMeshStages(request);
  ASSERT_FALSE(result.refusal.has_value());
  EXPECT_TRUE(CheckMeshInvariants(request, result.answer).empty());
  EXPECT_GE(Worst(request, result.answer), kRepairQuality);
  EXPECT_FALSE(result.answer.quads.empty());
}

}  // namespace
}  // namespace mesh
