// Our front search trees (front_search_trees.cc) against Netgen's own
// searches on the very same trees: after any mix of insertions, deletions
// and reuse of dead nodes, every search returns what Netgen's returns, in
// Netgen's order, and that is every live entry in the box.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include <meshing.hpp>

#include "netgen/netgen_own_symbol.h"

namespace mesh {
namespace {

constexpr char kBoxSearch[] =
    "_ZNK6netgen8T_ADTreeILi6EiE15GetIntersectingENS_5PointILi6EdEES3_RNS_5ArrayIiLi0EiEE";
constexpr char kPointSearch[] = "_ZNK6netgen7ADTree315GetIntersectingEPKfS2_RNS_5ArrayIiLi0EiEE";

// Member functions called as the ABI passes them: `this` first.
using BoxSearch = void (*)(const netgen::T_ADTree<6, int>*, netgen::Point<6>, netgen::Point<6>,
                           netgen::Array<int>&);
using PointSearch = void (*)(const netgen::ADTree3*, const float*, const float*,
                             netgen::Array<int>&);

std::vector<int> Entries(const netgen::Array<int>& found) {
  std::vector<int> entries;
  for (int entry : found) entries.push_back(entry);
  return entries;
}

TEST(FrontSearchTreesTest, NetgenReachesOurCopies) {
  for (const char* symbol :
       {kBoxSearch, kPointSearch, "_ZN6netgen8T_ADTreeILi6EiE6InsertENS_5PointILi6EdEEi",
        "_ZN6netgen8T_ADTreeILi6EiE13DeleteElementEi", "_ZN6netgen7ADTree36InsertEPKfi",
        "_ZN6netgen7ADTree313DeleteElementEi"}) {
    const std::string file = test::DefiningFile(symbol);
    EXPECT_EQ(file.find("/netgen/lib"), std::string::npos) << symbol << " resolves to " << file;
    EXPECT_NE(test::NetgenOwnSymbol("/libmesh.so", symbol), nullptr) << symbol;
  }
}

// A front's worth of short segments in the unit square at z = 0, as the
// 2-D front holds them, churned the way a front churns: most deleted, ids
// reused, new ones inserted where old ones died.
struct Segment {
  netgen::Point<3> a, b;
};

Segment RandomSegment(std::mt19937& random, double length) {
  std::uniform_real_distribution<double> unit(0, 1);
  const double x = unit(random), y = unit(random), angle = 6.283185307 * unit(random);
  return {{x, y, 0}, {x + length * std::cos(angle), y + length * std::sin(angle), 0}};
}

TEST(FrontSearchTreesTest, BoxSearchFindsWhatNetgensFinds) {
  const auto netgen_search = reinterpret_cast<BoxSearch>(
      test::NetgenOwnSymbol("/libmesh.so", kBoxSearch));
  ASSERT_NE(netgen_search, nullptr);
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    // Coincident segments on some seeds: they chain down one side.
    const bool coincident = seed % 3 == 0;
    netgen::BoxTree<3> tree(netgen::Point<3>(-1, -1, -2), netgen::Point<3>(2, 2, 2));
    std::vector<Segment> live(4000);
    std::vector<bool> alive(live.size(), false);
    netgen::Array<int> ours, theirs;
    for (int round = 0; round < 20000; ++round) {
      const int id = std::uniform_int_distribution<int>(0, live.size() - 1)(random);
      if (alive[id]) {
        tree.DeleteElement(id);
        alive[id] = false;
      } else {
        live[id] = coincident && id % 4 == 0 ? Segment{{0.5, 0.5, 0}, {0.51, 0.5, 0}}
                                             : RandomSegment(random, 0.02);
        netgen::Box<3> box(live[id].a, live[id].b);
        tree.Insert(box.PMin(), box.PMax(), id);
        alive[id] = true;
      }
      if (round % 50 != 0) continue;
      const Segment probe = RandomSegment(random, 0);
      const double reach = std::uniform_real_distribution<double>(0.001, 0.3)(random);
      const netgen::Point<3> low = probe.a - netgen::Vec<3>(reach, reach, reach);
      const netgen::Point<3> high = probe.a + netgen::Vec<3>(reach, reach, reach);
      tree.GetIntersecting(low, high, ours);
      // BoxTree's own translation of a box search into the 6-D tree.
      netgen::Point<6> tmin, tmax;
      const double tolerance = tree.Tolerance();
      for (int i = 0; i < 3; ++i) {
        tmin(i) = -1 + (i == 2 ? -1 : 0);
        tmax(i) = high(i) + tolerance;
        tmin(i + 3) = low(i) - tolerance;
        tmax(i + 3) = 2;
      }
      netgen_search(&tree.Tree(), tmin, tmax, theirs);
      ASSERT_EQ(Entries(ours), Entries(theirs)) << "round " << round;
      std::vector<int> expected;
      for (size_t i = 0; i < live.size(); ++i) {
        if (!alive[i]) continue;
        netgen::Box<3> box(live[i].a, live[i].b);
        bool meets = true;
        for (int k = 0; k < 3; ++k) {
          meets = meets && static_cast<float>(box.PMin()(k)) <= tmax(k) &&
                  static_cast<float>(box.PMax()(k)) >= tmin(k + 3);
        }
        if (meets) expected.push_back(static_cast<int>(i));
      }
      std::vector<int> found = Entries(ours);
      std::sort(found.begin(), found.end());
      ASSERT_EQ(found, expected) << "round " << round;
    }
  }
}

TEST(FrontSearchTreesTest, PointSearchFindsWhatNetgensFinds) {
  const auto netgen_search = reinterpret_cast<PointSearch>(
      test::NetgenOwnSymbol("/libmesh.so", kPointSearch));
  ASSERT_NE(netgen_search, nullptr);
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    const bool coincident = seed % 3 == 0;
    netgen::Point3dTree tree(netgen::Point<3>(-1, -1, -2), netgen::Point<3>(2, 2, 2));
    std::vector<netgen::Point<3>> points(3000);
    std::vector<bool> alive(points.size(), false);
    netgen::Array<int> ours, theirs;
    for (int round = 0; round < 20000; ++round) {
      const int id = std::uniform_int_distribution<int>(0, points.size() - 1)(random);
      if (alive[id]) {
        tree.DeleteElement(id);
        alive[id] = false;
      } else {
        points[id] = coincident && id % 4 == 0 ? netgen::Point<3>(0.25, 0.75, 0)
                                               : netgen::Point<3>(unit(random), unit(random), 0);
        tree.Insert(points[id], id);
        alive[id] = true;
      }
      if (round % 50 != 0) continue;
      const double x = unit(random), y = unit(random);
      const double reach = std::uniform_real_distribution<double>(0.001, 0.3)(random);
      const netgen::Point<3> low(x - reach, y - reach, -reach), high(x + reach, y + reach, reach);
      tree.GetIntersecting(low, high, ours);
      const float fmin[3] = {float(low(0)), float(low(1)), float(low(2))};
      const float fmax[3] = {float(high(0)), float(high(1)), float(high(2))};
      netgen_search(&tree.Tree(), fmin, fmax, theirs);
      ASSERT_EQ(Entries(ours), Entries(theirs)) << "round " << round;
      std::vector<int> expected;
      for (size_t i = 0; i < points.size(); ++i) {
        bool inside = alive[i];
        for (int k = 0; k < 3 && inside; ++k) {
          const float c = static_cast<float>(points[i](k));
          inside = c >= fmin[k] && c <= fmax[k];
        }
        if (inside) expected.push_back(static_cast<int>(i));
      }
      std::vector<int> found = Entries(ours);
      std::sort(found.begin(), found.end());
      ASSERT_EQ(found, expected) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace mesh
