// The quality measures on elements whose values are known by hand.
#include "formats/mesh_quality.h"

#include <cmath>
#include <limits>
#include <numeric>

#include <gtest/gtest.h>

namespace mesh {
namespace {

const Point3 kUp{0, 0, 1};
const double kSqrt3 = std::sqrt(3.0);

TEST(MeshQualityTest, TrianglesOfKnownShape) {
  const ElementShape equilateral = TriangleShape({0, 0, 0}, {1, 0, 0}, {0.5, kSqrt3 / 2, 0}, kUp);
  EXPECT_NEAR(equilateral.min_angle, 60, 1e-12);
  EXPECT_NEAR(equilateral.max_angle, 60, 1e-12);
  EXPECT_NEAR(equilateral.aspect_ratio, 1, 1e-12);
  EXPECT_NEAR(equilateral.quality, 1, 1e-12);

  // Legs 1, hypotenuse √2, area 1/2.
  const ElementShape right = TriangleShape({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, kUp);
  EXPECT_NEAR(right.min_angle, 45, 1e-12);
  EXPECT_NEAR(right.max_angle, 90, 1e-12);
  EXPECT_NEAR(right.aspect_ratio, std::sqrt(2.0) * (2 + std::sqrt(2.0)) / (2 * kSqrt3), 1e-12);
  EXPECT_NEAR(right.quality, kSqrt3 / 2, 1e-12);

  // A sliver: nearly flat, yet still turning the right way.
  const ElementShape sliver = TriangleShape({0, 0, 0}, {1, 0, 0}, {0.5, 1e-9, 0}, kUp);
  EXPECT_LT(sliver.min_angle, 1e-6);
  EXPECT_GT(sliver.max_angle, 180 - 1e-6);
  EXPECT_LT(sliver.quality, 1e-8);
  EXPECT_GT(sliver.quality, 0);
  EXPECT_GT(sliver.aspect_ratio, 1e8);
  EXPECT_TRUE(std::isfinite(sliver.aspect_ratio));

  // Collapsed onto a line, and turned against the normal.
  const ElementShape flat = TriangleShape({0, 0, 0}, {1, 0, 0}, {2, 0, 0}, kUp);
  EXPECT_EQ(flat.quality, 0);
  EXPECT_TRUE(std::isinf(flat.aspect_ratio));
  const ElementShape inverted = TriangleShape({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, kUp);
  EXPECT_NEAR(inverted.quality, -kSqrt3 / 2, 1e-12);
  EXPECT_TRUE(std::isinf(inverted.aspect_ratio));
  // Nothing to compare with: the element's own turning counts as right.
  EXPECT_NEAR(TriangleShape({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, Point3{}).quality, kSqrt3 / 2, 1e-12);
}

TEST(MeshQualityTest, QuadsOfKnownShape) {
  const ElementShape square = QuadShape({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, kUp);
  EXPECT_NEAR(square.min_angle, 90, 1e-12);
  EXPECT_NEAR(square.max_angle, 90, 1e-12);
  EXPECT_NEAR(square.aspect_ratio, 1, 1e-12);
  EXPECT_NEAR(square.quality, 1, 1e-12);

  // Longest edge 2 times perimeter 6 over 4 times area 2.
  const ElementShape rectangle = QuadShape({0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}, kUp);
  EXPECT_NEAR(rectangle.aspect_ratio, 1.5, 1e-12);
  EXPECT_NEAR(rectangle.quality, 1, 1e-12);

  const ElementShape rhombus =
      QuadShape({0, 0, 0}, {1, 0, 0}, {1.5, kSqrt3 / 2, 0}, {0.5, kSqrt3 / 2, 0}, kUp);
  EXPECT_NEAR(rhombus.min_angle, 60, 1e-12);
  EXPECT_NEAR(rhombus.max_angle, 120, 1e-12);
  EXPECT_NEAR(rhombus.quality, kSqrt3 / 2, 1e-12);
  EXPECT_NEAR(rhombus.aspect_ratio, 4 / (4 * kSqrt3 / 2), 1e-12);

  // A dart: its reflex corner is over 180 degrees and its quality negative.
  const ElementShape dart = QuadShape({0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}, kUp);
  EXPECT_NEAR(dart.max_angle, 270, 1e-12);
  EXPECT_LT(dart.quality, 0);

  // A quad collapsed to a triangle (two corners on one point).
  const ElementShape collapsed = QuadShape({0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, kUp);
  EXPECT_EQ(collapsed.quality, 0);
}

TEST(MeshQualityTest, MeasuresDoNotDependOnWhereThePlaneLies) {
  // The square and the equilateral triangle turned into a tilted plane far
  // from the origin, the normal found from the mesh itself.
  const Point3 u{0.6, 0, 0.8}, v{0, 1, 0}, at{1000, -50, 20};
  auto place = [&](double a, double b) {
    return Point3{at.x + a * u.x + b * v.x, at.y + a * u.y + b * v.y, at.z + a * u.z + b * v.z};
  };
  PlanarComplexMesh mesh;
  mesh.vertices = {place(0, 0), place(1, 0), place(1, 1), place(0, 1), place(0.5, 1 + kSqrt3 / 2)};
  mesh.quads = {{0, 1, 2, 3}};
  mesh.quad_domains = {1};
  mesh.triangles = {{3, 2, 4}};
  mesh.triangle_domains = {1};
  const Point3 normal = MeshNormal(mesh);
  // u × v, the way the elements turn.
  EXPECT_NEAR(normal.x, -0.8, 1e-12);
  EXPECT_NEAR(normal.z, 0.6, 1e-12);
  for (const ElementShape& shape : ElementShapes(mesh)) {
    EXPECT_NEAR(shape.aspect_ratio, 1, 1e-9);
    EXPECT_NEAR(shape.quality, 1, 1e-9);
  }
}

TEST(MeshQualityTest, DomainsSumUpTheirElements) {
  // Domain 3: a square and a rectangle; domain 1: the right isosceles
  // triangle and a sliver (listed after domain 3's in the record).
  PlanarComplexMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {3, 0, 0}, {3, 1, 0},
                   {0, -1, 0}, {0.5, -1e-6, 0}};
  mesh.quads = {{0, 1, 2, 3}, {1, 4, 5, 2}};
  mesh.quad_domains = {3, 3};
  mesh.triangles = {{6, 1, 0}, {0, 7, 1}};
  mesh.triangle_domains = {1, 1};
  const std::vector<DomainQuality> domains = MeasureMeshQuality(mesh);
  ASSERT_EQ(domains.size(), 2u);
  const DomainQuality& triangles = domains[0];
  const DomainQuality& quads = domains[1];
  EXPECT_EQ(triangles.domain, 1);
  EXPECT_EQ(triangles.quads, 0u);
  EXPECT_EQ(triangles.triangles, 2u);
  EXPECT_EQ(quads.domain, 3);
  EXPECT_EQ(quads.quads, 2u);
  EXPECT_NEAR(quads.min_angle, 90, 1e-12);
  EXPECT_NEAR(quads.worst_aspect_ratio, 2 * 6 / 8.0, 1e-12);
  EXPECT_NEAR(quads.mean_quality, 1, 1e-12);
  EXPECT_LT(triangles.min_angle, 1e-3);
  EXPECT_GT(triangles.max_angle, 179.9);
  EXPECT_LT(triangles.min_quality, 1e-5);
  EXPECT_NEAR(triangles.mean_quality, (kSqrt3 / 2 + triangles.min_quality) / 2, 1e-12);
  for (const DomainQuality& d : domains) {
    EXPECT_EQ(std::accumulate(d.histogram.begin(), d.histogram.end(), size_t{0}),
              d.quads + d.triangles);
  }
  EXPECT_EQ(triangles.histogram[0], 1u);
  EXPECT_EQ(triangles.histogram[8], 1u);  // √3/2 = 0.866
  EXPECT_EQ(quads.histogram[9], 2u);

  EXPECT_EQ(FormatMeshQuality({quads}),
            "  domain 3: 2 quads, 0 triangles; angles 90.0 to 90.0 degrees; worst aspect ratio "
            "1.50; quality min 1.00, mean 1.00; 0 under 0.3 (worst: quad 0)\n"
            "    quality by tenths, 0 to 1: 0 0 0 0 0 0 0 0 0 2\n"
            "  all domains: 2 quads, 0 triangles; quality min 1.00, mean 1.00; 0 under 0.3 "
            "(worst: domain 3, quad 0)\n");

  // The sliver is the worst of all, and the only poor element.
  EXPECT_EQ(triangles.poor, 1u);
  EXPECT_FALSE(triangles.worst_is_quad);
  EXPECT_EQ(triangles.worst_element, 1u);
  const QualityTotals all = TotalQuality(domains, mesh.vertices.size(), 7);
  EXPECT_EQ(all.answers, 1u);
  EXPECT_EQ(all.quads, 2u);
  EXPECT_EQ(all.triangles, 2u);
  EXPECT_EQ(all.poor, 1u);
  EXPECT_EQ(all.min_quality, triangles.min_quality);
  EXPECT_NEAR(all.mean_quality, (2 + kSqrt3 / 2 + triangles.min_quality) / 4, 1e-12);
  EXPECT_EQ(all.worst.line, 7u);
  EXPECT_EQ(all.worst.domain, 1);
  EXPECT_FALSE(all.worst.is_quad);
  EXPECT_EQ(all.worst.index, 1u);
  EXPECT_EQ(all.histogram[0] + all.histogram[8] + all.histogram[9], 4u);
}

TEST(MeshQualityTest, TotalsOfManyAnswersKeepTheFirstWorstAndAddTheRest) {
  PlanarComplexMesh square;
  square.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  square.quads = {{0, 1, 2, 3}};
  square.quad_domains = {4};
  PlanarComplexMesh flat = square;  // a quad with a straight corner at 1
  flat.vertices[1] = {1, -0.01, 0};
  flat.vertices[2] = {2, 0, 0};
  flat.vertices[3] = {1, 1, 0};
  flat.quads.push_back({0, 1, 2, 3});
  flat.quad_domains.push_back(2);

  QualityTotals sum;
  for (size_t line : {3, 4, 9}) {
    const PlanarComplexMesh& mesh = line == 3 ? square : flat;
    AddQualityTotals(TotalQuality(MeasureMeshQuality(mesh), mesh.vertices.size(), line), &sum);
  }
  EXPECT_EQ(sum.answers, 3u);
  EXPECT_EQ(sum.vertices, 12u);
  EXPECT_EQ(sum.quads, 5u);
  EXPECT_EQ(sum.poor, 4u);
  // Lines 4 and 9 are equally bad; the first is named, in its first domain.
  EXPECT_EQ(sum.worst.line, 4u);
  EXPECT_EQ(sum.worst.domain, 2);
  EXPECT_TRUE(sum.worst.is_quad);
  EXPECT_EQ(sum.worst.index, 1u);
  EXPECT_NEAR(sum.mean_quality, (1 + 4 * sum.min_quality) / 5, 1e-12);
  EXPECT_EQ(FormatQualityTotals(sum).substr(0, FormatQualityTotals(sum).find('\n')),
            "  12 vertices, 5 quads, 0 triangles in 3 answers");
  EXPECT_NE(FormatQualityTotals(sum).find("; 4 under 0.3 (worst: line 4, domain 2, quad 1)\n"),
            std::string::npos)
      << FormatQualityTotals(sum);

  const nlohmann::ordered_json json = QualityTotalsToJson(sum);
  EXPECT_EQ(json["poor"], 4);
  EXPECT_EQ(json["worst"],
            nlohmann::ordered_json({{"line", 4}, {"domain", 2}, {"element", "quad"}, {"index", 1}}));

  // Nothing meshed: the counts, and no measures to show.
  QualityTotals empty;
  AddQualityTotals(TotalQuality({}, 0, 2), &empty);
  EXPECT_EQ(empty.answers, 1u);
  EXPECT_TRUE(QualityTotalsToJson(empty)["min_quality"].is_null());
  EXPECT_FALSE(QualityTotalsToJson(empty).contains("worst"));
  EXPECT_EQ(FormatQualityTotals(empty), "  0 vertices, 0 quads, 0 triangles in 1 answer\n");

  // One answer as stats gives it: the totals, then each domain.
  const nlohmann::ordered_json stats = MeshStatsJson(flat);
  EXPECT_FALSE(stats.contains("answers"));
  EXPECT_EQ(stats["quads"], 2);
  EXPECT_EQ(stats["poor"], 2);
  EXPECT_EQ(stats["worst"], nlohmann::ordered_json({{"domain", 2}, {"element", "quad"}, {"index", 1}}));
  EXPECT_EQ(stats["domains"].size(), 2u);
  EXPECT_EQ(stats["domains"][0]["worst"], nlohmann::ordered_json({{"element", "quad"}, {"index", 1}}));
  EXPECT_EQ(MeshStatsJson(flat, 9)["worst"]["line"], 9);
}

TEST(MeshQualityTest, BinsAndInfiniteValues) {
  EXPECT_EQ(QualityBin(-0.5), 0u);
  EXPECT_EQ(QualityBin(std::nan("")), 0u);
  EXPECT_EQ(QualityBin(0.1), 1u);
  EXPECT_EQ(QualityBin(0.95), 9u);
  EXPECT_EQ(QualityBin(1.0), 9u);

  PlanarComplexMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  mesh.triangles = {{0, 1, 2}};
  mesh.triangle_domains = {2};
  const std::vector<DomainQuality> domains = MeasureMeshQuality(mesh);
  const nlohmann::ordered_json json = MeshQualityToJson(domains);
  EXPECT_TRUE(json["domains"][0]["worst_aspect_ratio"].is_null());
  EXPECT_EQ(json["domains"][0]["quality_histogram"][0], 1);
  EXPECT_NE(FormatMeshQuality(domains).find("worst aspect ratio infinite;"), std::string::npos);
  EXPECT_TRUE(MeasureMeshQuality(PlanarComplexMesh()).empty());
}

}  // namespace
}  // namespace mesh
