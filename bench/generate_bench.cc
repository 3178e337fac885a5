// The whole generation for three variants on a sample game folder (realistic
// synthetic fonts.wtd, the sample char_table.dat), on 1 core, 2 cores and
// every core: prints each stage's time and the total of every run, then the
// best total against three zlib level-9 deflates of the same font texture
// timed in the same run (the cost of writing three files the plain way),
// and the written sizes beside zlib level 9's. Run from a Release build:
//   build/linux/bench/Release/generate_bench [runs]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "app/cli/command_drawing.h"
#include "app/generation.h"
#include "app/original_backup.h"
#include "app/progress.h"
#include "bench/cores.h"
#include "common/memory_file_system.h"
#include "common/text.h"
#include "render/platform_services.h"
#include "resource/parallel_deflate.h"
#include "resource/resource_file.h"
#include "resource/resource_pointer.h"
#include "resource/texture_dictionary.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::byte>;

// `text` padded with spaces to `columns` columns of a terminal, where a
// Chinese character takes two.
std::string Padded(std::string_view text, std::size_t columns) {
  std::size_t width = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) == 0x80) continue;  // not the first byte of a character
    width += c >= 0xE1 ? 2 : 1;
  }
  return std::string(text) +
         std::string(columns - std::min(columns, width), ' ');
}

double Ms(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

Bytes ReadFile(const common::Path& path) {
  common::RealFileSystem fs;
  auto file = fs.OpenForRead(path);
  Bytes bytes;
  std::byte buffer[65536];
  for (std::size_t n; (n = file->Read(buffer)) > 0;)
    bytes.insert(bytes.end(), buffer, buffer + n);
  return bytes;
}

// The body of a fonts.wtd, expanded, and its font texture's bytes.
struct Expanded {
  Bytes body;
  Bytes fontChs;
};

Expanded Expand(const Bytes& file) {
  common::MemoryFileSystem fs;
  fs.Put("f", file);
  resource::ResourceFile resource =
      resource::LoadResource(*fs.OpenForRead("f"));
  Expanded out;
  {
    resource::ResourceContext context(resource);
    for (const auto& entry : resource::ListTextures(context))
      if (entry.key == resource::kFontChsKey)
        out.fontChs.assign(entry.pixels, entry.pixels + entry.pixelBytes);
  }
  out.body.assign(resource.body.data(),
                  resource.body.data() + resource.body.size());
  return out;
}

// One zlib level-9 stream of `data`, as the plain writer makes it.
std::size_t Zlib9(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), 9) != Z_OK)
    std::abort();
  return size;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 3;
  common::Path root =
      std::filesystem::temp_directory_path() / "karstel-generate-bench";
  std::filesystem::remove_all(root);
  common::RealFileSystem fs;
  std::ostringstream quiet;
  app::CommandContext context{fs, quiet, std::cerr};
  std::string folder = common::PathToUtf8(root);
  if (app::RunSample(context, {&folder, 1}) != app::kExitSuccess) return 1;

  app::GenerationSettings settings;
  render::SetFaceName(settings.mainFont, u"WenQuanYi Micro Hei");
  settings.symbolFont = settings.mainFont;
  settings.gameFolder = root;
  settings.episodes = {app::Episode::IV, app::Episode::TBoGT,
                       app::Episode::TLAD};
  const unsigned all = bench::AvailableCores();
  std::printf("font: WenQuanYi Micro Hei (Debian fonts-wqy-microhei)\n");
  render::PlatformServices services;
  app::TerminalMessageSink messages(std::cout, std::cerr);

  std::vector<unsigned> counts = {1, 2, all};
  std::vector<double> best(counts.size(), 1e300);
  for (std::size_t c = 0; c < counts.size(); ++c) {
    if (!bench::UseCores(counts[c]))
      std::printf("(the system kept every core)\n");
    for (int run = 1; run <= runs; ++run) {
      std::printf("%u core%s, run %d\n", counts[c], counts[c] > 1 ? "s" : "",
                  run);
      app::StageObserver progress = [](std::string_view stage,
                                       Clock::duration elapsed) {
        std::printf("  %s %8.1f ms\n", Padded(stage, 30).c_str(), Ms(elapsed));
      };
      app::GenerationServices generation{
          fs, messages, app::TimedAtlasBuilder(progress, render::FitMode::Fit),
          progress};
      // Every run is a first generation, which keeps the originals.
      for (app::Episode episode : app::kEpisodeOrder)
        std::filesystem::remove(app::BackupPathFor(
            app::AppendPath(root, app::FontsWtdPath(episode))));
      auto start = Clock::now();
      app::GenerateFontTexture(generation, settings);
      double total = Ms(Clock::now() - start);
      best[c] = std::min(best[c], total);
      std::printf("  %-30s %8.1f ms\n", "total", total);
    }
  }

  // The reference, in this run: the font texture deflated three times with
  // zlib level 9, one stream each, on one core, as the plain writer would
  // for the three files.
  Bytes iv =
      ReadFile(app::AppendPath(root, app::FontsWtdPath(app::Episode::IV)));
  Expanded expanded = Expand(iv);
  auto start = Clock::now();
  std::size_t textureZlib = 0;
  for (int i = 0; i < 3; ++i) textureZlib = Zlib9(expanded.fontChs);
  const double reference = Ms(Clock::now() - start);
  std::printf("\n3 x zlib level 9 of the %zu-byte font texture: %.1f ms\n",
              expanded.fontChs.size(), reference);
  std::printf("%-12s %14s %10s\n", "cores", "best total", "ratio");
  for (std::size_t c = 0; c < counts.size(); ++c) {
    std::printf(
        "%-12s %11.1f ms %10.3f\n",
        (std::to_string(counts[c]) + (c + 1 == counts.size() ? " (all)" : ""))
            .c_str(),
        best[c], best[c] / reference);
  }

  // Sizes: the written IV file and its font texture beside zlib level 9's.
  const std::size_t textureWritten =
      resource::DeflateRaw(expanded.fontChs, {}, resource::DeflateEnd::Sync)
          .size();
  const std::size_t fileZlib = 12 + Zlib9(expanded.body);
  std::printf("\n%-34s %12s %12s %9s\n", "size in bytes", "written", "zlib 9",
              "change");
  std::printf(
      "%-34s %12zu %12zu %+8.2f %%\n", "IV fonts.wtd", iv.size(), fileZlib,
      100.0 * static_cast<double>(iv.size()) / static_cast<double>(fileZlib) -
          100.0);
  std::printf("%-34s %12zu %12zu %+8.2f %%\n", "font texture (deflated alone)",
              textureWritten, textureZlib,
              100.0 * static_cast<double>(textureWritten) /
                      static_cast<double>(textureZlib) -
                  100.0);
  std::filesystem::remove_all(root);
  return 0;
}
