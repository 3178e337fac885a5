// Helpers for the resource tests: independent inflation of written files and
// loading from byte vectors.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/memory_file_system.h"
#include "common/result.h"
#include "resource/resource_file.h"
#include "testing/code_of.h"

namespace resource::test {

using Bytes = std::vector<std::byte>;

/// Inflates the zlib stream after the 12-byte header with plain zlib.
inline Bytes InflateBody(const Bytes& file) {
  z_stream s{};
  EXPECT_EQ(inflateInit(&s), Z_OK);
  s.next_in =
      const_cast<Bytef*>(reinterpret_cast<const Bytef*>(file.data() + 12));
  s.avail_in = static_cast<uInt>(file.size() - 12);
  Bytes out;
  std::byte chunk[65536];
  int result;
  do {
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    result = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - s.avail_out));
  } while (result == Z_OK);
  EXPECT_EQ(result, Z_STREAM_END);
  inflateEnd(&s);
  return out;
}

/// The file's header (its first 12 bytes) with body compressed after it.
inline Bytes Recompressed(const Bytes& header, const Bytes& body) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  Bytes file(header.begin(), header.begin() + 12);
  file.resize(12 + size);
  compress2(reinterpret_cast<Bytef*>(file.data() + 12), &size,
            reinterpret_cast<const Bytef*>(body.data()),
            static_cast<uLong>(body.size()), 1);
  file.resize(12 + size);
  return file;
}

inline std::uint32_t FlagsOf(const Bytes& file) {
  std::uint32_t flags;
  std::memcpy(&flags, file.data() + 8, 4);
  return flags;
}

inline ResourceFile LoadBytes(const Bytes& bytes) {
  common::MemoryFileSystem fs;
  fs.Put("f", bytes);
  return LoadResource(*fs.OpenForRead("f"));
}

using testutil::CodeOf;

inline Bytes Filled(std::size_t n, std::uint8_t value) {
  return Bytes(n, std::byte{value});
}

}  // namespace resource::test
