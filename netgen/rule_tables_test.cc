// The built-in rule tables, parsed once and shared by every mesh
// (rule_tables.cc): Netgen's libraries reach our copies, and a mesh made
// with rules that earlier meshes used, of either kind and in any order, is
// the mesh that freshly parsed rules give.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/netgen_lock.h"
#include "netgen/meshing_passes.h"
#include "netgen/netgen_own_symbol_testing.h"
#include "netgen/netgen_start.h"
#include "testing/loops.h"
#include "testing/plane_points.h"

namespace mesh {
namespace {

TEST(RuleTablesTest, NetgenReachesOurCopies) {
  for (const char* symbol : {"_ZN6netgen8Meshing29LoadRulesEPKcb", "_ZN6netgen8Meshing2D1Ev",
                             "_ZN6netgen8Meshing2D0Ev"}) {
    const std::string file = test::DefiningFile(symbol);
    EXPECT_EQ(file.find("/netgen/lib"), std::string::npos) << symbol << " resolves to " << file;
  }
}

// Every node (numbered from 1) and element of a mesh, bit for bit.
std::string MeshBytes(const MeshRequest& request) {
  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  const std::shared_ptr<SurfaceMesh> mesh =
      MeshPlaneWithNetgen(request, test::FlatPlanePoints(request.points), GenerateMeshWithNetgen)
          .mesh;
  if (mesh == nullptr) return "(no mesh)";
  std::string bytes;
  auto append = [&bytes](const void* data, size_t size) {
    bytes.append(static_cast<const char*>(data), size);
  };
  for (int32_t i = 1; i <= mesh->NodeCount(); ++i) {
    const PlanePoint node = mesh->Node(i);
    append(&node, sizeof node);
  }
  for (size_t i = 0; i < mesh->ElementCount(); ++i) {
    const SurfaceElement element = mesh->Element(i);
    append(&element.node_count, sizeof element.node_count);
    append(element.nodes.data(), sizeof element.nodes);
    append(&element.domain, sizeof element.domain);
  }
  return bytes;
}

MeshRequest PlateRequest(bool prefer_quads) {
  MeshRequest request;
  test::AddLoop(&request, {{0, 0}, {1.3, 0}, {1.3, 0.7}, {0, 0.7}}, 1, 0);
  test::AddLoop(&request, test::RegularPolygon(9, 0.15, 0.5, 0.35), 0, 1);
  request.target_size = 0.08;
  request.prefer_quads = prefer_quads;
  return request;
}

TEST(RuleTablesTest, SharedRulesMeshAsFreshOnesDo) {
  const std::string quads = MeshBytes(PlateRequest(true));
  const std::string triangles = MeshBytes(PlateRequest(false));
  ASSERT_NE(quads, triangles);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(MeshBytes(PlateRequest(false)), triangles) << "round " << round;
    EXPECT_EQ(MeshBytes(PlateRequest(true)), quads) << "round " << round;
  }
}

}  // namespace
}  // namespace mesh
