"""meshworker.Request: one planar region, checked on the way in."""

import numpy as np

from . import _core

_INT32 = np.iinfo(np.int32)


def _as_array(field, value):
    try:
        return np.asarray(value)
    except (ValueError, TypeError) as error:
        raise ValueError(f"{field}: not an array of numbers ({error})") from None


def _float_array(field, value, columns):
    """`value` as a C-contiguous float64 array of `columns` columns (0: 1-D)."""
    array = _as_array(field, value)
    if array.dtype.kind in "iu":
        # Integers convert exactly unless they are beyond 2**53.
        if array.size and np.abs(array.astype(np.float64)).max() > 2.0**53:
            raise ValueError(f"{field}: integer values too large to be exact as float64")
    elif array.dtype.kind == "f":
        if array.dtype.itemsize > 8:
            converted = array.astype(np.float64)
            if not np.array_equal(converted, array, equal_nan=True):
                raise ValueError(f"{field}: {array.dtype} values do not fit float64 exactly")
    else:
        raise ValueError(f"{field}: expected float64 values, got dtype {array.dtype}")
    return _shaped(field, np.ascontiguousarray(array, dtype=np.float64), columns)


def _index_array(field, value, columns):
    """`value` as a C-contiguous int32 array of `columns` columns (0: 1-D)."""
    array = _as_array(field, value)
    if array.size == 0 and array.dtype.kind == "f":
        # An empty list comes in as float64; there is nothing to lose.
        array = array.astype(np.int32)
    if array.dtype.kind not in "iu":
        raise ValueError(f"{field}: expected int32 indices, got dtype {array.dtype}")
    if array.size and (array.min() < _INT32.min or array.max() > _INT32.max):
        raise ValueError(f"{field}: values outside the int32 range")
    return _shaped(field, np.ascontiguousarray(array, dtype=np.int32), columns)


def _shaped(field, array, columns):
    if array.size == 0:
        return array.reshape((0, columns) if columns else (0,))
    if columns:
        if array.ndim != 2 or array.shape[1] != columns:
            raise ValueError(f"{field}: expected shape (N, {columns}), got {array.shape}")
    elif array.ndim != 1:
        raise ValueError(f"{field}: expected a 1-D array, got shape {array.shape}")
    return array


def _real(field, value):
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (int, float, np.integer,
                                                                      np.floating)):
        raise ValueError(f"{field}: expected a number, got {type(value).__name__}")
    return float(value)


class Request:
    """One planar region: the fields of meshctl's JSON request.

    points               N x 3 float64, the region's points in 3-D
    segments             M x 4 int32: point_a, point_b, left domain, right domain
    interior_only        int32 indices of points that are not on the boundary
    target_size          element size; domain_target_sizes[k] (> 0) overrides
                         it in domain k + 1
    prefer_quads         quads first, triangles where quads fail
    plane_normal         3 floats, or None to let the worker find the plane
    keep_boundary        every segment one edge of the mesh (with all_quads:
                         two, through its midpoint)
    all_quads            quads only: meshed at twice target_size, every
                         element then split into quads

    Arrays of another dtype are converted where no value changes; anything
    else raises ValueError naming the field. Values are the worker's to
    judge: a region it cannot mesh is refused with its reason.
    """

    __slots__ = ("points", "segments", "interior_only", "target_size", "domain_target_sizes",
                 "prefer_quads", "plane_normal", "keep_boundary", "all_quads", "_native")

    def __init__(self, *, points, segments, target_size, interior_only=(),
                 domain_target_sizes=(), prefer_quads=True, plane_normal=None,
                 keep_boundary=False, all_quads=False):
        self.points = _float_array("points", points, 3)
        self.segments = _index_array("segments", segments, 4)
        self.interior_only = _index_array("interior_only", interior_only, 0)
        self.target_size = _real("target_size", target_size)
        self.domain_target_sizes = _float_array("domain_target_sizes", domain_target_sizes, 0)
        if not isinstance(prefer_quads, (bool, np.bool_)):
            raise ValueError(f"prefer_quads: expected True or False, got {prefer_quads!r}")
        self.prefer_quads = bool(prefer_quads)
        for name, value in (("keep_boundary", keep_boundary), ("all_quads", all_quads)):
            if not isinstance(value, (bool, np.bool_)):
                raise ValueError(f"{name}: expected True or False, got {value!r}")
        self.keep_boundary = bool(keep_boundary)
        self.all_quads = bool(all_quads)
        if plane_normal is None:
            self.plane_normal = None
        else:
            normal = _float_array("plane_normal", plane_normal, 0)
            if normal.shape != (3,):
                raise ValueError(f"plane_normal: expected 3 values, got shape {normal.shape}")
            self.plane_normal = normal
        self._native = None

    def native(self):
        """The C++ record, built once."""
        if self._native is None:
            normal = self.plane_normal if self.plane_normal is not None else np.zeros(3)
            self._native = _core.make_request(self.points, self.segments, self.interior_only,
                                              self.target_size, self.domain_target_sizes,
                                              self.prefer_quads, normal, self.keep_boundary,
                                              self.all_quads)
        return self._native

    def to_json(self):
        """The request as meshctl reads it, every field written out."""
        return self.native().to_json()

    @classmethod
    def from_json(cls, text):
        """A request from JSON text with meshctl's field names.

        ValueError("LINE:COLUMN: field '...': ...") when it is not one.
        """
        return cls(**_core.parse_request_json(text))

    def __getstate__(self):
        return {name: getattr(self, name) for name in self.__slots__ if name != "_native"}

    def __setstate__(self, state):
        # A request pickled before the options existed asks for neither.
        self.keep_boundary = False
        self.all_quads = False
        for name, value in state.items():
            setattr(self, name, value)
        self._native = None

    def __repr__(self):
        return (f"Request({len(self.points)} points, {len(self.segments)} segments, "
                f"target_size={self.target_size})")


def read_request(path):
    """A request from a JSON file with meshctl's field names."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    try:
        return Request.from_json(text)
    except ValueError as error:
        raise ValueError(f"{path}:{error}") from None
