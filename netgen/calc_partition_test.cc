// Our CalcPartition (calc_partition.cc) against the one in Netgen's library:
// the library reaches ours, and ours places boundary nodes about where
// Netgen's does, never much further apart than the mesh-size field says.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <meshing.hpp>
#include <geometry2d.hpp>

#include "netgen/netgen_own_symbol_testing.h"

namespace netgen {
void CalcPartition(const SplineSegExt& spline, MeshingParameters& mp, Mesh& mesh, double elto0,
                   Array<double>& points);
}  // namespace netgen

namespace mesh {
namespace {

constexpr char kSymbol[] =
    "_ZN6netgen13CalcPartitionERKNS_12SplineSegExtERNS_17MeshingParametersERNS_4MeshEdRNS_"
    "5ArrayIdLi0EiEE";

using PartitionFunction = void (*)(const netgen::SplineSegExt&, netgen::MeshingParameters&,
                                   netgen::Mesh&, double, netgen::Array<double>&);

// Netgen's own definition, looked up in its library rather than as the
// dynamic linker binds it for everyone.
PartitionFunction NetgenOwnPartition() {
  return reinterpret_cast<PartitionFunction>(test::NetgenOwnSymbol("/libgeom2d.so", kSymbol));
}

TEST(CalcPartitionTest, NetgenReachesOurCopy) {
  void* bound = dlsym(RTLD_DEFAULT, kSymbol);
  Dl_info info;
  ASSERT_NE(bound, nullptr);
  ASSERT_NE(dladdr(bound, &info), 0);
  EXPECT_EQ(std::string(info.dli_fname).find("/netgen/lib"), std::string::npos)
      << "resolves to " << info.dli_fname;
  EXPECT_EQ(bound, reinterpret_cast<void*>(&netgen::CalcPartition));
  const PartitionFunction own = NetgenOwnPartition();
  ASSERT_NE(own, nullptr);
  EXPECT_NE(reinterpret_cast<void*>(own), bound);
}

// The mesh-size field of a 2 m box at `maxh`, graded as the worker grades,
// refined to `fine` at `(x, y)` when `fine` > 0.
struct SizeField {
  netgen::MeshingParameters parameters;
  netgen::Mesh mesh;
  SizeField(double maxh, double x, double y, double fine) {
    parameters.maxh = maxh;
    parameters.grading = 0.3;
    mesh.SetGlobalH(maxh);
    mesh.SetLocalH(netgen::Point<3>(-1, -1, -1), netgen::Point<3>(1, 1, 1), parameters.grading);
    if (fine > 0) mesh.RestrictLocalH(netgen::Point3d(x, y, 0), fine);
  }
};

netgen::Array<double> Partition(PartitionFunction partition, SizeField& field,
                                const netgen::SplineSegExt& spline) {
  netgen::Array<double> points;
  partition(spline, field.parameters, field.mesh, 1.0, points);
  return points;
}

// The spacing wanted at `at` along the spline, as the field says.
double SizeAt(SizeField& field, const netgen::SplineSegExt& spline, double at) {
  const netgen::Point<2> p = spline.GetPoint(at / spline.Length());
  return field.mesh.GetH(netgen::Point<3>(p(0), p(1), 0));
}

TEST(CalcPartitionTest, PlacesNodesWhereNetgenDoes) {
  const PartitionFunction own = NetgenOwnPartition();
  ASSERT_NE(own, nullptr);
  const struct {
    const char* name;
    double maxh, fine_x, fine_y, fine;
    netgen::Point<2> a, b;
  } cases[] = {
      {"uniform", 0.1, 0, 0, 0, {-0.9, 0.1}, {0.8, 0.3}},
      {"short against the size", 0.5, 0, 0, 0, {0, 0}, {0.01, 0}},
      {"graded towards a point on it", 0.2, 0.1, 0, 0.002, {-0.9, 0}, {0.9, 0}},
      {"graded towards a point beside it", 0.1, 0.3, 0.05, 0.005, {-0.8, 0}, {0.8, 0}},
      {"starting at the fine point", 0.2, -0.5, -0.5, 0.001, {-0.5, -0.5}, {0.5, 0.5}},
      // Finer than any sample of the newer code's first steps would see.
      {"ending at a far finer point", 0.25, 0.5, 0.5, 1e-5, {-0.5, -0.5}, {0.5, 0.5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SizeField field(c.maxh, c.fine_x, c.fine_y, c.fine);
    netgen::SplineSegExt spline(*new netgen::LineSeg<2>(netgen::GeomPoint<2>(c.a),
                                                         netgen::GeomPoint<2>(c.b)));
    const netgen::Array<double> theirs = Partition(own, field, spline);
    const netgen::Array<double> ours = Partition(netgen::CalcPartition, field, spline);
    ASSERT_GE(ours.Size(), 2);
    EXPECT_EQ(ours[0], 0.0);
    EXPECT_DOUBLE_EQ(ours[ours.Size() - 1], spline.Length());
    for (size_t i = 1; i < ours.Size(); ++i) EXPECT_GT(ours[i], ours[i - 1]) << i;
    // The coarser sampling moves nodes where the size changes fast: counts
    // within a tenth (or two nodes), each node within a third of the local
    // size of Netgen's, and, as in Netgen's, no step longer than twice the
    // larger size at its ends.
    const double count = theirs.Size();
    EXPECT_LE(std::abs(ours.Size() - count), std::max(2.0, 0.1 * count))
        << ours.Size() << " nodes against " << count;
    for (const netgen::Array<double>* points : {&theirs, &ours}) {
      for (size_t i = 1; i < points->Size(); ++i) {
        const double a = (*points)[i - 1], b = (*points)[i];
        EXPECT_LE(b - a, 2 * std::max(SizeAt(field, spline, a), SizeAt(field, spline, b)))
            << (points == &ours ? "ours" : "Netgen's") << ", step " << i;
      }
    }
    if (ours.Size() != theirs.Size()) continue;
    for (size_t i = 0; i < ours.Size(); ++i) {
      EXPECT_LE(std::abs(ours[i] - theirs[i]), 0.35 * SizeAt(field, spline, theirs[i]))
          << "node " << i << ": " << ours[i] << " against " << theirs[i];
    }
  }
}

}  // namespace
}  // namespace mesh
