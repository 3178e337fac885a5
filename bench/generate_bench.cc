// The whole generation for three variants on a sample game folder (realistic
// synthetic fonts.wtd, the sample char_table.dat): prints each stage's time
// and the total. Run from a Release build:
//   build/linux/bench/Release/generate_bench [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "app/cli/command.h"
#include "app/cli/command_drawing.h"
#include "app/generation.h"
#include "app/original_backup.h"
#include "app/progress.h"
#include "common/text.h"
#include "render/platform_services.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  std::printf("font: WenQuanYi Micro Hei (Debian fonts-wqy-microhei)\n");
  render::PlatformServices services;
  app::TerminalMessageSink messages(std::cout, std::cerr);
  for (int run = 1; run <= runs; ++run) {
    std::printf("run %d\n", run);
    app::StageObserver progress = [](std::string_view stage,
                                     Clock::duration elapsed) {
      std::printf("  %-24.*s %8.1f ms\n", static_cast<int>(stage.size()),
                  stage.data(),
                  std::chrono::duration<double, std::milli>(elapsed).count());
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
    double total =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::uintmax_t bytes = 0;
    for (app::Episode episode : app::kEpisodeOrder)
      bytes += std::filesystem::file_size(
          app::AppendPath(root, app::FontsWtdPath(episode)));
    std::printf("  %-24s %8.1f ms, %ju bytes written\n", "total", total, bytes);
  }
  std::filesystem::remove_all(root);
  return 0;
}
