// meshctl model on the bundled building models and on bad input: the
// summary people read, the exit codes, and files that open elsewhere.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "cli/model_command.h"
#include "protocol/worker_contract.h"
#include "testing/export_readers.h"

namespace mesh {
namespace {

ProcessOutput MeshctlModel(const std::vector<std::string>& args) {
  TestProcessOptions options;
  options.unset_env = {"MESHCTL_WORKER", kHangTestVariable};
  std::vector<std::string> all = {"model"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(MESHCTL_PATH, all, "", options);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(MeshctlModelTest, ClosedSolidsComeOutClosedAndEveryFaceMeshed) {
  ScratchDirectory dir;
  const ProcessOutput out =
      MeshctlModel({"examples/models/DH_01_subs.city.json", "-o", dir / "dh.vtu", "--target-size",
                    "0.5", "--jobs", "2", "--svg", dir / "dh.svg"});
  EXPECT_TRUE(out.status.exited);
  EXPECT_EQ(out.status.code, kExitOk) << out.out << out.err;
  EXPECT_TRUE(Contains(out.out, "70 faces: 70 meshed, 0 refused, 0 skipped as degenerate, 0 failed"))
      << out.out;
  EXPECT_TRUE(Contains(out.out, ", 0 open\n")) << out.out;
  EXPECT_TRUE(Contains(out.out, "  RoofSurface: ")) << out.out;
  EXPECT_TRUE(Contains(ReadFile(dir / "dh.vtu"), "Name=\"semantic\"")) << "no semantic cell data";
  EXPECT_TRUE(Contains(ReadFile(dir / "dh.svg"), "RoofSurface: ")) << "no legend";
}

TEST(MeshctlModelTest, EveryFaceIsMeshedOrListedWithItsReason) {
  ScratchDirectory dir;
  const ProcessOutput out = MeshctlModel({"examples/models/rotterdam_subset.json", "-o",
                                          dir / "r.msh", "--target-size", "0.5", "--jobs", "2"});
  ASSERT_TRUE(out.status.exited);
  ASSERT_TRUE(out.status.code == kExitOk || out.status.code == kExitNotMeshed) << out.err;
  // The count line, then one line per reason for faces left out.
  const std::string first = out.out.substr(0, out.out.find('\n'));
  EXPECT_TRUE(Contains(first, " faces: ")) << out.out;
  if (out.status.code == kExitNotMeshed) {
    EXPECT_TRUE(Contains(out.out, "; e.g. face ")) << out.out;
  }
  EXPECT_EQ(ReadFile(dir / "r.msh").compare(0, 11, "$MeshFormat"), 0);
}

TEST(MeshctlModelTest, BadInputIsRefusedBeforeAnyMeshing) {
  ScratchDirectory dir;
  const ProcessOutput format =
      MeshctlModel({"examples/models/cube.json", "-o", dir / "out.stl"});
  EXPECT_EQ(format.status.code, kExitBadInput);
  EXPECT_EQ(format.err,
            "meshctl: " + (dir / "out.stl") +
                ": cannot tell the format; name the output .vtu, .msh or .obj\n");

  const ProcessOutput missing = MeshctlModel({dir / "none.city.json", "-o", dir / "out.vtu"});
  EXPECT_EQ(missing.status.code, kExitBadInput);
  EXPECT_TRUE(Contains(missing.err, "none.city.json")) << missing.err;

  WriteFile(dir / "broken.city.json", "{\"type\": \"CityJSON\", \"version\": \"2.0\", ");
  const ProcessOutput broken = MeshctlModel({dir / "broken.city.json", "-o", dir / "out.vtu"});
  EXPECT_EQ(broken.status.code, kExitBadInput);
  EXPECT_TRUE(Contains(broken.err, "broken.city.json: ")) << broken.err;
}

TEST(MeshctlModelTest, DefaultTargetSizeFollowsTheModelsScale) {
  Model model;
  // A 10 m square face and a 1 m one, in metres and then in millimetres.
  model.vertices = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0},
                    {0, 0, 1}, {1, 0, 1},  {1, 1, 1},   {0, 1, 1}};
  model.faces.resize(3);
  model.faces[0].outer = {0, 1, 2, 3};
  model.faces[1].outer = {4, 5, 6, 7};
  model.faces[2].outer = {0, 1, 2, 3};
  EXPECT_DOUBLE_EQ(DefaultModelTargetSize(model), std::hypot(10.0, 10.0) / 10);
  for (Point3& p : model.vertices) p = {p.x * 1000, p.y * 1000, p.z * 1000};
  EXPECT_DOUBLE_EQ(DefaultModelTargetSize(model), std::hypot(10000.0, 10000.0) / 10);
  EXPECT_EQ(DefaultModelTargetSize(Model()), 0.0);
}

}  // namespace
}  // namespace mesh
