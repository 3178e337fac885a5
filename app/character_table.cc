#include "app/character_table.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/result.h"

namespace app {
namespace {

std::uint32_t LoadLittleEndian32(const std::byte* p) {
  return std::to_integer<std::uint32_t>(p[0]) |
         std::to_integer<std::uint32_t>(p[1]) << 8 |
         std::to_integer<std::uint32_t>(p[2]) << 16 |
         std::to_integer<std::uint32_t>(p[3]) << 24;
}

void StoreLittleEndian32(std::uint32_t value, std::byte* p) {
  for (int i = 0; i < 4; ++i) p[i] = std::byte(value >> (8 * i) & 0xFF);
}

// Fills the buffer with as many reads as the file needs; one read may stop
// short of a large request without the file having ended.
void ReadFully(common::InputFile& file, std::span<std::byte> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    std::size_t got = file.Read(buffer.subspan(done));
    THROW_HR_IF(common::kHandleEof, got == 0);
    done += got;
  }
}

}  // namespace

CharacterTable ReadCharacterTable(common::InputFile& file) {
  // The size is taken whole: cutting it to 32 bits would let a file of more
  // than 4 GiB pass the size check with bytes after the last entry.
  std::uint64_t fileSize = file.Size();
  std::byte countBytes[4];
  ReadFully(file, countBytes);
  std::uint32_t count = LoadLittleEndian32(countBytes);
  // 64-bit arithmetic: 4 + 4 x count cannot overflow.
  THROW_HR_IF(common::kEInvalidArg,
              4 + 4 * static_cast<std::uint64_t>(count) != fileSize);

  // One entry per character of the Basic Multilingual Plane at most: a
  // larger table is no patch's, and is refused before it fills memory.
  if (count > kMaxCharacterTableEntries) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "字符表声明了 %u 项，超过 %u 项的上限，不是汉化补丁的"
                  "char_table.dat",
                  static_cast<unsigned>(count),
                  static_cast<unsigned>(kMaxCharacterTableEntries));
    THROW_HR_MSG(common::kFileTooLarge, text);
  }
  // The size check bounds the buffer by the file's real size.
  std::vector<std::byte> entries(4 * static_cast<std::size_t>(count));
  ReadFully(file, entries);

  CharacterTable table;
  table.reserve(count);
  for (std::size_t i = 0; i < entries.size(); i += 4) {
    std::uint32_t codePoint = LoadLittleEndian32(&entries[i]);
    // Only the Basic Multilingual Plane: each entry takes one code unit.
    if (codePoint > 0xFFFF) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "字符表第 %zu 项 U+%04X 超出 U+FFFF，贴图只能容纳基本多文种"
                    "平面的字符",
                    i / 4 + 1, static_cast<unsigned>(codePoint));
      THROW_HR_MSG(common::kENotImpl, text);
    }
    table.push_back(static_cast<char16_t>(codePoint));
  }
  return table;
}

std::vector<std::byte> EncodeCharacterTable(std::u16string_view units) {
  std::vector<std::byte> bytes(4 + 4 * units.size());
  StoreLittleEndian32(static_cast<std::uint32_t>(units.size()), bytes.data());
  for (std::size_t i = 0; i < units.size(); ++i)
    StoreLittleEndian32(units[i], &bytes[4 + 4 * i]);
  return bytes;
}

}  // namespace app
