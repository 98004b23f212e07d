// The fixed GenericImprove (generic_improve.cc): Netgen reaches our copy, and
// quad meshes no longer leave memory behind.
#include <dlfcn.h>
#include <malloc.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "common/diagnostic.h"
#include "netgen/meshing_passes.h"
#include "netgen/netgen_lock.h"
#include "netgen/netgen_start.h"
#include "netgen/test_requests.h"

namespace mesh {
namespace {

constexpr char kGenericImprove[] = "_ZN6netgen14MeshOptimize2d14GenericImproveERNS_4MeshE";

TEST(GenericImproveTest, NetgenCallsOurCopy) {
  void* resolved = dlsym(RTLD_DEFAULT, kGenericImprove);
  ASSERT_NE(resolved, nullptr);
  Dl_info info;
  ASSERT_NE(dladdr(resolved, &info), 0);
  EXPECT_EQ(std::string(info.dli_fname).find("libmesh"), std::string::npos)
      << "GenericImprove resolves to " << info.dli_fname;
}

// Quads in two domains: GenericImprove runs for each domain in every
// optimisation step.
void MeshTwoDomainsWithQuads() {
  const MeshRequest request = TwoDomainRectangleRequest();
  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  ScopedDiagnosticCapture quiet;
  ASSERT_NE(MeshPlaneWithNetgen(request, PlanePointsOf(request), GenerateMeshWithNetgen),
            nullptr);
}

TEST(GenericImproveTest, QuadMeshesLeaveNothingBehind) {
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
