#include "bench/python_pool_run.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "formats/mesh_json.h"

namespace mesh {

namespace {

// A word for popen's shell; false for the one character it cannot hold.
bool Quote(const std::string& word, std::string* quoted) {
  if (word.find('\'') != std::string::npos) return false;
  *quoted += " '" + word + "'";
  return true;
}

}  // namespace

PythonPoolRun RunPythonPool(const std::string& python, const std::string& script,
                            const std::string& package_dir,
                            const std::vector<MeshRequest>& requests, size_t workers,
                            const std::string& worker_path) {
  PythonPoolRun run;
  char dir[] = "/tmp/mesh-bench-python.XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    run.error = "no scratch directory";
    return run;
  }
  const std::string file = std::string(dir) + "/requests.jsonl";
  {
    std::ofstream out(file);
    for (const MeshRequest& request : requests) out << MeshRequestToJson(request).dump() << '\n';
    if (!out.flush()) run.error = "cannot write " + file;
  }
  std::string command = "PYTHONPATH=";
  if (run.error.empty() &&
      !(Quote(package_dir, &command) && Quote(python, &command) && Quote(script, &command) &&
        Quote(file, &command) && Quote(std::to_string(workers), &command) &&
        Quote(worker_path, &command))) {
    run.error = "a path holds a quote";
  }
  // "PYTHONPATH= 'dir' ..." would set it empty and run the directory.
  command.erase(command.find(' '), 1);
  if (run.error.empty()) {
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
      run.error = "cannot run " + python;
    } else {
      const int read = fscanf(child, "%lf %lf %lf", &run.seconds, &run.client_seconds,
                              &run.elements);
      const int status = pclose(child);
      if (read != 3 || status != 0) run.error = script + " failed";
    }
  }
  unlink(file.c_str());
  rmdir(dir);
  return run;
}

}  // namespace mesh
