// CancelToken: lets one thread stop a WorkerProcess call that another thread
// is waiting in. The call watches the token's pipe in the same poll as its
// worker's, so it notices a Cancel() at once, kills its worker and answers
// kCancelled; a call started on a cancelled token ends before it sends
// anything.
#ifndef MESH_WORKER_CLIENT_CANCEL_TOKEN_H_
#define MESH_WORKER_CLIENT_CANCEL_TOKEN_H_

#include <atomic>

namespace mesh {

class CancelToken {
 public:
  // Throws std::system_error when no pipe can be made.
  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Safe from any thread, at any time, any number of times.
  void Cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // Makes the token usable again, for the next call; not while a call is
  // using it.
  void Reset();

  // Readable once Cancel() has been called, until Reset().
  int fd() const { return read_fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  int read_fd_ = -1;
  int write_fd_ = -1;
};

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_CANCEL_TOKEN_H_
