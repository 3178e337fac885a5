#include "app/discovery/wine_steam_registry.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "app/discovery/steam_library.h"
#include "app/game_folder.h"
#include "app/test_util.h"
#include "common/text.h"
#include "testing/temp_dir.h"

namespace app {
namespace {

void WriteText(const common::Path& path, std::string_view text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// A path as a quoted VDF string holds it: backslashes doubled.
std::string Quoted(const common::Path& path) {
  std::string text;
  for (char c : common::PathToUtf8(path)) {
    if (c == '\\' || c == '"') text += '\\';
    text += c;
  }
  return text;
}

std::string LibraryFolders(const std::vector<common::Path>& libraries) {
  std::string text = "\"libraryfolders\"\n{\n";
  int index = 0;
  for (const common::Path& library : libraries) {
    text +=
        "\t\"" + std::to_string(index++) + "\"\n\t{\n\t\t\"path\"\t\t\"" +
        common::PathToUtf8(library) +
        "\"\n\t\t\"label\"\t\t\"\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"12210\"\t\t"
        "\"15000000000\"\n\t\t}\n\t}\n";
  }
  return text + "}\n";
}

std::string AppManifest(std::string_view installDir) {
  return "\"AppState\"\n{\n\t\"appid\"\t\t\"12210\"\n\t\"name\"\t\t\"Grand "
         "Theft Auto IV\"\n\t\"installdir\"\t\t\"" +
         std::string(installDir) + "\"\n}\n";
}

class WineSteamTest : public ::testing::Test {
 protected:
  common::Path Home() const { return dir_.path() / "home"; }
  common::Path SteamRoot() const {
    return Home() / ".local" / "share" / "Steam";
  }
  void InstallInSteam(const common::Path& library,
                      std::string_view installDir = "Grand Theft Auto IV") {
    WriteText(library / "steamapps" / "appmanifest_12210.acf",
              AppManifest(installDir));
    test::MakeGameFolder(library / "steamapps" / "common" /
                         common::PathFromUtf8(installDir) / "GTAIV");
  }

  // Reads a source through the reader with the detection's 512 units.
  std::uint32_t Read(const RegistrySource& source, std::u16string& value,
                     common::Path winePrefix = {}) {
    WineSteamRegistry reader(fs_,
                             HostEnvironment{Home(), std::move(winePrefix)});
    std::array<char16_t, 512> buffer{};
    std::uint32_t byteCount = sizeof buffer;
    std::uint32_t error = reader.ReadString(source, buffer, byteCount);
    if (error == 0) {
      EXPECT_EQ(byteCount % 2, 0u);
      EXPECT_EQ(buffer[byteCount / 2 - 1], u'\0');
      value.assign(buffer.data(), byteCount / 2 - 1);
    }
    return error;
  }

  testutil::TempDir dir_;
  common::RealFileSystem fs_;
};

TEST_F(WineSteamTest, SearchesTheSteamRootsInOrder) {
  std::vector<common::Path> roots = SteamRoots("/h");
  ASSERT_EQ(roots.size(), 4u);
  EXPECT_EQ(roots[0].generic_string(), "/h/.local/share/Steam");
  EXPECT_EQ(roots[1].generic_string(), "/h/.steam/steam");
  EXPECT_EQ(roots[2].generic_string(), "/h/.steam/root");
  EXPECT_EQ(roots[3].generic_string(),
            "/h/.var/app/com.valvesoftware.Steam/.local/share/Steam");
}

TEST_F(WineSteamTest, ListsTheRootAndItsLibrariesOnce) {
  common::Path second = dir_.path() / "games" / "SteamLibrary";
  std::filesystem::create_directories(second);
  std::filesystem::create_directories(dir_.path() / "gone");
  WriteText(SteamRoot() / "steamapps" / "libraryfolders.vdf",
            LibraryFolders({SteamRoot(), second, dir_.path() / "missing"}));
  std::vector<common::Path> libraries = SteamLibraries(fs_, Home());
  EXPECT_EQ(libraries, (std::vector<common::Path>{SteamRoot(), second}));
}

TEST_F(WineSteamTest, ReadsTheOlderLibraryFoldersFormat) {
  common::Path games = dir_.path() / "games";
  std::string text =
      "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n"
      "\t\"ContentStatsID\"\t\t\"-1\"\n\t\"1\"\t\t\"" +
      Quoted(games) + "\"\n\t\"2\"\t\t\"relative/path\"\n}\n";
  EXPECT_EQ(ParseLibraryFolders(text), std::vector<common::Path>{games});
}

TEST_F(WineSteamTest, FindsTheGameInASecondLibrary) {
  common::Path second = dir_.path() / "games";
  std::filesystem::create_directories(second);
  WriteText(SteamRoot() / "steamapps" / "libraryfolders.vdf",
            LibraryFolders({SteamRoot(), second}));
  InstallInSteam(second);
  std::u16string value;
  ASSERT_EQ(Read(kSteamSource, value), 0u);
  common::Path expected =
      second / "steamapps" / "common" / "Grand Theft Auto IV";
  EXPECT_EQ(common::PathFromUtf8(common::Utf16ToUtf8(value)), expected);
}

TEST_F(WineSteamTest, FlatpakSteamIsSearchedToo) {
  common::Path flatpak = Home() / ".var" / "app" / "com.valvesoftware.Steam" /
                         ".local" / "share" / "Steam";
  InstallInSteam(flatpak);
  std::u16string value;
  EXPECT_EQ(Read(kSteamSource, value), 0u);
}

TEST_F(WineSteamTest, RefusesAnInstallDirThatLeavesTheLibrary) {
  for (std::string_view hostile :
       {"../../etc", "..", "a/b", "a\\b", "", "/abs", "C:x"}) {
    EXPECT_FALSE(ParseInstallDir(AppManifest(hostile))) << hostile;
  }
  EXPECT_EQ(ParseInstallDir(AppManifest("GTA IV 汉化")), "GTA IV 汉化");
  EXPECT_FALSE(ParseInstallDir("\"Other\" { \"installdir\" \"x\" }"));
}

TEST_F(WineSteamTest, NothingFoundWithoutSteamOrPrefixes) {
  std::u16string value;
  EXPECT_EQ(Read(kSteamSource, value), kRegistryFileNotFound);
  EXPECT_EQ(Read(kRockstarSource, value), kRegistryFileNotFound);
}

TEST_F(WineSteamTest, PrefixesComeInOrderEachOnce) {
  std::vector<common::Path> prefixes =
      WinePrefixes(HostEnvironment{"/h", "/p"}, {"/lib1", "/lib2"});
  std::vector<std::string> generic;
  for (const auto& p : prefixes) generic.push_back(p.generic_string());
  EXPECT_EQ(generic,
            (std::vector<std::string>{"/p", "/h/.wine",
                                      "/lib1/steamapps/compatdata/12210/pfx",
                                      "/lib2/steamapps/compatdata/12210/pfx"}));
  EXPECT_EQ(WinePrefixes(HostEnvironment{"/h", "/h/.wine"}, {}).size(), 1u);
}

TEST_F(WineSteamTest, DetectionFallsBackToSteamWhenNoPrefixHasTheValue) {
  InstallInSteam(SteamRoot());
  WineSteamRegistry reader(fs_, HostEnvironment{Home(), {}});
  RecordingMessageSink messages;
  common::Path gameFolder;
  EXPECT_TRUE(DetectGameFolder(fs_, messages, reader, gameFolder));
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(gameFolder, AppendPath(SteamRoot() / "steamapps" / "common" /
                                       "Grand Theft Auto IV",
                                   "GTAIV"));
}

// Drive links are named "c:", which Windows does not allow as a file name:
// the prefix cases run where prefixes exist.
#if !defined(_WIN32)

class WinePrefixTest : public WineSteamTest {
 protected:
  // A prefix with drive c: and z:, holding `reg` as system.reg.
  common::Path MakePrefix(const common::Path& prefix, std::string_view reg) {
    std::filesystem::create_directories(prefix / "drive_c");
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c",
                                              prefix / "dosdevices" / "c:");
    std::filesystem::create_directory_symlink("/",
                                              prefix / "dosdevices" / "z:");
    WriteText(prefix / "system.reg", reg);
    return prefix;
  }
  static std::string Registry(std::string_view installFolder,
                              std::string_view arch = "win64") {
    std::string key = arch == "win64" ? "Software\\\\Wow6432Node\\\\"
                                        "Rockstar Games\\\\Grand Theft Auto IV"
                                      : "Software\\\\Rockstar Games\\\\"
                                        "Grand Theft Auto IV";
    return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
           "#arch=" +
           std::string(arch) + "\n\n[" + key +
           "] 1650000000\n#time=1d8\n\"InstallFolder\"=\"" +
           std::string(installFolder) + "\"\n";
  }
};

TEST_F(WinePrefixTest, MapsDriveCThroughDosdevices) {
  common::Path prefix = MakePrefix(dir_.path() / "pfx", "");
  test::MakeGameFolder(prefix / "drive_c" / "Games" / "GTA IV");
  auto host = MapWindowsPath(prefix, u"C:\\Games\\.\\x\\..\\GTA IV\\");
  ASSERT_TRUE(host);
  EXPECT_EQ(*host, std::filesystem::canonical(prefix / "drive_c") / "Games" /
                       "GTA IV");
  EXPECT_TRUE(HasAllFontsWtd(fs_, *host));
  EXPECT_EQ(MapWindowsPath(prefix, u"\\\\?\\c:\\Games"), host->parent_path());
  EXPECT_EQ(MapWindowsPath(prefix, u"Z:\\tmp")->generic_string(), "/tmp");
  EXPECT_EQ(MapWindowsPath(prefix, u"C:\\..\\..\\etc"),
            std::filesystem::canonical(prefix / "drive_c") / "etc");
  EXPECT_FALSE(MapWindowsPath(prefix, u"D:\\Games"));
  EXPECT_FALSE(MapWindowsPath(prefix, u"\\\\server\\share"));
  EXPECT_FALSE(MapWindowsPath(prefix, u"Games"));
  EXPECT_FALSE(MapWindowsPath(prefix, u""));
}

TEST_F(WinePrefixTest, ReadsSourceOneFromWineprefix) {
  common::Path prefix =
      MakePrefix(dir_.path() / "pfx", Registry("C:\\\\Games\\\\GTA IV"));
  std::u16string value;
  ASSERT_EQ(Read(kRockstarSource, value, prefix), 0u);
  EXPECT_EQ(
      common::PathFromUtf8(common::Utf16ToUtf8(value)),
      std::filesystem::canonical(prefix / "drive_c") / "Games" / "GTA IV");
}

TEST_F(WinePrefixTest, ThirtyTwoBitPrefixKeepsThePlainKey) {
  MakePrefix(Home() / ".wine", Registry("C:\\\\GTA", "win32"));
  std::u16string value;
  ASSERT_EQ(Read(kRockstarSource, value), 0u);
  EXPECT_NE(value.find(u"GTA"), std::u16string::npos);
}

TEST_F(WinePrefixTest, ProtonPrefixOfTheGameIsSearched) {
  common::Path pfx = SteamRoot() / "steamapps" / "compatdata" / "12210" / "pfx";
  MakePrefix(pfx, Registry("C:\\\\GTAIV"));
  std::u16string value;
  ASSERT_EQ(Read(kRockstarSource, value), 0u);
  EXPECT_EQ(common::PathFromUtf8(common::Utf16ToUtf8(value)),
            std::filesystem::canonical(pfx / "drive_c") / "GTAIV");
}

TEST_F(WinePrefixTest, PrefixWithoutTheDriveGivesWayToTheNext) {
  MakePrefix(dir_.path() / "pfx", Registry("Q:\\\\GTAIV"));
  MakePrefix(Home() / ".wine", Registry("C:\\\\Second"));
  std::u16string value;
  ASSERT_EQ(Read(kRockstarSource, value, dir_.path() / "pfx"), 0u);
  EXPECT_NE(value.find(u"Second"), std::u16string::npos);
}

TEST_F(WinePrefixTest, PathLongerThanTheBufferDoesNotFit) {
  std::string longFolder = "C:\\\\" + std::string(600, 'g');
  MakePrefix(Home() / ".wine", Registry(longFolder));
  std::u16string value;
  EXPECT_EQ(Read(kRockstarSource, value), kRegistryMoreData);
}

TEST_F(WinePrefixTest, ShortValueInAPrefixAtALongHostPathIsRead) {
  common::Path deep = dir_.path();
  for (int i = 0; i < 6; ++i)
    deep /= std::string(100, static_cast<char>('a' + i));
  common::Path prefix = MakePrefix(deep / "pfx", Registry("C:\\GTAIV"));
  WineSteamRegistry reader(fs_, HostEnvironment{Home(), prefix});
  std::u16string folder;
  ASSERT_EQ(reader.ReadFolder(kRockstarSource, folder), 0u);
  EXPECT_GT(folder.size(), kRegistryValueUnits);
  EXPECT_EQ(common::PathFromUtf8(common::Utf16ToUtf8(folder)),
            std::filesystem::canonical(prefix / "drive_c") / "GTAIV");
}

TEST_F(WinePrefixTest, SourceOneFailingChecksStopsDetection) {
  MakePrefix(Home() / ".wine", Registry("C:\\\\Empty"));
  InstallInSteam(SteamRoot());
  WineSteamRegistry reader(fs_, HostEnvironment{Home(), {}});
  RecordingMessageSink messages;
  common::Path gameFolder = "earlier";
  EXPECT_FALSE(DetectGameFolder(fs_, messages, reader, gameFolder));
  EXPECT_EQ(messages.messages,
            (std::vector<RecordingMessageSink::Message>{
                {MessageIcon::Warning, kDetectedWithoutFontsWtd}}));
  EXPECT_EQ(gameFolder, "earlier");
}

TEST_F(WinePrefixTest, SteamRootLinkedTwiceIsOneLibrary) {
  std::filesystem::create_directories(SteamRoot());
  std::filesystem::create_directories(Home() / ".steam");
  std::filesystem::create_directory_symlink(SteamRoot(),
                                            Home() / ".steam" / "steam");
  std::filesystem::create_directory_symlink(SteamRoot(),
                                            Home() / ".steam" / "root");
  EXPECT_EQ(SteamLibraries(fs_, Home()),
            std::vector<common::Path>{SteamRoot()});
}

#endif

}  // namespace
}  // namespace app
