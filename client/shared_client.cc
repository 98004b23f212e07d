// The shared client library (meshworker_client) is made of the client's
// archives alone (client/CMakeLists.txt); a library target still needs a
// source of its own.
