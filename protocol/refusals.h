// The worker's refusals: every line a meshing stage writes on standard error
// when it refuses a request, listed once. The worker builds its lines from
// this table and the client reads them back with it, so the two can never
// disagree on a wording, and a new check is one row.
//
// A line is "[meshing] ", the stage, ": ", the row's format filled in, then
// " — refusing as degenerate" for rows about unusable geometry, then
// "; returning empty". Only the values in the format vary; the client treats
// each conversion as a wildcard and the rest as exact text.
#ifndef MESH_WORKER_PROTOCOL_REFUSALS_H_
#define MESH_WORKER_PROTOCOL_REFUSALS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace mesh {

enum class MeshingStage { kBuildPlanarMesh, kExtractToPlanarComplexMesh };

// "BuildPlanarMesh" or "ExtractToPlanarComplexMesh", as the lines spell it.
const char* MeshingStageName(MeshingStage stage);

// ROW(Name, key, stage, ending, format), where the key is what the client
// reports (Refusal::reason) and keeps its spelling across wording changes,
// and the ending is kDegenerate for geometry the mesher cannot use, kPlain
// otherwise. Conversions allowed: %zu (size_t), %d (int32_t), %g and %.3g
// (double), %s (const char*). Rows are tried in order when a line is read
// back, so where one row's wording would also match another's line, the
// more specific row comes first.
#define MESH_REFUSALS(ROW)                                                                       \
  /* The request on its own. */                                                                 \
  ROW(kUnknownOptions, "unknown_options", kBuildPlanarMesh, kPlain,                             \
      "options %s has bits this worker does not support (%s)")                                  \
  ROW(kBadInput, "bad_input", kBuildPlanarMesh, kPlain,                                         \
      "bad input (points=%zu, target_size=%g)")                                                 \
  ROW(kDomainSizeNotFinite, "domain_size_not_finite", kBuildPlanarMesh, kPlain,                 \
      "domain %zu target size is not finite (%g)")                                              \
  ROW(kPointNotFinite, "point_not_finite", kBuildPlanarMesh, kPlain,                            \
      "point %zu is not finite (%g, %g, %g)")                                                   \
  ROW(kPlaneNormalNotFinite, "plane_normal_not_finite", kBuildPlanarMesh, kPlain,               \
      "plane_normal is not finite (%g, %g, %g)")                                                \
  ROW(kSegmentEndpointOutOfRange, "segment_endpoint_out_of_range", kBuildPlanarMesh, kPlain,    \
      "segment %zu endpoint out of range")                                                      \
  ROW(kShortSegmentInPlane, "short_segment_in_plane", kBuildPlanarMesh, kDegenerate,            \
      "boundary segment %zu (points %d and %d) is %g m long in the meshing plane, under the "   \
      "%g m snap tolerance")                                                                    \
  ROW(kShortSegment, "short_segment", kBuildPlanarMesh, kDegenerate,                            \
      "boundary segment %zu (points %d and %d) is %g m long, under the %g m snap tolerance")    \
  ROW(kInteriorIndexOutOfRange, "interior_index_out_of_range", kBuildPlanarMesh, kPlain,        \
      "interior-only index %d out of range")                                                    \
  ROW(kSegmentTooLongToKeep, "segment_too_long_to_keep", kBuildPlanarMesh, kPlain,              \
      "boundary segment %zu is %g m long, more than %g times the %g m target size; it cannot "  \
      "be kept as one edge")                                                                    \
  /* The geometry, before any meshing. */                                                       \
  ROW(kNoPlane, "no_plane", kBuildPlanarMesh, kPlain,                                           \
      "BuildFrame failed (degenerate point set: collinear or zero-area)")                       \
  ROW(kZeroArea, "zero_area", kBuildPlanarMesh, kDegenerate,                                    \
      "boundary loops enclose (near-)zero area (collinear, a slit, or openings consuming the "  \
      "outline)")                                                                               \
  ROW(kTooManySegments, "too_many_segments", kBuildPlanarMesh, kDegenerate,                     \
      "boundary has %zu segments (cap %zu)")                                                    \
  ROW(kRegionTooLarge, "region_too_large", kBuildPlanarMesh, kDegenerate,                       \
      "region spans %g m in the meshing plane, more than the %g m the mesher can handle")       \
  ROW(kCoordinatesTooCoarse, "coordinates_too_coarse", kBuildPlanarMesh, kDegenerate,           \
      "coordinates as large as %g m round by up to %g m, too coarse for elements no longer "    \
      "than %g m (target size %g m)")                                                           \
  ROW(kSelfIntersection, "self_intersection", kBuildPlanarMesh, kDegenerate,                    \
      "boundary self-intersects (segments %zu and %zu cross)")                                  \
  ROW(kBoundaryOverlap, "boundary_overlap", kBuildPlanarMesh, kDegenerate,                      \
      "boundary overlaps itself (segments %zu and %zu run along each other)")                   \
  ROW(kBoundaryPointsCoincide, "boundary_points_coincide", kBuildPlanarMesh, kDegenerate,       \
      "boundary touches itself (points %d and %d coincide)")                                    \
  ROW(kBoundaryPointOnSegment, "boundary_point_on_segment", kBuildPlanarMesh, kDegenerate,      \
      "boundary touches itself (point %d lies on segment %zu)")                                 \
  ROW(kOpenBoundary, "open_boundary", kBuildPlanarMesh, kDegenerate,                            \
      "domain %d boundary is not closed at point %d")                                           \
  ROW(kDomainOutsideBoundary, "domain_outside_boundary", kBuildPlanarMesh, kDegenerate,         \
      "domain %d lies on the outer side of its boundary (signed area %g in the meshing plane)") \
  ROW(kDomainZeroArea, "domain_zero_area", kBuildPlanarMesh, kDegenerate,                       \
      "domain %d encloses (near-)zero area (signed area %g in the meshing plane)")              \
  ROW(kLoopTurnedWrongWay, "loop_turned_wrong_way", kBuildPlanarMesh, kDegenerate,              \
      "boundary loop starting at segment %zu turns %s with domain %d inside and domain %d "     \
      "outside, but lies in domain %d; it must turn %s seen from the plane normal")             \
  ROW(kTooManyElements, "too_many_elements", kBuildPlanarMesh, kPlain,                          \
      "request asks for about %.3g elements (%g m\xC2\xB2 at target size %g m), more than the " \
      "limit of %.3g \xE2\x80\x94 refusing as too large")                                       \
  /* Netgen. Each line after a failed pass ends in Netgen's own reason where it gave one,       \
     " (Netgen: WARNING: ...)", appended to the %s. */                                          \
  ROW(kGeometryThrew, "geometry_threw", kBuildPlanarMesh, kPlain,                               \
      "SplineGeometry2d construction threw: %s")                                                \
  ROW(kKeptBoundaryThrew, "kept_boundary_threw", kBuildPlanarMesh, kPlain,                     \
      "GenerateMesh threw on both quad and triangle passes with every boundary segment kept "   \
      "as one edge: %s")                                                                        \
  ROW(kKeptBoundaryFailed, "kept_boundary_failed", kBuildPlanarMesh, kPlain,                   \
      "GenerateMesh failed on both quad and triangle passes with every boundary segment kept "  \
      "as one edge (rc=%d)%s")                                                                  \
  ROW(kMesherThrew, "mesher_threw", kBuildPlanarMesh, kPlain,                                   \
      "GenerateMesh threw on both quad and triangle passes: %s")                                \
  ROW(kMesherFailed, "mesher_failed", kBuildPlanarMesh, kPlain,                                 \
      "GenerateMesh failed on both quad and triangle passes (rc=%d)%s")                         \
  /* The mesh back to the caller's points and segments. */                                     \
  ROW(kNoMeshNodes, "no_mesh_nodes", kExtractToPlanarComplexMesh, kPlain,                       \
      "Netgen returned 0 mesh nodes")                                                           \
  ROW(kPointNotPreserved, "point_not_preserved", kExtractToPlanarComplexMesh, kPlain,           \
      "input point %zu not preserved by Netgen (closest mesh node dist\xC2\xB2=%g, "            \
      "tol\xC2\xB2=%g)")                                                                        \
  ROW(kInteriorPointDropped, "interior_point_dropped", kExtractToPlanarComplexMesh, kPlain,     \
      "interior input point %zu dropped by Netgen and outside every mesh element")              \
  ROW(kChainMismatch, "chain_mismatch", kExtractToPlanarComplexMesh, kPlain,                    \
      "segment %zu chain endpoints mismatch (got front=%d back=%d, expected %d \xE2\x86\x94 "   \
      "%d)")                                                                                    \
  ROW(kSelfCheckFailed, "self_check_failed", kExtractToPlanarComplexMesh, kPlain,               \
      "answer failed its own check: %s")

enum class RefusalKey {
#define MESH_REFUSAL_ENUM(name, key, stage, ending, format) name,
  MESH_REFUSALS(MESH_REFUSAL_ENUM)
#undef MESH_REFUSAL_ENUM
};

enum class RefusalEnding { kPlain, kDegenerate };

struct RefusalRow {
  RefusalKey id;
  const char* key;
  MeshingStage stage;
  RefusalEnding ending;
  const char* format;
};

inline constexpr RefusalRow kRefusalTable[] = {
#define MESH_REFUSAL_ROW(name, key, stage, ending, format) \
  {RefusalKey::name, key, MeshingStage::stage, RefusalEnding::ending, format},
    MESH_REFUSALS(MESH_REFUSAL_ROW)
#undef MESH_REFUSAL_ROW
};

inline constexpr const RefusalRow& RefusalRowOf(RefusalKey key) {
  return kRefusalTable[static_cast<size_t>(key)];
}

// The pieces every stage line is made of.
inline constexpr char kStageLinePrefix[] = "[meshing] ";
inline constexpr char kRefusalLineEnd[] = "; returning empty";
inline constexpr char kDegenerateEnding[] = " \xE2\x80\x94 refusing as degenerate";

// The one line a stage writes that is no refusal: the mesh came from the
// second, triangle-only pass.
inline constexpr char kTriangleFallbackNote[] =
    "quad mesher failed; triangle-mesher fallback succeeded";

// "[meshing] <stage>: <words>", without a newline.
std::string StageLine(MeshingStage stage, const std::string& words);

// A stage's refusal as a value: which row, and the whole line the worker
// writes for it (without its newline).
struct StageRefusal {
  RefusalKey key;
  MeshingStage stage;
  std::string line;
};

// printf-style: the row's format with the arguments, in the stage line.
StageRefusal FormatRefusal(RefusalKey key, ...);

namespace refusal_internal {

// The conversion an argument of type T fills: 'z' (%zu), 'd', 'g', 's'.
template <typename T>
constexpr char ConversionOf() {
  using U = std::decay_t<T>;
  if constexpr (std::is_same_v<U, size_t>) return 'z';
  if constexpr (std::is_same_v<U, int32_t>) return 'd';
  if constexpr (std::is_same_v<U, double>) return 'g';
  if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return 's';
  return '?';
}

// True when `format` has exactly the conversions `expected` lists, in order.
constexpr bool FormatTakes(const char* format, const char* expected) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p == '.' || (*p >= '0' && *p <= '9')) ++p;
    char conversion = *p;
    if (conversion == 'z') {
      if (p[1] != 'u') return false;
      ++p;
    } else if (conversion != 'd' && conversion != 'g' && conversion != 's') {
      return false;
    }
    if (*expected != conversion) return false;
    ++expected;
  }
  return *expected == '\0';
}

}  // namespace refusal_internal

// The refusal of row `key` with its values, checked at compile time against
// the row's format so that no line can be built with a value of the wrong
// type or a value too many or too few.
template <RefusalKey key, typename... Args>
StageRefusal Refuse(Args... args) {
  static constexpr char kConversions[] = {refusal_internal::ConversionOf<Args>()..., '\0'};
  static_assert(refusal_internal::FormatTakes(RefusalRowOf(key).format, kConversions),
                "the values do not fit the row's format");
  return FormatRefusal(key, args...);
}

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_REFUSALS_H_
