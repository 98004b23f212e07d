// Reading and writing a whole file at once, where "-" means the standard
// stream, as every meshctl command names its input and output.
#ifndef MESH_WORKER_CLI_WHOLE_FILE_H_
#define MESH_WORKER_CLI_WHOLE_FILE_H_

#include <string>

namespace mesh {

// False when the file cannot be opened or a read fails part way.
bool ReadWholeFile(const std::string& path, std::string* out);
// False when the file cannot be created or any byte is not written.
bool WriteWholeFile(const std::string& path, const std::string& data);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_WHOLE_FILE_H_
