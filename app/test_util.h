// Helpers for the app tests: sample game folders on disk, an atlas that
// needs no fonts, and a file system that records what was opened.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/character_table.h"
#include "app/episode.h"
#include "common/file_system.h"
#include "common/memory_file_system.h"
#include "common/result.h"
#include "resource/resource_file.h"
#include "resource/resource_pointer.h"
#include "resource/sample_wtd.h"
#include "resource/texture_dictionary.h"
#include "testing/code_of.h"
#include "texture/image.h"

namespace app::test {

using Bytes = std::vector<std::byte>;

/// A 4096 x 4096 BC3 level the size of the real atlas, filled with a
/// pattern that depends on `seed`.
inline texture::CompressedImage PatternAtlas(unsigned seed = 1) {
  texture::CompressedImage image;
  EXPECT_EQ(image.Allocate2D(texture::DXGI_FORMAT_BC3_UNORM, 4096, 4096), 0);
  for (std::size_t i = 0; i < image.byteSize(); ++i)
    image.memory()[i] = std::byte((i >> 10) * 13 + seed * 31 + (i & 7));
  return image;
}

/// A small valid fonts.wtd: quick to patch.
inline Bytes SmallFontsWtd(std::uint32_t seed) {
  resource::SampleWtdOptions options;
  options.textures = {{"pack:/font_en.dds", 64, 64, resource::kFormatDxt5, 3},
                      {"pack:/font_hud.dds", 32, 16, resource::kFormatDxt1, 1}};
  resource::SortByKey(options.textures);
  options.seed = seed;
  return resource::BuildSampleWtd(options);
}

inline void WriteBytes(const common::Path& path, const Bytes& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadBytes(const common::Path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)),
                   std::istreambuf_iterator<char>());
  Bytes bytes(text.size());
  // An empty vector's data() may be null, which memcpy must not see.
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());
  return bytes;
}

/// Writes the three variants' fonts.wtd and, when asked, a table.
inline void MakeGameFolder(const common::Path& root, bool withTable = true,
                           std::u16string_view table = u"汉字「」") {
  std::uint32_t seed = 1;
  for (Episode episode : kEpisodeOrder)
    WriteBytes(AppendPath(root, FontsWtdPath(episode)), SmallFontsWtd(seed++));
  if (withTable)
    WriteBytes(AppendPath(root, CharacterTablePath()),
               EncodeCharacterTable(table));
}

/// The same in memory.
inline void MakeGameFolder(common::MemoryFileSystem& fs,
                           const common::Path& root, bool withTable = true,
                           std::u16string_view table = u"汉字「」") {
  std::uint32_t seed = 1;
  for (Episode episode : kEpisodeOrder)
    fs.Put(AppendPath(root, FontsWtdPath(episode)), SmallFontsWtd(seed++));
  if (withTable)
    fs.Put(AppendPath(root, CharacterTablePath()), EncodeCharacterTable(table));
}

/// The pixels of font_chs in a fonts.wtd image; empty when it has none.
inline Bytes FontChsPixels(const Bytes& file) {
  common::MemoryFileSystem fs;
  fs.Put("f", file);
  resource::ResourceFile resource =
      resource::LoadResource(*fs.OpenForRead("f"));
  resource::ResourceContext context(resource);
  for (const auto& entry : resource::ListTextures(context))
    if (entry.key == resource::kFontChsKey)
      return Bytes(entry.pixels, entry.pixels + entry.pixelBytes);
  return {};
}

/// How many textures a fonts.wtd image holds.
inline std::size_t TextureCount(const Bytes& file) {
  common::MemoryFileSystem fs;
  fs.Put("f", file);
  resource::ResourceFile resource =
      resource::LoadResource(*fs.OpenForRead("f"));
  resource::ResourceContext context(resource);
  return resource::ListTextures(context).size();
}

inline Bytes ImageBytes(const texture::CompressedImage& image) {
  return Bytes(image.memory(), image.memory() + image.byteSize());
}

/// Passes every call on to another file system and notes it, as
/// MemoryFileSystem does: "read P", "create P", "replace A B", "remove P".
class RecordingFileSystem final : public common::FileSystem {
 public:
  explicit RecordingFileSystem(common::FileSystem& inner) : inner_(inner) {}
  std::unique_ptr<common::InputFile> OpenForRead(
      const common::Path& path) override {
    Record("read " + path.generic_string());
    return inner_.OpenForRead(path);
  }
  std::unique_ptr<common::InputFile> OpenForReadNoFollow(
      const common::Path& path) override {
    Record("read " + path.generic_string());
    return inner_.OpenForReadNoFollow(path);
  }
  common::EntryKind EntryKindOf(const common::Path& path) override {
    return inner_.EntryKindOf(path);
  }
  common::EntryKind StatusOf(const common::Path& path) override {
    return inner_.StatusOf(path);
  }
  void CreateFolders(const common::Path& folder) override {
    Record("mkdir " + folder.generic_string());
    inner_.CreateFolders(folder);
  }
  std::vector<common::FolderEntry> ListFolder(
      const common::Path& folder) override {
    return inner_.ListFolder(folder);
  }
  common::Path CanonicalPath(const common::Path& path) override {
    return inner_.CanonicalPath(path);
  }
  std::unique_ptr<common::OutputFile> CreateForWrite(
      const common::Path& path) override {
    Record("create " + path.generic_string());
    return inner_.CreateForWrite(path);
  }
  void ReplaceFile(const common::Path& from, const common::Path& to) override {
    Record("replace " + from.generic_string() + " " + to.generic_string());
    inner_.ReplaceFile(from, to);
  }
  void RemoveFile(const common::Path& path) noexcept override {
    Record("remove " + path.generic_string());
    inner_.RemoveFile(path);
  }
  bool LinkFile(const common::Path& existing,
                const common::Path& link) noexcept override {
    Record("link " + existing.generic_string() + " " + link.generic_string());
    return inner_.LinkFile(existing, link);
  }
  void RemoveAbandonedTemporaries(const common::Path& path) noexcept override {
    inner_.RemoveAbandonedTemporaries(path);
  }
  std::unique_ptr<common::FileLock> LockExclusive(
      const common::Path& path, std::chrono::milliseconds wait) override {
    Record("lock " + path.generic_string());
    return inner_.LockExclusive(path, std::min(wait, lockWait));
  }
  /// The log lines that start with `operation` ("read ", "create ", ...).
  std::vector<std::string> Lines(std::string_view operation) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& line : log)
      if (line.starts_with(operation)) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> log;
  /// The longest a lock is waited for, whatever the caller asks.
  std::chrono::milliseconds lockWait = std::chrono::milliseconds::max();
  /// Hears each line as it is noted, before the call is passed on: a test
  /// can step in at a chosen moment. Called on the thread that made it.
  std::function<void(const std::string&)> onRecord;

 private:
  // The generation reads the next variant's file while it writes this one.
  void Record(const std::string& line) {
    {
      std::lock_guard lock(mutex_);
      log.push_back(line);
    }
    if (onRecord) onRecord(line);
  }
  mutable std::mutex mutex_;
  common::FileSystem& inner_;
};

using testutil::CodeOf;

}  // namespace app::test
