"""meshworker.Pool: supervised mesh workers meshing requests in parallel.

The supervision is the C++ client's (WorkerPool): a request that hangs or
kills its worker costs only itself, and its worker is replaced before the
next request. This module turns its answers into results and exceptions.
"""

import collections
import math
import numbers
import os
import sys
import threading

from . import _core
from ._model import DEFAULT_WELD_TOLERANCE, Model, model_result
from ._request import Request
from ._result import MeshResult

# Names the worker when Pool is given no worker_path.
WORKER_VARIABLE = "MESHWORKER_WORKER"


class MeshWorkerError(Exception):
    """A request that was not meshed. `diagnostics` holds the lines the
    worker wrote to standard error while it had the request."""

    def __init__(self, message, diagnostics=(), exit_code=None, signal=None):
        super().__init__(message)
        self.message = message
        self.diagnostics = list(diagnostics)
        self.exit_code = exit_code
        self.signal = signal

    def __reduce__(self):
        return (type(self), (self.message, self.diagnostics, self.exit_code, self.signal))

    def __str__(self):
        return self.message


class Refused(MeshWorkerError):
    """The worker answered that it cannot mesh this region; the message is
    its diagnostic line, which says why. `reason` is the check that refused
    as a stable key ("self_intersection", "too_many_elements", ...; the
    C++ client's Refusal.reason), for branching without matching the line;
    None when the line is not one the client knows."""

    def __init__(self, message, diagnostics=(), exit_code=None, signal=None, reason=None):
        super().__init__(message, diagnostics, exit_code, signal)
        self.reason = reason or None

    def __reduce__(self):
        return (type(self), (self.message, self.diagnostics, self.exit_code, self.signal,
                             self.reason))

    @property
    def diagnostic(self):
        return self.message


class TimedOut(MeshWorkerError):
    """No answer within the pool's timeout; the worker was killed."""


class WorkerDied(MeshWorkerError):
    """The worker ended before it answered (`exit_code` or `signal`)."""


class OutOfMemory(WorkerDied):
    """The worker reached the pool's max_memory and was killed; a smaller
    request, or more memory, is what helps."""


class TooLarge(Refused):
    """The request was refused before it was sent: its frame would exceed
    what the worker accepts."""


class StartFailed(MeshWorkerError):
    """No worker could be started."""


class BadAnswer(MeshWorkerError):
    """The worker's answer broke the protocol; the worker was killed."""


class Cancelled(MeshWorkerError):
    """Pool.cancel() ended the request, in the queue or in a worker (which
    was killed)."""


_FAILURES = {
    "timed out": TimedOut,
    "worker died": WorkerDied,
    "start failed": StartFailed,
    "bad answer": BadAnswer,
    "cancelled": Cancelled,
    "out of memory": OutOfMemory,
    "too large": TooLarge,
}


def _result_of(answer):
    """The MeshResult of an answer, or the exception that stands for it."""
    if answer.ok:
        return MeshResult(diagnostics=answer.diagnostics, elapsed=answer.elapsed,
                          **answer.take_mesh())
    diagnostics = answer.diagnostics
    if answer.outcome == "refused":
        line = diagnostics[-1] if diagnostics else "refused without a diagnostic"
        return Refused(line, diagnostics, reason=answer.refusal_reason)
    kind = _FAILURES.get(answer.outcome, MeshWorkerError)
    return kind(answer.describe(), diagnostics, answer.exit_code, answer.signal)


def _model_arguments(model, target_size, keep_going, prefer_quads, all_quads, weld_tolerance):
    """The model layer's options for a run over `model`, checked."""
    if not isinstance(model, Model):
        raise TypeError(f"expected a meshworker.Model, got {type(model).__name__}")
    for name, value in (("target_size", target_size), ("weld_tolerance", weld_tolerance)):
        if value is not None and not (isinstance(value, numbers.Real) and value > 0
                                      and math.isfinite(value)):
            raise ValueError(f"{name}: expected metres > 0 or None, got {value!r}")
    if target_size is None:
        lacking = next((index for index, face in enumerate(model.faces)
                        if face.target_size == 0), None)
        if lacking is not None:
            raise ValueError(f"target_size: face {lacking} has no target size of its "
                             "own; give one for the model")
    return dict(target_size=float(target_size or 0.0),
                weld_tolerance=float(weld_tolerance or DEFAULT_WELD_TOLERANCE),
                prefer_quads=bool(prefer_quads), all_quads=bool(all_quads),
                keep_going=bool(keep_going))


def _model_result_or_raise(fields, model):
    """The ModelMeshResult of a finished run, or the exception for one that
    ended early: Refused for the face refused, MeshWorkerError otherwise."""
    if not fields["ok"]:
        stopped = next((face for face in fields["faces"]
                        if face[0] in ("refused", "failed")), None)
        if stopped is not None and stopped[0] == "refused":
            raise Refused(fields["error"], [stopped[1]], reason=stopped[2])
        raise MeshWorkerError(fields["error"])
    return model_result(fields, model)


def default_worker_path():
    """$MESHWORKER_WORKER, else the mesh-worker this package was built with
    (the build tree's, or the installed one)."""
    chosen = os.environ.get(WORKER_VARIABLE)
    if chosen:
        return chosen
    from ._worker_location import WORKER_PATH
    return WORKER_PATH


def _progress_bar(progress, total):
    """A tqdm bar when asked for, or by default when standard error is a
    terminal and tqdm is installed; else None."""
    if progress is None:
        progress = sys.stderr.isatty()
    if not progress:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="mesh")


class Pool:
    """Mesh workers sharing one queue of requests.

    workers      how many worker processes (None: one per core); they
                 start with the first requests, not here
    timeout      seconds a request may take once a worker has it (None: no limit)
    worker_path  the mesh-worker executable (None: default_worker_path())
    max_memory   bytes of address space each worker may take (None: no
                 limit); a worker that reaches it raises OutOfMemory for its
                 request and is replaced

    Waiting for answers releases the GIL. Use it as a context manager, or
    call close(), to stop the workers when done.
    """

    def __init__(self, workers=None, timeout=None, worker_path=None, max_memory=None):
        if workers is not None and (not isinstance(workers, int) or workers < 1):
            raise ValueError(f"workers: expected a positive integer or None, got {workers!r}")
        if timeout is not None and not timeout > 0:
            raise ValueError(f"timeout: expected seconds > 0 or None, got {timeout!r}")
        if max_memory is not None and (not isinstance(max_memory, int) or max_memory < 1):
            raise ValueError(f"max_memory: expected a positive number of bytes or None, "
                             f"got {max_memory!r}")
        source = "worker_path" if worker_path else WORKER_VARIABLE
        path = os.fspath(worker_path) if worker_path else default_worker_path()
        if not os.access(path, os.X_OK):
            if source == WORKER_VARIABLE and not os.environ.get(WORKER_VARIABLE):
                source = "the built-in worker path"
            raise FileNotFoundError(
                f"{source} names {path}, which is not an executable; pass worker_path= "
                f"or set {WORKER_VARIABLE}")
        self.worker_path = path
        self.timeout = timeout
        self._cancels = 0
        self._native = _core.Pool(path, workers or 0, float(timeout or 0), max_memory or 0)

    @property
    def size(self):
        """The number of worker slots."""
        return self._native.size

    @property
    def starts(self):
        """Worker processes started so far, replacements included."""
        return self._native.starts

    def cancel(self):
        """Ends every request submitted so far at once: each is answered
        Cancelled (a worker that has one is killed, and replaced by the next
        request). The pool stays open; a map or imap under way submits
        nothing more and gives Cancelled for the rest of its requests."""
        self._cancels += 1
        self._native.cancel()

    def close(self):
        """Answers what is queued, then stops the workers."""
        self._native.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def _submit(self, request):
        if isinstance(request, dict):
            request = Request(**request)
        elif not isinstance(request, Request):
            raise TypeError(f"expected a meshworker.Request, got {type(request).__name__}")
        return self._native.submit(request.native())

    @staticmethod
    def _await(pending):
        # Short waits, so that Ctrl-C is seen between them.
        while not pending.wait(0.2):
            pass
        return _result_of(pending.take())

    def mesh(self, request):
        """Meshes one request: a MeshResult, or Refused, TimedOut,
        WorkerDied, StartFailed, BadAnswer or Cancelled."""
        outcome = self._await(self._submit(request))
        if isinstance(outcome, Exception):
            raise outcome
        return outcome

    def mesh_model(self, model, target_size=None, keep_going=True, prefer_quads=True,
                   all_quads=False, weld_tolerance=None):
        """Meshes a whole Model into one conforming mesh through this pool's
        workers, as `meshctl model` does: a ModelMeshResult.

        target_size     metres, for faces without their own (None: every
                        face must have one)
        keep_going      a face the worker refuses is left out and reported
                        in result.faces; False: the first one raises
                        Refused (or MeshWorkerError for a failed call)
        prefer_quads    quads where the mesher can; False: triangles only
        all_quads       every element a quad
        weld_tolerance  metres within which vertices are one (None: 1e-4)

        The model layer runs without the GIL. cancel() from another thread,
        or Ctrl-C, ends the run: faces not yet meshed fail (kind "failed",
        reason_key "call_failed"), and Ctrl-C raises KeyboardInterrupt."""
        arguments = _model_arguments(model, target_size, keep_going, prefer_quads, all_quads,
                                     weld_tolerance)
        outcome = {}
        done = threading.Event()

        def run():
            try:
                outcome["fields"] = self._native.mesh_model(*model._native(), **arguments)
            except BaseException as problem:  # handed to the caller's thread
                outcome["problem"] = problem
            finally:
                done.set()

        # On its own thread, so that Ctrl-C is seen here between short
        # waits; it cancels the run, which then ends within a face or so,
        # and is waited for: the run must not outlive the interpreter.
        # (An Event, since a Thread.join that Ctrl-C interrupted may not
        # wait again.)
        threading.Thread(target=run, name="meshworker mesh_model", daemon=True).start()
        try:
            while not done.wait(0.2):
                pass
        except KeyboardInterrupt:
            self.cancel()
            while not done.wait(0.2):
                pass
            raise
        if "problem" in outcome:
            raise outcome["problem"]
        return _model_result_or_raise(outcome["fields"], model)

    def imap(self, requests, return_exceptions=False, progress=None):
        """Like map, yielding each result as soon as those before it are in."""
        total = len(requests) if hasattr(requests, "__len__") else None
        bar = _progress_bar(progress, total)
        # Enough requests in flight to keep every worker busy, few enough
        # that answers waiting behind a slow one stay bounded. Four per
        # worker is a dozen milliseconds of small faces, less than this
        # thread may wait to be woken on a loaded machine, and the workers
        # then sat idle.
        window = max(32, 16 * self.size)
        pending = collections.deque()
        finished = 0
        source = iter(requests)
        exhausted = False
        # None in `pending`: a request held back because cancel() came first.
        cancels = self._cancels
        try:
            while True:
                while not exhausted and len(pending) < window:
                    try:
                        request = next(source)
                    except StopIteration:
                        exhausted = True
                        break
                    pending.append(self._submit(request) if self._cancels == cancels else None)
                if not pending:
                    return
                head = pending[0]
                while head is not None and not head.wait(0.1):
                    if bar is not None:
                        bar.update(finished + sum(p is None or p.done() for p in pending) - bar.n)
                pending.popleft()
                finished += 1
                if bar is not None and finished > bar.n:
                    bar.update(finished - bar.n)
                if head is None:
                    outcome = Cancelled("cancelled: never submitted, the pool was cancelled first")
                else:
                    outcome = _result_of(head.take())
                if isinstance(outcome, Exception) and not return_exceptions:
                    raise outcome
                yield outcome
        finally:
            if bar is not None:
                bar.close()

    def map(self, requests, return_exceptions=False, progress=None):
        """Meshes many requests in parallel and returns their results in
        input order. With return_exceptions, a request that was not meshed
        has its exception in its place; otherwise the first one is raised.
        progress: True or False, or None for a tqdm bar only on a terminal."""
        return list(self.imap(requests, return_exceptions=return_exceptions, progress=progress))
