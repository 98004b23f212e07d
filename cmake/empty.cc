// The installed client library is made of the client's archives alone
// (cmake/Install.cmake); a library target still needs a source of its own.
