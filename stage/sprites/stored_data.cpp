#include "stage/sprites/stored_data.h"

#include <algorithm>

namespace wintrel::stage {

bool ByteReader::ReadU32(uint32_t& out) {
  if (Remaining() < 4) return false;
  const uint8_t* p = data_.data() + pos_;
  out = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  pos_ += 4;
  return true;
}

bool ByteReader::ReadI32(int32_t& out) {
  uint32_t v = 0;
  if (!ReadU32(v)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool ByteReader::ReadBlock(std::vector<uint8_t>& out) {
  uint32_t length = 0;
  if (!ReadU32(length)) return false;
  if (length > Remaining()) return false;
  const uint8_t* p = data_.data() + pos_;
  out.assign(p, p + length);
  pos_ += length;
  return true;
}

bool ByteReader::ReadBlockLenient(std::vector<uint8_t>& out) {
  int32_t length = 0;
  if (!ReadI32(length)) return false;
  std::size_t take = length <= 0 ? 0 : std::min<std::size_t>(static_cast<uint32_t>(length), Remaining());
  const uint8_t* p = data_.data() + pos_;
  out.assign(p, p + take);
  pos_ += take;
  return true;
}

void ByteWriter::WriteU32(uint32_t v) {
  out_.push_back(static_cast<uint8_t>(v));
  out_.push_back(static_cast<uint8_t>(v >> 8));
  out_.push_back(static_cast<uint8_t>(v >> 16));
  out_.push_back(static_cast<uint8_t>(v >> 24));
}

void ByteWriter::WriteBlock(std::span<const uint8_t> bytes) {
  WriteU32(static_cast<uint32_t>(bytes.size()));
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

}  // namespace wintrel::stage
