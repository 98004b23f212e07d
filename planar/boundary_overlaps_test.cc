#include "planar/boundary_overlaps.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/loops.h"
#include "testing/plane_points.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Corners;
using test::FlatPlanePoints;
using test::Loop;
using test::RegularPolygon;
using test::Reversed;
using test::Square;

std::string Degenerate(const std::string& words) {
  return "[meshing] BuildPlanarMesh: " + words +
         " \xE2\x80\x94 refusing as degenerate; returning empty";
}

std::string LineOf(const MeshRequest& request) {
  const std::optional<StageRefusal> refusal =
      CheckBoundaryOverlaps(request, FlatPlanePoints(request.points));
  return refusal.has_value() ? refusal->line : std::string();
}

void AddIndexLoop(MeshRequest* request, const std::vector<int32_t>& indices, int32_t left,
                  int32_t right) {
  for (size_t i = 0; i < indices.size(); ++i) {
    request->segments.push_back({indices[i], indices[(i + 1) % indices.size()], left, right});
  }
}

MeshRequest Sized(MeshRequest request, double target_size) {
  request.target_size = target_size;
  return request;
}

TEST(BoundaryOverlapsTest, OverlapsAndTouchesAreRefused) {
  struct Case {
    const char* name;
    MeshRequest request;
    std::string line;
  };
  MeshRequest duplicated = Loop(Square(0, 0, 1), 1, 0);
  duplicated.segments.push_back(duplicated.segments[1]);
  MeshRequest reversed = Loop(Square(0, 0, 1), 1, 0);
  reversed.segments.push_back({2, 1, 0, 1});
  // A hole whose bottom edge lies on the outline's, with its own points.
  MeshRequest hole_on_edge = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  AddLoop(&hole_on_edge, {{0.5, 0}, {1.5, 0}, {1.5, 1}, {0.5, 1}}, 0, 1);
  MeshRequest second_outline = Loop(Square(0, 0, 1), 1, 0);
  AddLoop(&second_outline, Square(0, 0, 1), 2, 0);
  MeshRequest figure_eight_two_indices =
      Loop({{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}}, 1, 0);

  const Case cases[] = {
      {"a segment given twice", duplicated,
       Degenerate("boundary overlaps itself (segments 1 and 4 run along each other)")},
      {"a segment and its reverse", reversed,
       Degenerate("boundary overlaps itself (segments 1 and 4 run along each other)")},
      {"an outline running out and back along itself",
       Loop({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0.5}, {1, 1}, {0, 1}}, 1, 0),
       Degenerate("boundary overlaps itself (segments 3 and 4 run along each other)")},
      {"a spike a thousandth of a degree wide",
       Loop({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1.3, 1 + 1e-5}, {0, 1}}, 1, 0),
       Degenerate("boundary overlaps itself (segments 2 and 3 run along each other)")},
      {"a hole sharing part of an edge with its outline", hole_on_edge,
       Degenerate("boundary overlaps itself (segments 0 and 4 run along each other)")},
      {"a second outline over the first", second_outline,
       Degenerate("boundary overlaps itself (segments 0 and 4 run along each other)")},
      {"a ring passing one spot twice with two indices", figure_eight_two_indices,
       Degenerate("boundary touches itself (points 2 and 6 coincide)")},
      {"a ring passing one spot twice, 1e-12 apart",
       Loop({{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1 + 1e-12, 1}, {0, 1}}, 1, 0),
       Degenerate("boundary touches itself (points 2 and 6 coincide)")},
      {"an outline vertex on its own edge",
       Loop({{0, 0}, {1, 0}, {1, 1}, {0.55, 1}, {0.5, 0}, {0.45, 1}, {0, 1}}, 1, 0),
       Degenerate("boundary touches itself (point 4 lies on segment 0)")},
      {"a notch tip 1e-12 from the opposite edge",
       Loop({{0, 0}, {1, 0}, {1, 1}, {0.55, 1}, {0.5, 1e-12}, {0.45, 1}, {0, 1}}, 1, 0),
       Degenerate("boundary touches itself (point 4 lies on segment 0)")},
  };
  for (const Case& c : cases) EXPECT_EQ(LineOf(c.request), c.line) << c.name;
}

TEST(BoundaryOverlapsTest, ValidLayoutsPass) {
  struct Case {
    const char* name;
    MeshRequest request;
  };
  MeshRequest hole_vertex_on_edge = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  AddLoop(&hole_vertex_on_edge, {{1, 0}, {1.5, 0.5}, {1, 1}, {0.5, 0.5}}, 0, 1);
  MeshRequest hole_corner_other_index = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  AddLoop(&hole_corner_other_index, {{0, 0}, {1, 0.5}, {1, 1}, {0.5, 1}}, 0, 1);
  MeshRequest hole_sharing_index = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  hole_sharing_index.points.insert(hole_sharing_index.points.end(),
                                   {{1, 0.5, 0}, {1, 1, 0}, {0.5, 1, 0}});
  AddIndexLoop(&hole_sharing_index, {0, 4, 5, 6}, 0, 1);
  MeshRequest two_domains;
  two_domains.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  two_domains.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                          {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  two_domains.target_size = 0.25;
  MeshRequest island = Loop(Square(0, 0, 4), 1, 0);
  AddLoop(&island, Reversed(Square(1, 1, 2)), 1, 0);
  AddLoop(&island, Square(1.5, 1.5, 1), 2, 0);
  MeshRequest figure_eight_one_index;
  figure_eight_one_index.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0},
                                   {2, 2, 0}, {1, 2, 0}, {0, 1, 0}};
  AddIndexLoop(&figure_eight_one_index, {0, 1, 2, 3, 4, 5, 2, 6}, 1, 0);
  figure_eight_one_index.target_size = 0.25;
  Corners collinear_run;
  for (int i = 0; i < 1997; ++i) collinear_run.push_back({i * 1e-4, 0});
  collinear_run.insert(collinear_run.end(), {{1, 0}, {1, 1}, {0, 1}});
  Corners zigzag;
  for (int i = 0; i < 999; ++i) zigzag.push_back({i * 1e-3, (i % 2) * 1e-3});
  for (int i = 998; i >= 0; --i) zigzag.push_back({i * 1e-3, 0.1 + (i % 2) * 1e-3});
  zigzag.push_back({-1e-3, 0.05});
  zigzag.push_back({-1e-3, 0.04});

  MeshRequest inner_cut = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&inner_cut, {{0.5, 0.5, 0}, {1.5, 1, 0}}, 1, 1);

  const Case cases[] = {
      {"an inner cut given once each way", inner_cut},
      {"a hole vertex on an outline edge", Sized(hole_vertex_on_edge, 0.25)},
      {"a hole corner on an outline corner, other index", Sized(hole_corner_other_index, 0.25)},
      {"a hole sharing an outline corner's index", Sized(hole_sharing_index, 0.25)},
      {"two domains sharing one edge", two_domains},
      {"an island in a hole", island},
      {"a ring passing one index twice", figure_eight_one_index},
      {"a sharp corner of a tenth of a degree",
       Loop({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1.5, 1 + 1e-3}, {0, 1.2}}, 1, 0)},
      {"a circle far smaller than the target size", Sized(Loop(RegularPolygon(2000, 1e-6), 1, 0), 1e-3)},
      {"an edge split into many collinear pieces", Sized(Loop(collinear_run, 1, 0), 0.25)},
      {"a zigzag of 2,000 segments", Sized(Loop(zigzag, 1, 0), 0.02)},
  };
  for (const Case& c : cases) EXPECT_EQ(LineOf(c.request), "") << c.name;
}

}  // namespace
}  // namespace mesh
