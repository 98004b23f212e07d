#include "client/refusal.h"

#include <cstddef>
#include <string>

#include "protocol/refusals.h"

namespace mesh {

namespace {

constexpr char kBadAlloc[] = ": std::bad_alloc";

// The row's format as a pattern: each conversion (%zu, %d, %g, %.3g, %s)
// becomes '*', the rest stays as it is.
std::string PatternOf(const char* format) {
  std::string pattern;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      pattern.push_back(*p);
      continue;
    }
    ++p;
    if (*p == '%') {
      pattern.push_back('%');
      continue;
    }
    while (*p != '\0' && !(*p == 'd' || *p == 'u' || *p == 'g' || *p == 's')) ++p;
    if (*p == '\0') break;
    pattern.push_back('*');
  }
  return pattern;
}

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
  if (!StartsWith(line, kStageLinePrefix) || !EndsWith(line, kRefusalLineEnd)) return false;
  const size_t stage_start = std::char_traits<char>::length(kStageLinePrefix);
  const size_t colon = line.find(": ", stage_start);
  if (colon == std::string::npos) return false;
  const std::string stage = line.substr(stage_start, colon - stage_start);
  if (!IsStageName(stage)) return false;
  std::string what = line.substr(
      colon + 2, line.size() - std::char_traits<char>::length(kRefusalLineEnd) - colon - 2);

  *refusal = Refusal();
  refusal->stage = stage;
  refusal->line = line;
  if (EndsWith(what, kDegenerateEnding)) {
    refusal->degenerate = true;
    what.resize(what.size() - std::char_traits<char>::length(kDegenerateEnding));
  }
  refusal->out_of_memory = EndsWith(what, kBadAlloc);
  for (const RefusalRow& row : kRefusalTable) {
    if (stage == MeshingStageName(row.stage) &&
        Matches(PatternOf(row.format).c_str(), what.c_str())) {
      refusal->reason = row.key;
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
