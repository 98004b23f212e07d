#include "planar/loop_orientation.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "planar/boundary_checks.h"
#include "testing/loops.h"
#include "testing/plane_points.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Corners;
using test::FlatPlanePoints;
using test::Loop;
using test::Reversed;
using test::Square;

// Runs the check and returns its line, or "" when it passed silently.
template <typename Check>
std::string LineOf(Check check) {
  const std::optional<StageRefusal> refusal = check();
  return refusal.has_value() ? refusal->line : std::string();
}

std::string LoopLine(const char* segment, const char* turns, const char* inner,
                     const char* outer, const char* surrounding, const char* must) {
  return std::string("[meshing] BuildPlanarMesh: boundary loop starting at segment ") +
         segment + " turns " + turns + " with domain " + inner + " inside and domain " + outer +
         " outside, but lies in domain " + surrounding + "; it must turn " + must +
         " seen from the plane normal \xE2\x80\x94 refusing as degenerate; returning empty";
}

// The outline (0,0)-(4,0)-(4,2)-(0,2) with a hole (1,0.5)-(2,0.5)-(2,1.5)-(1,1.5).
MeshRequest OutlineAndHole(bool hole_clockwise) {
  MeshRequest request = Loop({{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 0}}, 1, 0);
  Corners hole = {{1, 0.5, 0}, {2, 0.5, 0}, {2, 1.5, 0}, {1, 1.5, 0}};
  AddLoop(&request, hole_clockwise ? Reversed(hole) : hole, 1, 0);
  request.target_size = 0.25;
  return request;
}

TEST(LoopOrientationTest, LoopsTurnedAgainstWhereTheyLieAreRefused) {
  // A hole touching the outline at a shared point (point 1), each way round.
  auto touching = [](bool hole_clockwise) {
    MeshRequest r = Loop({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 0}}, 1, 0);
    r.points.insert(r.points.end(), {{3, 1, 0}, {2, 1.5, 0}, {1, 1, 0}});
    const std::vector<int32_t> ring =
        hole_clockwise ? std::vector<int32_t>{1, 7, 6, 5} : std::vector<int32_t>{1, 5, 6, 7};
    for (size_t k = 0; k < ring.size(); ++k) {
      r.segments.push_back({ring[k], ring[(k + 1) % ring.size()], 1, 0});
    }
    return r;
  };
  // Domain 2 on an island inside a hole of domain 1, and domain 3 on an
  // island inside domain 2 sharing its boundary.
  MeshRequest nested = Loop(Square(0, 0, 10), 1, 0);
  AddLoop(&nested, Reversed(Square(1, 1, 8)), 1, 0);
  AddLoop(&nested, Square(2, 2, 6), 2, 0);
  AddLoop(&nested, Square(3, 3, 2), 3, 2);
  MeshRequest nested_wrong = nested;
  // The innermost island drawn clockwise: domain 2 inside it.
  for (size_t k = 12; k < 16; ++k) std::swap(nested_wrong.segments[k].point_a,
                                             nested_wrong.segments[k].point_b);
  // A second outline of domain 1 drawn clockwise, beside the first.
  MeshRequest beside = Loop(Square(0, 0, 4), 1, 0);
  AddLoop(&beside, Reversed(Square(6, 0, 1)), 1, 0);
  // Two domains side by side, a hole in the first drawn the same way as the
  // outline, its segments drawn with the domains the other way round.
  MeshRequest split = Loop(
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}}, 1, 0);
  for (int k : {1, 2, 3}) split.segments[k].left_domain = 2;
  split.segments.push_back({1, 4, 1, 2});
  MeshRequest split_wrong = split;
  AddLoop(&split_wrong, Reversed(Square(0.25, 0.25, 0.5)), 0, 1);
  AddLoop(&split, Square(0.25, 0.25, 0.5), 0, 1);
  // An island of domain 2 labelled with the outside around it: it overlaps
  // domain 1, but turning it would not help, so it is not this check's.
  MeshRequest overlapping = Loop(Square(0, 0, 4), 1, 0);
  AddLoop(&overlapping, Square(1, 1, 1), 2, 0);
  MeshRequest inner_cut = OutlineAndHole(true);
  inner_cut.segments.push_back({0, 4, 1, 1});
  struct {
    const char* name;
    MeshRequest request;
    std::string line;
  } const cases[] = {
      {"hole the same way round as the outline", OutlineAndHole(false),
       LoopLine("4", "counter-clockwise", "1", "0", "1", "clockwise")},
      {"hole the other way round", OutlineAndHole(true), ""},
      {"hole touching the outline, the same way round", touching(false),
       LoopLine("5", "counter-clockwise", "1", "0", "1", "clockwise")},
      {"hole touching the outline, the other way round", touching(true), ""},
      {"nested islands", nested, ""},
      {"innermost island turned over", nested_wrong,
       LoopLine("12", "clockwise", "2", "3", "2", "counter-clockwise")},
      {"clockwise outline beside another", beside,
       LoopLine("4", "clockwise", "0", "1", "0", "counter-clockwise")},
      {"two domains and a hole", split, ""},
      {"two domains and a hole the wrong way round", split_wrong,
       LoopLine("7", "clockwise", "1", "0", "1", "counter-clockwise")},
      {"island naming the outside around it", overlapping, ""},
      {"inner cut from the outline to the hole", inner_cut, ""},
      {"unit square", Loop(Square(0, 0, 1), 1, 0), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<PlanePoint> plane_points = FlatPlanePoints(c.request.points);
    ASSERT_FALSE(CheckDomainBoundariesClosed(c.request.segments).has_value());
    EXPECT_EQ(LineOf([&] { return CheckLoopOrientation(c.request.segments, plane_points); }),
              c.line);
  }
}

}  // namespace
}  // namespace mesh
