// Writes the first corpus of every harness into DIR/<harness>/: fonts.wtd
// files from the sample writer (whole, and as header plus expanded body for
// the patcher), the sample char_table.dat, and registry and Steam files as
// Wine and Steam write them. Made at test time, so nothing binary is kept
// in the tree.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/character_table.h"
#include "app/cli/sample_table.h"
#include "app/replacement_journal.h"
#include "common/memory_file_system.h"
#include "resource/resource_file.h"
#include "resource/sample_wtd.h"
#include "resource/texture_dictionary.h"

namespace {

using Bytes = std::vector<std::byte>;

void WriteSeed(const std::filesystem::path& path, const Bytes& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void WriteSeed(const std::filesystem::path& path, std::string_view text) {
  WriteSeed(path, Bytes(reinterpret_cast<const std::byte*>(text.data()),
                        reinterpret_cast<const std::byte*>(text.data()) +
                            text.size()));
}

// The header and the expanded body: what the patch harness compresses.
Bytes Expanded(const Bytes& file) {
  common::MemoryFileSystem fs;
  fs.Put("f", file);
  resource::ResourceFile loaded = resource::LoadResource(*fs.OpenForRead("f"));
  Bytes out(file.begin(), file.begin() + 12);
  out.insert(out.end(), loaded.body.data(),
             loaded.body.data() + loaded.body.size());
  return out;
}

// Small dictionaries in the game's formats: without the font texture, with
// one to replace, scattered blocks, spare capacity and carried flag bits.
std::vector<resource::SampleWtdOptions> SampleFiles() {
  using resource::kFormatA8R8G8B8;
  using resource::kFormatDxt1;
  using resource::kFormatDxt3;
  using resource::kFormatDxt5;
  resource::SampleWtdOptions plain;
  plain.textures = {{"pack:/font_en.dds", 16, 16, kFormatDxt5, 2},
                    {"pack:/icons.dds", 4, 4, kFormatA8R8G8B8, 1}};
  resource::SortByKey(plain.textures);
  resource::SampleWtdOptions replace = plain;
  replace.textures.push_back({"pack:/font_chs.dds", 8, 8, kFormatDxt1, 1});
  resource::SortByKey(replace.textures);
  resource::SampleWtdOptions scattered = replace;
  scattered.scatter = true;
  scattered.seed = 2;
  resource::SampleWtdOptions spare = plain;
  spare.textures.push_back({"pack:/font_tiny.dds", 8, 4, kFormatDxt3, 1});
  spare.extraCapacity = 2;
  spare.topFlagBits = 0x80000000u;
  spare.seed = 3;
  return {plain, replace, scattered, spare};
}

constexpr const char* kRegistries[] = {
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
    "#arch=win64\n\n"
    "[Software\\\\Wow6432Node\\\\Rockstar Games\\\\Grand Theft Auto IV] "
    "1700000000\n#time=1d9a0b0c0d0e0f0\n"
    "\"InstallFolder\"=\"C:\\\\Program Files (x86)\\\\Rockstar Games\\\\"
    "Grand Theft Auto IV\"\n\"Language\"=dword:00000000\n",
    "WINE REGISTRY Version 2\n#arch=win32\n\n"
    "[Software\\\\Rockstar Games\\\\Grand Theft Auto IV] 1700000000\n"
    "@=\"\\x4e2d\\u6587\"\n"
    "\"InstallFolder\"=hex(1):44,00,3a,00,5c,00,47,00,54,00,41,00,\\\n"
    "  20,00,49,00,56,00,00,00\n",
    "WINE REGISTRY Version 2\n#arch=win64\n\n"
    "[Software\\\\Wow6432Node\\\\Rockstar Games\\\\Grand Theft Auto IV] 1\n"
    "\"InstallFolder\"=\"D:\\\\游戏\\\\GTA \\\"IV\\\"\\\\\\\n"
    "    Episodes\\101\\t\"\n",
};

constexpr const char* kSteamFiles[] = {
    "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/deck/.local/"
    "share/Steam\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t"
    "\"12210\"\t\t\"15000000000\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t"
    "\"/run/media/mmcblk0p1\"\n\t}\n}\n",
    "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n\t\"1\"\t\t"
    "\"/mnt/games\"\n}\n",
    "\"AppState\"\n{\n\t\"appid\"\t\t\"12210\"\n\t\"name\"\t\t\"Grand Theft "
    "Auto IV\"\n\t\"installdir\"\t\t\"Grand Theft Auto IV\"\n\t"
    "\"UserConfig\" { \"language\" \"schinese\" } [$LINUX]\n}\n",
    "// comment\n\"AppState\" { installdir \"GTA \\\"IV\\\"\" }\n",
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  int index = 0;
  for (const resource::SampleWtdOptions& options : SampleFiles()) {
    Bytes file = resource::BuildSampleWtd(options);
    std::string name = "sample" + std::to_string(index++);
    WriteSeed(root / "resource_load" / name, file);
    WriteSeed(root / "backup" / name, file);
    WriteSeed(root / "resource_patch" / name, Expanded(file));
  }
  WriteSeed(root / "character_table" / "sample",
            app::EncodeCharacterTable(app::SampleCharacterTable()));
  WriteSeed(root / "character_table" / "short",
            app::EncodeCharacterTable(u"汉字\n「」『』“”‘’０ａ"));
  app::Journal journal;
  journal.entries = {{app::Episode::IV, "fonts.wtd.karstel-41-0.tmp", true},
                     {app::Episode::TLAD, "fonts.wtd.karstel-41-1.tmp", false}};
  WriteSeed(root / "journal" / "replacing", app::EncodeJournal(journal));
  journal.state = app::JournalState::Undoing;
  WriteSeed(root / "journal" / "undoing", app::EncodeJournal(journal));
  index = 0;
  for (const char* text : kRegistries)
    WriteSeed(root / "wine_registry" / ("system" + std::to_string(index++)),
              std::string_view(text));
  index = 0;
  for (const char* text : kSteamFiles)
    WriteSeed(root / "vdf" / ("steam" + std::to_string(index++)),
              std::string_view(text));
  return 0;
}
