#include "netgen/netgen_problems.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace mesh {

namespace {

std::mutex problem_mutex;
std::string last_problem;
std::string last_front;

bool IsProblem(const char* message) {
  static const char* const kProblems[] = {
      " WARNING:", " ERROR:", " FILE ERROR:", " USER ERROR:", " SYSTEM ERROR:",
  };
  for (const char* prefix : kProblems) {
    if (std::strncmp(message, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

}  // namespace

void NoteNetgenMessage(const char* message) {
  // The progress line's rate varies from run to run; the counts do not.
  long faces = 0, trials = 0;
  if (std::sscanf(message, " faces = %ld trials = %ld", &faces, &trials) == 2) {
    std::lock_guard<std::mutex> hold(problem_mutex);
    last_front = "its front last had " + std::to_string(faces) + " faces open after " +
                 std::to_string(trials) + " trials";
    return;
  }
  if (!IsProblem(message)) return;
  // One line, whatever Netgen split it into: runs of spaces and line ends
  // become one space, and none is left at either end.
  std::string text;
  for (const char* p = message; *p != '\0'; ++p) {
    const bool blank = *p == ' ' || *p == '\n' || *p == '\r' || *p == '\t';
    if (!blank) {
      text.push_back(*p);
    } else if (!text.empty() && text.back() != ' ') {
      text.push_back(' ');
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  std::lock_guard<std::mutex> hold(problem_mutex);
  last_problem = std::move(text);
}

std::string LastNetgenProblem() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  return last_problem;
}

std::string LastNetgenFront() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  return last_front;
}

void ForgetNetgenProblem() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  last_problem.clear();
  last_front.clear();
}

}  // namespace mesh
