// Our front search trees (front_search_trees.cc) against Netgen's own
// searches on the very same trees: after any mix of insertions, deletions
// and reuse of dead nodes, every search returns what Netgen's returns, in
// Netgen's order, and that is every live entry in the box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <meshing.hpp>

#include "netgen/netgen_own_symbol_testing.h"

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

// The search box of every tree here, z = 0 in its middle as in the 2-D front.
const netgen::Point<3> kTreeMin(-1, -1, -2), kTreeMax(2, 2, 2);

// Churns entries 0 .. alive->size() - 1 the way a front churns: 20,000 times
// a random id is deleted if alive, else inserted anew (ids reused, new
// entries where old ones died), and every 50th time `search(round)` checks
// the tree. Stops at the first fatal failure.
template <typename Insert, typename Erase, typename Search>
void Churn(std::mt19937& random, std::vector<bool>* alive, Insert insert, Erase erase,
           Search search) {
  std::uniform_int_distribution<int> any_id(0, static_cast<int>(alive->size()) - 1);
  for (int round = 0; round < 20000 && !::testing::Test::HasFatalFailure(); ++round) {
    const int id = any_id(random);
    if ((*alive)[id]) {
      erase(id);
    } else {
      insert(id);
    }
    (*alive)[id] = !(*alive)[id];
    if (round % 50 == 0) search(round);
  }
}

std::vector<int> Sorted(std::vector<int> entries) {
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Short segments in the unit square at z = 0, as the 2-D front holds them.
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
    netgen::BoxTree<3> tree(kTreeMin, kTreeMax);
    std::vector<netgen::Box<3>> boxes(4000);
    std::vector<bool> alive(boxes.size(), false);
    netgen::Array<int> ours, theirs;
    auto insert = [&](int id) {
      const Segment segment = coincident && id % 4 == 0
                                  ? Segment{{0.5, 0.5, 0}, {0.51, 0.5, 0}}
                                  : RandomSegment(random, 0.02);
      boxes[id] = netgen::Box<3>(segment.a, segment.b);
      tree.Insert(boxes[id].PMin(), boxes[id].PMax(), id);
    };
    auto erase = [&](int id) { tree.DeleteElement(id); };
    auto search = [&](int round) {
      const Segment probe = RandomSegment(random, 0);
      const double reach = std::uniform_real_distribution<double>(0.001, 0.3)(random);
      const netgen::Point<3> low = probe.a - netgen::Vec<3>(reach, reach, reach);
      const netgen::Point<3> high = probe.a + netgen::Vec<3>(reach, reach, reach);
      tree.GetIntersecting(low, high, ours);
      // BoxTree's own translation of a box search into the 6-D tree.
      netgen::Point<6> tmin, tmax;
      const double tolerance = tree.Tolerance();
      for (int i = 0; i < 3; ++i) {
        tmin(i) = kTreeMin(i);
        tmax(i) = high(i) + tolerance;
        tmin(i + 3) = low(i) - tolerance;
        tmax(i + 3) = kTreeMax(i);
      }
      netgen_search(&tree.Tree(), tmin, tmax, theirs);
      ASSERT_EQ(Entries(ours), Entries(theirs)) << "round " << round;
      std::vector<int> expected;
      for (size_t i = 0; i < boxes.size(); ++i) {
        bool meets = alive[i];
        for (int k = 0; k < 3 && meets; ++k) {
          meets = static_cast<float>(boxes[i].PMin()(k)) <= tmax(k) &&
                  static_cast<float>(boxes[i].PMax()(k)) >= tmin(k + 3);
        }
        if (meets) expected.push_back(static_cast<int>(i));
      }
      ASSERT_EQ(Sorted(Entries(ours)), expected) << "round " << round;
    };
    Churn(random, &alive, insert, erase, search);
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
    netgen::Point3dTree tree(kTreeMin, kTreeMax);
    std::vector<netgen::Point<3>> points(3000);
    std::vector<bool> alive(points.size(), false);
    netgen::Array<int> ours, theirs;
    auto insert = [&](int id) {
      points[id] = coincident && id % 4 == 0 ? netgen::Point<3>(0.25, 0.75, 0)
                                             : netgen::Point<3>(unit(random), unit(random), 0);
      tree.Insert(points[id], id);
    };
    auto erase = [&](int id) { tree.DeleteElement(id); };
    auto search = [&](int round) {
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
      ASSERT_EQ(Sorted(Entries(ours)), expected) << "round " << round;
    };
    Churn(random, &alive, insert, erase, search);
  }
}

}  // namespace
}  // namespace mesh
