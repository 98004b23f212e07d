#include "formats/poly_reader.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

const NodeFileReader kNoNodeFile = [](std::string*, std::string*) { return false; };

PolyResult Parse(const std::string& text) {
  PolyResult result;
  std::string error;
  EXPECT_TRUE(ParsePoly("t.poly", text, kNoNodeFile, &result, &error)) << error;
  return result;
}

std::string ErrorOf(const std::string& text) {
  PolyResult result;
  std::string error;
  if (ParsePoly("t.poly", text, kNoNodeFile, &result, &error)) return "(parsed)";
  return error;
}

using Segments = std::vector<std::vector<int32_t>>;

Segments SegmentsOf(const MeshRequest& request) {
  Segments out;
  for (const BoundarySegment& s : request.segments) {
    out.push_back({s.point_a, s.point_b, s.left_domain, s.right_domain});
  }
  return out;
}

// A 4 x 4 square, numbered from 0, with its last segment listed clockwise,
// around a 2 x 2 opening (listed counter-clockwise) that holds a 1 x 1
// island; the opening is a hole unless `hole` is empty.
std::string NestedSquares(const std::string& hole, const std::string& regions) {
  return "12 2 0 0\n"
         "0 0 0\n1 4 0\n2 4 4\n3 0 4\n"
         "4 1 1\n5 3 1\n6 3 3\n7 1 3\n"
         "8 1.5 1.5\n9 2.5 1.5\n10 2.5 2.5\n11 1.5 2.5\n"
         "12 0\n"
         "0 0 1\n1 1 2\n2 2 3\n3 0 3\n"
         "4 4 5\n5 5 6\n6 6 7\n7 7 4\n"
         "8 8 9\n9 9 10\n10 10 11\n11 11 8\n" +
         hole + regions;
}

TEST(PolyReaderTest, HolesAndNestingDecideTheDomainsAndDirections) {
  // With a hole point in the opening, the ring and the island are meshed
  // and the opening is not. No regions: every meshed area is domain 1.
  const PolyResult holed = Parse(NestedSquares("1\n0 1.2 1.2\n", ""));
  EXPECT_EQ(SegmentsOf(holed.request),
            (Segments{{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0},
                      {3, 0, 1, 0} /* turned: domain on the left */,
                      {5, 4, 1, 0}, {6, 5, 1, 0}, {7, 6, 1, 0}, {4, 7, 1, 0},
                      {8, 9, 1, 0}, {9, 10, 1, 0}, {10, 11, 1, 0}, {11, 8, 1, 0}}));
  EXPECT_EQ(holed.request.points.size(), 12u);
  EXPECT_EQ(holed.request.points[2].x, 4);
  EXPECT_EQ(holed.request.points[2].z, 0);
  EXPECT_EQ(holed.request.plane_normal.z, 1);
  EXPECT_TRUE(holed.request.interior_only.empty());

  // Without the hole, the opening's outline separates the ring from the
  // area around the island; regions name them, and the area left unnamed
  // becomes the domain above the highest attribute.
  const PolyResult regions =
      Parse(NestedSquares("0\n", "2\n0 0.5 0.5 2 0.5\n1 2 2 5\n"));
  EXPECT_EQ(SegmentsOf(regions.request),
            (Segments{{0, 1, 2, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 0, 2, 0},
                      {4, 5, 6, 2}, {5, 6, 6, 2}, {6, 7, 6, 2}, {7, 4, 6, 2},
                      {8, 9, 5, 6}, {9, 10, 5, 6}, {10, 11, 5, 6}, {11, 8, 5, 6}}));
  // Region 2's maximum area 0.5 is the area of an equilateral triangle of
  // side sqrt(2 / sqrt(3)).
  ASSERT_EQ(regions.request.domain_target_sizes.size(), 2u);
  EXPECT_EQ(regions.request.domain_target_sizes[0], 0.0);
  EXPECT_DOUBLE_EQ(regions.request.domain_target_sizes[1], std::sqrt(2 / std::sqrt(3.0)));
}

TEST(PolyReaderTest, BundledBracketExample) {
  PolyResult result;
  std::string error;
  ASSERT_TRUE(ReadPolyFile("examples/bracket.poly", &result, &error)) << error;
  const MeshRequest& request = result.request;
  EXPECT_EQ(request.points.size(), 15u);
  EXPECT_EQ(request.segments.size(), 15u);
  // The line between the arms (file segment 8, from vertex 4 to 7) has the
  // lower arm (region 1) on its left and the upper arm (region 2) on its
  // right; the lone fixing point lies in the upper arm.
  EXPECT_EQ(SegmentsOf(request)[7], (std::vector<int32_t>{3, 6, 1, 2}));
  EXPECT_EQ(request.interior_only, std::vector<int32_t>{14});
  EXPECT_TRUE(result.notes.empty());
}

TEST(PolyReaderTest, VerticesMayComeFromTheNodeFile) {
  const NodeFileReader node_file = [](std::string* name, std::string* text) {
    *name = "t.node";
    *text = "# from Triangle\n4 2 1 1\n1 0 0 7 1\n2 1 0 7 1\n3 1 1 7 1\n4 0 1 7 1\n";
    return true;
  };
  PolyResult result;
  std::string error;
  ASSERT_TRUE(ParsePoly("t.poly", "0 2 0 0\n4 1\n1 1 2 5\n2 2 3 5\n3 3 4 5\n4 4 1 5\n0\n",
                        node_file, &result, &error))
      << error;
  EXPECT_EQ(result.request.points.size(), 4u);
  EXPECT_EQ(SegmentsOf(result.request)[3], (std::vector<int32_t>{3, 0, 1, 0}));

  EXPECT_EQ(ErrorOf("0 2 0 0\n4 0\n"), "t.poly: lists no vertices, and its .node file cannot be read");
}

TEST(PolyReaderTest, LoneVerticesAndStrayMarkers) {
  // A vertex inside the square becomes an interior-only point; region and
  // hole points that fall outside are noted and ignored.
  const PolyResult result = Parse(
      "5 2\n0 0 0\n1 2 0\n2 2 2\n3 0 2\n4 1 1\n4\n0 0 1\n1 1 2\n2 2 3\n3 3 0\n"
      "1\n0 5 5\n1\n0 -1 -1 3\n");
  EXPECT_EQ(result.request.interior_only, std::vector<int32_t>{4});
  EXPECT_EQ(result.request.segments[0].left_domain, 1);
  EXPECT_EQ(result.notes, (std::vector<std::string>{
                              "hole 0 (line 13) lies outside the outline; ignored",
                              "region 0 (line 15) lies outside the outline; ignored"}));
}

TEST(PolyReaderTest, RefusesWhatCannotBeMappedWithTheLineAtFault) {
  const std::string square = "4 2 0 0\n0 0 0\n1 2 0\n2 2 2\n3 0 2\n";
  const std::string outline = "4 0\n0 0 1\n1 1 2\n2 2 3\n3 3 0\n";
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"4 3 0 0\n", "t.poly:1: dimension 3: only 2-D .poly files (Triangle's) can be read"},
      {"4 2 0 0\n0 0 0\n1 2 0\n", "t.poly:3: the file ends where a vertex (number, x, y) should follow"},
      {"4 2 0 0\n0 0 0\n1 2 zero\n2 2 2\n3 0 2\n",
       "t.poly:3: y: 'zero' is not a finite number"},
      {"2 2 0 0\n0 0 0\n2 1 1\n", "t.poly:3: vertex number 2 is out of sequence; expected 1"},
      {square + "1 0\n0 0 4\n", "t.poly:7: endpoint 4 names no vertex (they are numbered 0 to 3)"},
      {square + "0 0\n",
       "t.poly:6: no segments; the worker meshes areas bounded by segments, so the outline must be "
       "given as segments"},
      // One of the graph's faults (formats/planar_faces_test.cc has them all),
      // for the file's name and lines in the message.
      {square + "2 0\n0 0 2\n1 1 3\n0\n",
       "t.poly:7: segment 0 (line 7) and segment 1 (line 8) cross or touch away from a shared "
       "vertex; split them where they meet"},
      {"5 2\n0 0 0\n1 2 0\n2 2 2\n3 0 2\n4 5 5\n" + outline + "0\n",
       "t.poly:6: vertex 4 (line 6) is on no segment and lies outside every domain; the worker "
       "keeps every point, so remove it"},
      {square + outline + "0\n1\n0 1 1 1.5\n",
       "t.poly:13: regional attribute 1.5 is not a whole number from 0 up; meshctl uses it as the "
       "domain number"},
      // Sizes are listed by domain number: this line alone would ask for
      // 16 GB of them.
      {square + outline + "0\n1\n0 1 1 2000000000 0.5\n",
       "t.poly:13: regional attribute 2000000000 comes with a maximum area, but target sizes are "
       "listed by domain number; such a region's attribute must be at most 1000000"},
      {square + outline + "0\n2\n0 1 1 1\n1 1.5 1.5 2\n",
       "t.poly:14: region 1 (line 14) and region 0 (line 13) lie in the same area but give it "
       "different attributes"},
      {square + outline + "1\n0 1 0\n",
       "t.poly:12: hole 0 (line 12) lies on a segment; it must lie inside the area it removes"},
      // A square cut by a diagonal, with a hole point in each half: every
      // segment has the outside on both sides.
      {square + "5 0\n0 0 1\n1 1 2\n2 2 3\n3 3 0\n4 0 2\n2\n0 1.5 0.5\n1 0.5 1.5\n",
       "t.poly:7: segment 0 (line 7) has the outside or a hole on both sides; remove it"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.text), c.error) << c.text;
}

}  // namespace
}  // namespace mesh
