#include "resource/font_pipeline.h"

#include <zlib.h>

#include <span>

#include "common/result.h"
#include "resource/bytes.h"
#include "resource/layout.h"
#include "resource/parallel_deflate.h"
#include "resource/patch.h"

namespace resource {
namespace {

DeflatedRun Deflate(std::span<const std::byte> data, DeflateEnd end,
                    bool parallel) {
  return DeflateRun(data, end, parallel);
}

}  // namespace

// A file ready but for its font texture. Its stream is cut in three runs:
// what comes before the font texture (ended with a full flush, so nothing
// after it refers back), the texture itself, the same in every file and so
// compressed once per generation, and what comes after it (compressed
// without the texture as history, so that it too can be made before the
// texture exists). The zlib header and the Adler-32 trailer are written
// around them, the checksum carried across runs with adler32_combine.
struct FontTexturePipeline::Prepared {
  std::unique_ptr<FontPatch> patch;
  DeflatedRun before;
  DeflatedRun after;
};

namespace {

std::shared_ptr<FontTexturePipeline::Prepared> Prepare(
    common::FileSystem& fs, const common::Path& source);

}  // namespace

FontTexturePipeline::FontTexturePipeline(common::FileSystem& fs,
                                         std::vector<FontFile> files)
    : fs_(fs), files_(std::move(files)), promises_(files_.size()) {
  for (auto& promise : promises_) futures_.push_back(promise.get_future());
  worker_ = std::thread([this] {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (stop_) {
        promises_[i].set_value(nullptr);
        continue;
      }
      try {
        promises_[i].set_value(Prepare(fs_, files_[i].source));
      } catch (...) {
        promises_[i].set_exception(std::current_exception());
      }
    }
  });
}

FontTexturePipeline::~FontTexturePipeline() {
  stop_ = true;
  worker_.join();
}

namespace {

std::shared_ptr<FontTexturePipeline::Prepared> Prepare(
    common::FileSystem& fs, const common::Path& source) {
  auto prepared = std::make_shared<FontTexturePipeline::Prepared>();
  {
    auto file = fs.OpenForRead(source);
    prepared->patch = std::make_unique<FontPatch>(LoadResource(*file));
  }  // closed before anything is written
  FontPatch& patch = *prepared->patch;
  patch.Apply(nullptr);

  const BlockList& blocks = patch.blocks();
  const std::span<const ResourceBlock> physical = blocks.physicalBlocks;
  const std::size_t font = patch.fontBlock();
  const ResourceBlock& texture = physical[font];
  std::vector<std::byte> bytes;
  std::uint32_t position = 0;
  AppendSegment(bytes, blocks.virtualBlocks, position);
  const std::uint32_t virtualSize =
      DecodeSegmentSizes(patch.layoutFlags()).virtualSize;
  if (position < virtualSize)
    bytes.insert(bytes.end(), virtualSize - position, kFillByte);
  position = 0;
  AppendSegment(bytes, physical.first(font), position);
  // The gap before the texture belongs to the run before it.
  const std::uint32_t start = std::max(position, texture.offset);
  bytes.insert(bytes.end(), start - position, kFillByte);
  prepared->before = Deflate(bytes, DeflateEnd::Full, false);

  bytes.assign((16 - texture.size % 16) % 16, kFillByte);
  position = start + texture.size + static_cast<std::uint32_t>(bytes.size());
  AppendSegment(bytes, physical.subspan(font + 1), position);
  prepared->after = Deflate(bytes, DeflateEnd::Final, false);
  return prepared;
}

void WritePrepared(common::OutputFile& out,
                   const FontTexturePipeline::Prepared& prepared,
                   const DeflatedRun& texture) {
  const FontPatch& patch = *prepared.patch;
  std::byte head[12];
  Write32(head, patch.header().magic);
  Write32(head + 4, patch.header().version);
  Write32(head + 8,
          patch.layoutFlags() | (patch.header().flags & kCarriedFlagBits));
  common::WriteExactly(out, head);
  const std::byte zlibHeader[2] = {std::byte{0x78}, std::byte{0xDA}};
  common::WriteExactly(out, zlibHeader);
  std::uint32_t adler = 1;
  for (const DeflatedRun* run : {&prepared.before, &texture, &prepared.after}) {
    common::WriteExactly(out, run->compressed);
    adler = static_cast<std::uint32_t>(adler32_combine(
        adler, run->adler, static_cast<z_off_t>(run->expandedBytes)));
  }
  const std::byte trailer[4] = {std::byte(adler >> 24), std::byte(adler >> 16),
                                std::byte(adler >> 8), std::byte(adler)};
  common::WriteExactly(out, trailer);
}

}  // namespace

void FontTexturePipeline::Write(const texture::CompressedImage& image,
                                const StepObserver& onStep,
                                const KeepOriginal& keepOriginal,
                                const BeforeReplacing& beforeReplacing,
                                const ReplaceFailed& replaceFailed) {
  // The record claims one 4096 x 4096 DXT5 level: never fewer bytes.
  THROW_HR_IF(common::kEInvalidArg, image.memory() == nullptr ||
                                        image.byteSize() < kFontTextureBytes);
  auto step = [&](PipelineStep what, std::size_t i) {
    if (onStep) onStep(what, i);
  };
  // Deflated with the image's blocks (the atlas stage overlaps the two),
  // or here, once.
  DeflatedRun texture = std::move(deflatedTexture_);
  THROW_HR_IF(common::kEInvalidArg,
              !texture.compressed.empty() &&
                  texture.expandedBytes != kFontTextureBytes);
  std::vector<std::unique_ptr<common::PendingReplacement>> pending;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    step(PipelineStep::Read, i);
    std::shared_ptr<Prepared> prepared = futures_[i].get();
    THROW_HR_IF(common::kEFail, !prepared);
    step(PipelineStep::Write, i);
    // The destination's folder must exist; where it is the source's, it
    // does, since the source was read.
    const common::Path folder = files_[i].destination.parent_path();
    if (!folder.empty()) fs_.CreateFolders(folder);
    pending.push_back(std::make_unique<common::PendingReplacement>(
        fs_, files_[i].destination, [&](common::OutputFile& out) {
          // Once, on every core: the variants store the same texture. Only
          // once the first new file exists, so that a folder that may not
          // be written is found out before the work.
          if (texture.compressed.empty())
            texture = Deflate({image.memory(), kFontTextureBytes},
                              DeflateEnd::Sync, true);
          WritePrepared(out, *prepared, texture);
        }));
  }
  for (std::size_t i = 0; i < files_.size(); ++i) {
    step(PipelineStep::KeepOriginal, i);
    if (keepOriginal) keepOriginal(i);
  }
  if (beforeReplacing) {
    std::vector<common::Path> newFiles;
    for (const auto& file : pending) newFiles.push_back(file->temporary());
    beforeReplacing(newFiles);
  }
  try {
    for (std::size_t i = 0; i < files_.size(); ++i) {
      step(PipelineStep::Replace, i);
      pending[i]->Commit();
      ++replaced_;
    }
  } catch (...) {
    // Heard while the files not yet replaced still have their new ones.
    if (replaceFailed) replaceFailed(replaced_);
    throw;
  }
}

}  // namespace resource
