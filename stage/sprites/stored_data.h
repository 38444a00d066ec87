// Little-endian readers and writers for the units' stored settings: 32-bit values and
// counted byte blocks (a 32-bit length, then that many bytes). Reading never goes past
// the end of the block it is given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wintrel::stage {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}
  bool ReadU32(uint32_t& out);
  bool ReadI32(int32_t& out);
  // A block whose length runs past the end fails.
  bool ReadBlock(std::vector<uint8_t>& out);
  // A block whose length runs past the end takes the bytes that are there; a length
  // of zero or below (as a signed number) is an empty block. Fails only when the
  // length itself is missing.
  bool ReadBlockLenient(std::vector<uint8_t>& out);
  std::size_t Remaining() const { return data_.size() - pos_; }

 private:
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
};

class ByteWriter {
 public:
  void WriteU32(uint32_t v);
  void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
  void WriteBlock(std::span<const uint8_t> bytes);
  std::vector<uint8_t>& Bytes() { return out_; }

 private:
  std::vector<uint8_t> out_;
};

}  // namespace wintrel::stage
