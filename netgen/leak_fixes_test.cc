// The fixed copies of Netgen functions that leaked (generic_improve.cc,
// ngcore_demangle.cc): Netgen's libraries reach ours, and quad meshes no
// longer leave memory behind.
#include <malloc.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <typeinfo>

#include <core/utils.hpp>

#include "netgen/meshing_passes.h"
#include "netgen/netgen_own_symbol_testing.h"
#include "common/netgen_lock.h"
#include "netgen/netgen_start.h"
#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::DefiningFile;
using test::FlatPlanePoints;
using test::TwoDomainRectangleRequest;

TEST(NetgenLeakFixesTest, NetgenCallsOurCopies) {
  for (const char* symbol : {"_ZN6netgen14MeshOptimize2d14GenericImproveERNS_4MeshE",
                             "_ZN6ngcore8DemangleB5cxx11EPKc"}) {
    const std::string file = DefiningFile(symbol);
    EXPECT_EQ(file.find("/netgen/lib"), std::string::npos) << symbol << " resolves to " << file;
  }
}

TEST(NetgenLeakFixesTest, DemangleStillDemangles) {
  EXPECT_EQ(ngcore::Demangle(typeid(netgen::MeshOptimize2d).name()), "netgen::MeshOptimize2d");
  EXPECT_EQ(ngcore::Demangle("not a mangled name"), "not a mangled name");
}

// Quads in two domains: GenericImprove runs for each domain in every
// optimisation step.
void MeshTwoDomainsWithQuads() {
  const MeshRequest request = TwoDomainRectangleRequest();
  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  ASSERT_NE(
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), GenerateMeshWithNetgen).mesh,
      nullptr);
}

TEST(NetgenLeakFixesTest, QuadMeshesLeaveNothingBehind) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer build's leak check covers this";
#endif
  MeshTwoDomainsWithQuads();  // the library's one-time allocations
  const size_t before = mallinfo2().uordblks;
  constexpr int kMeshes = 30;
  for (int i = 0; i < kMeshes; ++i) MeshTwoDomainsWithQuads();
  const size_t after = mallinfo2().uordblks;
  // Netgen's own GenericImprove leaves about 100 KB behind per mesh here.
  EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
}

}  // namespace
}  // namespace mesh
