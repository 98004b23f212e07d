// Netgen's messages through our Ng_PrintDest (netgen_messages.cc): the
// lines a reader needs get through word for word, the rest never reaches
// the stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include <meshing.hpp>

#include "common/netgen_lock.h"
#include "netgen/meshing_passes.h"
#include "netgen/netgen_messages.h"
#include "netgen/netgen_own_symbol_testing.h"
#include "netgen/netgen_start.h"
#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::FlatPlanePoints;
using test::TwoDomainRectangleRequest;
using test::UnitSquareRequest;

TEST(NetgenMessagesTest, KeepsProgressDomainsWarningsAndErrors) {
  for (const char* kept : {
           " faces = 12 trials = 1001 elements = 980 els/sec = 48000\n",
           " faces = 12 trials = 1001 elements = 980 els/sec = 48000\r",
           " Meshing domain 2 / 3\n",
           " Surface meshing done\n",
           " WARNING: Found points on the same position\n",
           " ERROR: Wrong Element\n",
           " USER ERROR: illegal input\n",
           " SYSTEM ERROR: out of memory\n",
           " FILE ERROR: no file\n",
       }) {
    EXPECT_TRUE(NetgenMessageIsKept(kept)) << kept;
  }
  for (const char* dropped : {
           " Generate Mesh from spline geometry\n", " Boundary mesh done, np = 4\n",
           " Edgeswapping, topological\n", " Generic Improve\n", " 35 surface elements\n",
           ".", "", "faces = 1\n", " Meshing domains\n", " WARNING without a colon\n",
       }) {
    EXPECT_FALSE(NetgenMessageIsKept(dropped)) << dropped;
  }
}

// Everything Netgen prints while meshing `request`, caught in a string.
std::string NetgenOutputOf(const MeshRequest& request) {
  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  std::ostringstream caught;
  std::ostream* const previous = netgen::mycout;
  netgen::mycout = &caught;
  EXPECT_NE(
      MeshPlaneWithNetgen(request, FlatPlanePoints(request.points), GenerateMeshWithNetgen).mesh,
      nullptr);
  netgen::mycout = previous;
  return caught.str();
}

TEST(NetgenMessagesTest, AMeshPrintsOnlyTheKeptLines) {
  const std::string file = test::DefiningFile("_ZN6netgen12Ng_PrintDestEPKc");
  ASSERT_NE(file, "(unresolved)");
  EXPECT_EQ(file.find("/netgen/lib"), std::string::npos) << "resolves to " << file;

  const std::string two_domains = NetgenOutputOf(TwoDomainRectangleRequest());
  EXPECT_EQ(two_domains,
            " Meshing domain 1 / 2\n Surface meshing done\n"
            " Meshing domain 2 / 2\n Surface meshing done\n");

  // Enough front trials for the progress line, which comes whole.
  const std::string square = NetgenOutputOf(UnitSquareRequest(0.02));
  const size_t progress = square.find(" faces = ");
  ASSERT_NE(progress, std::string::npos) << square;
  const std::string line = square.substr(progress, square.find('\n', progress) - progress);
  int faces = 0, trials = 0, elements = 0;
  double rate = 0;
  EXPECT_EQ(sscanf(line.c_str(), " faces = %d trials = %d elements = %d els/sec = %lf", &faces,
                   &trials, &elements, &rate),
            4)
      << line;
  EXPECT_GE(trials, 1000);
  EXPECT_GT(elements, 0);
  EXPECT_EQ(square.find("Edgeswapping"), std::string::npos) << square;
  EXPECT_EQ(square.find("Generate Mesh"), std::string::npos) << square;
}

}  // namespace
}  // namespace mesh
