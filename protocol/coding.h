// Little-endian fixed-width encoding shared by every payload of the protocol.
//
// The wire format is little-endian and packed. Values are assembled byte by
// byte so the code does not depend on the host's byte order, and doubles
// travel as their raw IEEE 754 bits (memcpy), so negative zero, subnormals and
// NaN payloads survive a round trip unchanged.
#ifndef MESH_WORKER_PROTOCOL_CODING_H_
#define MESH_WORKER_PROTOCOL_CODING_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace mesh {

inline void EncodeFixed32(unsigned char* dst, uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void EncodeFixed64(unsigned char* dst, uint64_t value) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline uint32_t DecodeFixed32(const unsigned char* src) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(src[i]) << (8 * i);
  return value;
}

inline uint64_t DecodeFixed64(const unsigned char* src) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(src[i]) << (8 * i);
  return value;
}

inline uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Appenders for building a payload in a std::string.
inline void PutUint8(std::string* dst, uint8_t value) {
  dst->push_back(static_cast<char>(value));
}

inline void PutFixed32(std::string* dst, uint32_t value) {
  unsigned char buf[4];
  EncodeFixed32(buf, value);
  dst->append(reinterpret_cast<const char*>(buf), sizeof buf);
}

inline void PutFixed64(std::string* dst, uint64_t value) {
  unsigned char buf[8];
  EncodeFixed64(buf, value);
  dst->append(reinterpret_cast<const char*>(buf), sizeof buf);
}

inline void PutInt32(std::string* dst, int32_t value) {
  PutFixed32(dst, static_cast<uint32_t>(value));
}

inline void PutDouble(std::string* dst, double value) {
  PutFixed64(dst, DoubleBits(value));
}

// A bounds-checked cursor over a byte range. Every Get* fails, leaving the
// cursor where it was, when fewer bytes are left than the value needs; the
// caller decides what a failure means.
class ByteReader {
 public:
  ByteReader(const void* data, size_t length)
      : data_(static_cast<const unsigned char*>(data)), length_(length) {}

  size_t remaining() const { return length_ - pos_; }
  bool at_end() const { return pos_ == length_; }

  bool GetUint8(uint8_t* value) {
    if (remaining() < 1) return false;
    *value = data_[pos_++];
    return true;
  }
  bool GetFixed32(uint32_t* value) {
    if (remaining() < 4) return false;
    *value = DecodeFixed32(data_ + pos_);
    pos_ += 4;
    return true;
  }
  bool GetFixed64(uint64_t* value) {
    if (remaining() < 8) return false;
    *value = DecodeFixed64(data_ + pos_);
    pos_ += 8;
    return true;
  }
  bool GetInt32(int32_t* value) {
    uint32_t bits;
    if (!GetFixed32(&bits)) return false;
    *value = static_cast<int32_t>(bits);
    return true;
  }
  bool GetDouble(double* value) {
    uint64_t bits;
    if (!GetFixed64(&bits)) return false;
    *value = DoubleFromBits(bits);
    return true;
  }

  // Reads a count of elements of `element_size` bytes each, and fails unless
  // the remaining bytes could hold that many. Checking before anything is
  // reserved means a hostile count can never make the caller allocate more
  // than the payload itself.
  bool GetCount(size_t element_size, uint64_t* count) {
    uint64_t value;
    if (!GetFixed64(&value)) return false;
    if (value > remaining() / element_size) {
      pos_ -= 8;
      return false;
    }
    *count = value;
    return true;
  }

 private:
  const unsigned char* data_;
  size_t length_;
  size_t pos_ = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_CODING_H_
