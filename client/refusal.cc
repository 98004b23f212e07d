#include "client/refusal.h"

#include <cstddef>

namespace mesh {

namespace {

constexpr char kLinePrefix[] = "[meshing] ";
constexpr char kLineEnd[] = "; returning empty";
constexpr char kDegenerateEnd[] = " \xE2\x80\x94 refusing as degenerate";
constexpr char kBadAlloc[] = ": std::bad_alloc";

// What a stage says, with every value it fills in replaced by '*'.
struct KnownLine {
  const char* stage;
  const char* pattern;
  const char* reason;
};

// More specific patterns come before the ones they would also match.
constexpr KnownLine kKnownLines[] = {
    {"BuildPlanarMesh", "options * has bits this worker does not support (*)",
     "unknown_options"},
    {"BuildPlanarMesh", "bad input (points=*, target_size=*)", "bad_input"},
    {"BuildPlanarMesh", "domain * target size is not finite (*)", "domain_size_not_finite"},
    {"BuildPlanarMesh", "point * is not finite (*)", "point_not_finite"},
    {"BuildPlanarMesh", "plane_normal is not finite (*)", "plane_normal_not_finite"},
    {"BuildPlanarMesh", "segment * endpoint out of range", "segment_endpoint_out_of_range"},
    {"BuildPlanarMesh",
     "boundary segment * (points * and *) is * m long in the meshing plane, under the * m snap "
     "tolerance",
     "short_segment_in_plane"},
    {"BuildPlanarMesh", "boundary segment * (points * and *) is * m long, under the * m snap tolerance",
     "short_segment"},
    {"BuildPlanarMesh", "interior-only index * out of range", "interior_index_out_of_range"},
    {"BuildPlanarMesh",
     "boundary segment * is * m long, more than * times the * m target size; it cannot be kept "
     "as one edge",
     "segment_too_long_to_keep"},
    {"BuildPlanarMesh", "BuildFrame failed (*)", "no_plane"},
    {"BuildPlanarMesh", "boundary loops enclose (near-)zero area (*)", "zero_area"},
    {"BuildPlanarMesh", "boundary has * segments (cap *)", "too_many_segments"},
    {"BuildPlanarMesh", "region spans * m in the meshing plane, more than the * m the mesher can handle",
     "region_too_large"},
    {"BuildPlanarMesh",
     "coordinates as large as * m round by up to * m, too coarse for elements no longer than * m "
     "(target size * m)",
     "coordinates_too_coarse"},
    {"BuildPlanarMesh", "boundary self-intersects (segments * and * cross)", "self_intersection"},
    {"BuildPlanarMesh", "domain * boundary is not closed at point *", "open_boundary"},
    {"BuildPlanarMesh",
     "domain * lies on the outer side of its boundary (signed area * in the meshing plane)",
     "domain_outside_boundary"},
    {"BuildPlanarMesh", "domain * encloses (near-)zero area (signed area * in the meshing plane)",
     "domain_zero_area"},
    {"BuildPlanarMesh",
     "boundary loop starting at segment * turns * with domain * inside and domain * outside, but "
     "lies in domain *; it must turn * seen from the plane normal",
     "loop_turned_wrong_way"},
    {"BuildPlanarMesh",
     "request asks for about * elements (* at target size * m), more than the limit of * "
     "\xE2\x80\x94 refusing as too large",
     "too_many_elements"},
    {"BuildPlanarMesh", "SplineGeometry2d construction threw: *", "geometry_threw"},
    {"BuildPlanarMesh",
     "GenerateMesh * on both quad and triangle passes with every boundary segment kept as one "
     "edge*",
     "kept_boundary_unmeshable"},
    {"BuildPlanarMesh", "GenerateMesh threw on both quad and triangle passes: *", "mesher_threw"},
    {"BuildPlanarMesh", "GenerateMesh failed on both quad and triangle passes (rc=*)",
     "mesher_failed"},
    {"ExtractToPlanarComplexMesh", "Netgen returned 0 mesh nodes", "no_mesh_nodes"},
    {"ExtractToPlanarComplexMesh", "input point * not preserved by Netgen (*)",
     "point_not_preserved"},
    {"ExtractToPlanarComplexMesh",
     "interior input point * dropped by Netgen and outside every mesh element",
     "interior_point_dropped"},
    {"ExtractToPlanarComplexMesh", "segment * chain endpoints mismatch (*)", "chain_mismatch"},
    {"ExtractToPlanarComplexMesh", "answer failed its own check: *", "self_check_failed"},
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::char_traits<char>::length(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// True when `text` matches `pattern` as a whole, '*' standing for any run of
// characters (none included). Backtracks only to the last '*', so a long
// line costs at most its length times the pattern's.
bool Matches(const char* pattern, const char* text) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = text;
    } else if (*pattern == *text) {
      ++pattern;
      ++text;
    } else if (star != nullptr) {
      pattern = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool IsStageName(const std::string& name) {
  if (name.empty() || name[0] < 'A' || name[0] > 'Z') return false;
  for (char c : name) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!letter) return false;
  }
  return true;
}

// Fills `*refusal` from `line` when it has the shape of a stage's refusal.
bool ReadRefusalLine(const std::string& line, Refusal* refusal) {
  if (!StartsWith(line, kLinePrefix) || !EndsWith(line, kLineEnd)) return false;
  const size_t stage_start = std::char_traits<char>::length(kLinePrefix);
  const size_t colon = line.find(": ", stage_start);
  if (colon == std::string::npos) return false;
  const std::string stage = line.substr(stage_start, colon - stage_start);
  if (!IsStageName(stage)) return false;
  std::string what =
      line.substr(colon + 2, line.size() - std::char_traits<char>::length(kLineEnd) - colon - 2);

  *refusal = Refusal();
  refusal->stage = stage;
  refusal->line = line;
  if (EndsWith(what, kDegenerateEnd)) {
    refusal->degenerate = true;
    what.resize(what.size() - std::char_traits<char>::length(kDegenerateEnd));
  }
  refusal->out_of_memory = EndsWith(what, kBadAlloc);
  for (const KnownLine& known : kKnownLines) {
    if (stage == known.stage && Matches(known.pattern, what.c_str())) {
      refusal->reason = known.reason;
      break;
    }
  }
  return true;
}

}  // namespace

Refusal FindRefusal(const std::vector<std::string>& diagnostics) {
  Refusal refusal;
  for (auto line = diagnostics.rbegin(); line != diagnostics.rend(); ++line) {
    if (ReadRefusalLine(*line, &refusal)) break;
  }
  return refusal;
}

}  // namespace mesh
