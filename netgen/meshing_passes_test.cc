#include "netgen/meshing_passes.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "netgen/kept_boundary.h"
#include "netgen/netgen_problems.h"
#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::FlatPlanePoints;
using test::TwoDomainRectangleRequest;
using test::UnitSquareRequest;

// What one scripted pass does: write `netgen_wrote` as Netgen would when it
// is set, then throw `message` when it is set, otherwise return `result`.
struct PassOutcome {
  int result = 0;
  const char* message = nullptr;
  const char* netgen_wrote = nullptr;
};

// What a pass saw when it was called.
struct PassRecord {
  bool quad = false;
  std::vector<bool> domain_quad;  // GetDomainQuadMeshing(1..n)
  double maxh = 0;
  double minh = 0;
  const netgen::MeshingParameters* parameters = nullptr;
  size_t mesh_points = 0;
  bool boundary_kept = false;
};

// Plays `outcomes` in order, records what each pass saw, and on success
// leaves a mesh of its own in the holder so the caller can check it is the
// one handed back.
class ScriptedMesher {
 public:
  ScriptedMesher(std::vector<PassOutcome> outcomes, int domain_count)
      : outcomes_(std::move(outcomes)), domain_count_(domain_count) {}

  GenerateMeshFunction Function() {
    return [this](netgen::SplineGeometry2d& geometry, std::shared_ptr<netgen::Mesh>& mesh,
                  netgen::MeshingParameters& parameters) {
      PassRecord record;
      record.quad = parameters.quad;
      for (int domain = 1; domain <= domain_count_; ++domain) {
        record.domain_quad.push_back(geometry.GetDomainQuadMeshing(domain));
      }
      record.maxh = parameters.maxh;
      record.minh = parameters.minh;
      record.parameters = &parameters;
      record.mesh_points = mesh == nullptr ? 99 : mesh->GetNP();
      record.boundary_kept = BoundaryKeptAsGiven();
      records.push_back(record);
      const PassOutcome& outcome = outcomes_.at(records.size() - 1);
      if (outcome.netgen_wrote != nullptr) NoteNetgenMessage(outcome.netgen_wrote);
      if (outcome.message != nullptr) throw std::runtime_error(outcome.message);
      if (outcome.result == 0) {
        mesh = std::make_shared<netgen::Mesh>();
        last_success = mesh.get();
      }
      return outcome.result;
    };
  }

  std::vector<PassRecord> records;
  const netgen::Mesh* last_success = nullptr;

 private:
  std::vector<PassOutcome> outcomes_;
  int domain_count_;
};

struct PassesResult {
  std::shared_ptr<netgen::Mesh> mesh;
  std::vector<std::string> lines;
};

// `lines` as the worker writes them: the fallback note, then the refusal.
PassesResult RunPasses(const MeshRequest& request, ScriptedMesher* mesher) {
  DomainNumbering numbering(request.segments);
  std::optional<StageRefusal> geometry_refusal;
  auto geometry =
      BuildSplineGeometry(request, FlatPlanePoints(request.points), numbering, &geometry_refusal);
  netgen::MeshingParameters parameters;
  SetMeshingParameters(request, &parameters);
  MeshingPassesResult passes =
      RunMeshingPasses(*geometry, numbering, parameters, mesher->Function());
  EXPECT_EQ(passes.mesh == nullptr, passes.refusal.has_value());
  PassesResult result;
  result.mesh = passes.mesh;
  if (passes.fell_back_to_triangles) {
    result.lines.push_back(StageLine(MeshingStage::kBuildPlanarMesh, kTriangleFallbackNote));
  }
  if (passes.refusal.has_value()) result.lines.push_back(passes.refusal->line);
  return result;
}

const char kFallbackLine[] =
    "[meshing] BuildPlanarMesh: quad mesher failed; triangle-mesher fallback succeeded";

TEST(MeshingPassesTest, QuadPassSuccessWritesNothing) {
  ScriptedMesher mesher({{0}}, 2);
  PassesResult result = RunPasses(TwoDomainRectangleRequest(), &mesher);
  ASSERT_NE(result.mesh, nullptr);
  EXPECT_EQ(result.mesh.get(), mesher.last_success);
  EXPECT_TRUE(result.lines.empty());
  ASSERT_EQ(mesher.records.size(), 1u);
  EXPECT_TRUE(mesher.records[0].quad);
  EXPECT_EQ(mesher.records[0].domain_quad, (std::vector<bool>{true, true}));
  EXPECT_EQ(mesher.records[0].mesh_points, 0u);
}

TEST(MeshingPassesTest, TrianglePassAfterAFailedQuadPass) {
  struct Case {
    PassOutcome quad_pass;
    bool prefer_quads;
  };
  for (const Case& c : {Case{{1}, true}, Case{{-7}, true}, Case{{0, "quad trouble"}, true},
                        Case{{1}, false}}) {
    SCOPED_TRACE(c.quad_pass.result);
    MeshRequest request = TwoDomainRectangleRequest();
    request.prefer_quads = c.prefer_quads;
    ScriptedMesher mesher({c.quad_pass, {0}}, 2);
    PassesResult result = RunPasses(request, &mesher);
    ASSERT_NE(result.mesh, nullptr);
    EXPECT_EQ(result.mesh.get(), mesher.last_success);
    EXPECT_EQ(result.lines, std::vector<std::string>{kFallbackLine});
    ASSERT_EQ(mesher.records.size(), 2u);
    EXPECT_EQ(mesher.records[0].quad, c.prefer_quads);
    EXPECT_FALSE(mesher.records[1].quad);
    EXPECT_EQ(mesher.records[1].domain_quad, (std::vector<bool>{false, false}));
    // One parameter object serves both passes, and each pass starts from a
    // fresh, empty mesh.
    EXPECT_EQ(mesher.records[1].parameters, mesher.records[0].parameters);
    EXPECT_EQ(mesher.records[1].maxh, mesher.records[0].maxh);
    EXPECT_EQ(mesher.records[1].mesh_points, 0u);
  }
}

TEST(MeshingPassesTest, BothPassesFailingWriteTheTrianglePassReason) {
  struct Case {
    PassOutcome quad_pass;
    PassOutcome triangle_pass;
    const char* line;
  };
  const Case cases[] = {
      {{1}, {2},
       "[meshing] BuildPlanarMesh: GenerateMesh failed on both quad and triangle passes "
       "(rc=2); returning empty"},
      {{0, "quad trouble"}, {-3},
       "[meshing] BuildPlanarMesh: GenerateMesh failed on both quad and triangle passes "
       "(rc=-3); returning empty"},
      {{1}, {0, "meshing failed"},
       "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
       "meshing failed (Netgen wrote no warning or error); returning empty"},
      {{1}, {0, "meshing failed", " faces = 12 trials = 6000 elements = 52 els/sec = 1133.42\n"},
       "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
       "meshing failed (Netgen wrote no warning or error; its front last had 12 faces open "
       "after 6000 trials); returning empty"},
      // Netgen's last warning or error, of either pass, is the reason.
      {{1, nullptr, " WARNING: quad trouble\n"}, {0, "meshing failed", " Meshing domain 1 / 1\n"},
       "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
       "meshing failed (Netgen: WARNING: quad trouble); returning empty"},
      {{1, nullptr, " WARNING: quad trouble\n"},
       {0, "meshing failed", " ERROR: Problem in Meshing\n  in surface 1\n"},
       "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
       "meshing failed (Netgen: ERROR: Problem in Meshing in surface 1); returning empty"},
      {{1}, {2, nullptr, " WARNING: Found points on the same position\r"},
       "[meshing] BuildPlanarMesh: GenerateMesh failed on both quad and triangle passes "
       "(rc=2) (Netgen: WARNING: Found points on the same position); returning empty"},
      {{0, "quad trouble"}, {0, "triangle trouble"},
       "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
       "triangle trouble; returning empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ScriptedMesher mesher({c.quad_pass, c.triangle_pass}, 1);
    PassesResult result = RunPasses(UnitSquareRequest(0.25), &mesher);
    EXPECT_EQ(result.mesh, nullptr);
    EXPECT_EQ(result.lines, std::vector<std::string>{c.line});
    EXPECT_EQ(mesher.records.size(), 2u);
  }
}

TEST(MeshingPassesTest, ExceptionsOfOtherKindsAreNotCaught) {
  MeshRequest request = UnitSquareRequest(0.25);
  DomainNumbering numbering(request.segments);
  std::optional<StageRefusal> refusal;
  auto geometry =
      BuildSplineGeometry(request, FlatPlanePoints(request.points), numbering, &refusal);
  netgen::MeshingParameters parameters;
  GenerateMeshFunction throws_int = [](netgen::SplineGeometry2d&,
                                       std::shared_ptr<netgen::Mesh>&,
                                       netgen::MeshingParameters&) -> int { throw 42; };
  EXPECT_THROW(RunMeshingPasses(*geometry, numbering, parameters, throws_int), int);
}

TEST(MeshingPassesTest, ParametersSpanEveryTargetSize) {
  MeshRequest request = UnitSquareRequest(0.25);  // names domain 1 only
  request.target_size = 0.1;
  request.domain_target_sizes = {0.05, 0.0, 0.4};
  request.prefer_quads = false;
  netgen::MeshingParameters parameters;
  SetMeshingParameters(request, &parameters);
  EXPECT_DOUBLE_EQ(parameters.maxh, 0.4);
  EXPECT_DOUBLE_EQ(parameters.minh, 0.005);
  EXPECT_EQ(parameters.grading, 0.3);
  EXPECT_TRUE(parameters.uselocalh);
  EXPECT_FALSE(parameters.quad);

  request.domain_target_sizes.clear();
  request.prefer_quads = true;
  SetMeshingParameters(request, &parameters);
  EXPECT_EQ(parameters.maxh, 0.1);
  EXPECT_DOUBLE_EQ(parameters.minh, 0.01);
  EXPECT_TRUE(parameters.quad);

  // These are the values the mesher is actually handed.
  request.domain_target_sizes = {0.05, 0.0, 0.4};
  ScriptedMesher mesher({{0}}, 1);
  RunPasses(request, &mesher);
  ASSERT_EQ(mesher.records.size(), 1u);
  EXPECT_DOUBLE_EQ(mesher.records[0].maxh, 0.4);
  EXPECT_DOUBLE_EQ(mesher.records[0].minh, 0.005);
}

TEST(MeshingPassesTest, BoundaryIsKeptOnlyWhileTheRequestsPassesRun) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.options = kKeepBoundary;
  ScriptedMesher failing({{1}, {0, "meshing failed"}}, 1);
  const PlaneMeshing failed =
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), failing.Function());
  EXPECT_EQ(failed.mesh, nullptr);
  ASSERT_TRUE(failed.refusal.has_value());
  EXPECT_EQ(failed.refusal->line,
            "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle "
            "passes with every boundary segment kept as one edge: meshing failed (Netgen "
            "wrote no warning or error); "
            "returning empty");
  ASSERT_EQ(failing.records.size(), 2u);
  EXPECT_TRUE(failing.records[0].boundary_kept);
  EXPECT_TRUE(failing.records[1].boundary_kept);
  EXPECT_FALSE(BoundaryKeptAsGiven());

  // Not even a throw the passes do not catch leaves it on.
  GenerateMeshFunction throws_int = [](netgen::SplineGeometry2d&,
                                       std::shared_ptr<netgen::Mesh>&,
                                       netgen::MeshingParameters&) -> int { throw 42; };
  EXPECT_THROW(MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), throws_int), int);
  EXPECT_FALSE(BoundaryKeptAsGiven());

  request.options = 0;
  ScriptedMesher plain({{0}}, 1);
  ASSERT_NE(MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), plain.Function()).mesh,
            nullptr);
  EXPECT_FALSE(plain.records.at(0).boundary_kept);
}

TEST(MeshingPassesTest, FailedBuildReturnsNullAndSuccessOwnsTheGeometry) {
  MeshRequest request = UnitSquareRequest(0.25);
  ScriptedMesher failing({{1}, {1}}, 1);
  const PlaneMeshing failed =
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), failing.Function());
  EXPECT_EQ(failed.mesh, nullptr);
  ASSERT_TRUE(failed.refusal.has_value());
  EXPECT_EQ(failed.refusal->key, RefusalKey::kMesherFailed);
  EXPECT_TRUE(failed.notes.empty());
  // The fallback is noted with the mesh it made.
  ScriptedMesher second_pass({{1}, {0}}, 1);
  const PlaneMeshing fell_back =
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), second_pass.Function());
  EXPECT_NE(fell_back.mesh, nullptr);
  EXPECT_EQ(fell_back.notes, std::vector<std::string>{kFallbackLine});
  // A pass that reports success with an empty mesh still yields a mesh; the
  // extraction is the one that refuses it.
  ScriptedMesher empty({{0}}, 1);
  std::shared_ptr<SurfaceMesh> mesh =
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), empty.Function()).mesh;
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->NodeCount(), 0);
  EXPECT_EQ(mesh->ElementCount(), 0u);
  ASSERT_NE(empty.last_success, nullptr);
  EXPECT_NE(empty.last_success->GetGeometry(), nullptr);
}

}  // namespace
}  // namespace mesh
