// Seeded mutations of valid inputs for every reader of outside data: each
// must give a result or a clean "not found" / HRESULT, never crash, hang or
// read out of bounds (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "app/character_table.h"
#include "app/discovery/steam_library.h"
#include "app/discovery/vdf.h"
#include "app/discovery/wine_registry.h"
#include "app/replacement_journal.h"
#include "app/test_util.h"
#include "common/hresult.h"
#include "common/memory_file_system.h"

namespace app {
namespace {

constexpr int kRounds = 3000;

// Pieces that matter to the parsers, spliced in at random places.
const char* const kTokens[] = {
    "\\",      "\"",   "{",    "}",        "[",  "]",
    "\n",      "\r\n", "\\x",  "\\\n",     "=",  "@",
    "hex(1):", "//",   "\\\\", "\xe4\xb8", "\0", "#arch=win32\n"};

std::string Mutate(std::string text, std::mt19937& random) {
  int edits = 1 + random() % 4;
  for (int e = 0; e < edits; ++e) {
    std::size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (random() % 6) {
      case 0:
        if (at < text.size()) text[at] = static_cast<char>(random());
        break;
      case 1:
        text.insert(at, 1, static_cast<char>(random()));
        break;
      case 2:
        text.erase(at, random() % 16);
        break;
      case 3: {
        std::size_t length = random() % 32;
        text.insert(at, text.substr(at, length));
        break;
      }
      case 4:
        text.resize(at);
        break;
      default: {
        std::string token = kTokens[random() % std::size(kTokens)];
        if (token.empty()) token.assign(1, '\0');
        text.insert(at, token);
      }
    }
  }
  return text;
}

TEST(ReaderFuzzTest, CharacterTableGivesATableOrAKnownCode) {
  std::mt19937 random(20220616);
  test::Bytes valid = EncodeCharacterTable(u"汉字\n「」『』０ａ");
  std::string seed(reinterpret_cast<const char*>(valid.data()), valid.size());
  const std::set<HRESULT> known = {common::kHandleEof, common::kEInvalidArg,
                                   common::kENotImpl};
  for (int round = 0; round < kRounds; ++round) {
    std::string text = Mutate(seed, random);
    common::MemoryFileSystem fs;
    fs.Put("t", test::Bytes(reinterpret_cast<const std::byte*>(text.data()),
                            reinterpret_cast<const std::byte*>(text.data()) +
                                text.size()));
    try {
      CharacterTable table = ReadCharacterTable(*fs.OpenForRead("t"));
      EXPECT_EQ(4 + 4 * table.size(), text.size());
    } catch (const common::ResultException& e) {
      EXPECT_TRUE(known.contains(e.GetErrorCode())) << e.what();
    }
  }
}

TEST(ReaderFuzzTest, JournalReadsBackOrIsRefused) {
  std::mt19937 random(1392);
  const std::string seed =
      "Karstel journal 1\nreplacing\nIV fonts.wtd.karstel-41-0.tmp backup\n"
      "TBoGT fonts.wtd.karstel-41-1.tmp before\nTLAD "
      "fonts.wtd.karstel-41-2.tmp before\nend\n";
  for (int round = 0; round < kRounds; ++round) {
    std::string text = Mutate(seed, random);
    try {
      Journal journal = DecodeJournal(text);
      EXPECT_EQ(EncodeJournal(journal), text);
      for (const JournalEntry& entry : journal.entries)
        EXPECT_EQ(NewFileOf("game", entry).parent_path(),
                  WtdOf("game", entry).parent_path());
    } catch (const common::ResultException& e) {
      EXPECT_EQ(e.GetErrorCode(), kJournalDamaged) << text;
    }
  }
}

TEST(ReaderFuzzTest, WineRegistryFindsOrReportsAbsence) {
  std::mt19937 random(12210);
  const std::string seed =
      "WINE REGISTRY Version 2\n#arch=win64\n\n"
      "[Software\\\\Wow6432Node\\\\Rockstar Games\\\\Grand Theft Auto IV] 1\n"
      "#time=1d8\n\"Count\"=dword:00000001\n"
      "\"InstallFolder\"=\"C:\\\\Games\\\\GTA \\x4e2d\\\"IV\\\"\"\n"
      "\"Hex\"=hex(1):43,00,\\\n  3a,00,00,00\n";
  for (int round = 0; round < kRounds; ++round) {
    std::string text = Mutate(seed, random);
    for (std::u16string_view name : {u"InstallFolder", u"Hex", u"Count"}) {
      std::u16string data;
      std::uint32_t error = FindWineRegistryString(
          text, u"Software\\Wow6432Node\\Rockstar Games\\Grand Theft Auto IV",
          name, data);
      EXPECT_TRUE(error == 0 || error == 2 || error == 1630) << error;
    }
    IsWin32Registry(text);
  }
}

TEST(ReaderFuzzTest, SteamFilesParseOrAreRefused) {
  std::mt19937 random(3968);
  const std::string libraries =
      "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/u/.local/"
      "share/Steam\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"12210\"\t\t\"1\"\n\t\t}\n"
      "\t}\n\t\"1\"\t\t\"/mnt/old\"\n}\n";
  const std::string manifest =
      "\"AppState\"\n{\n\t\"appid\"\t\t\"12210\"\n\t\"installdir\"\t\t\"Grand "
      "Theft Auto IV\"\n\t\"UserConfig\" { \"language\" \"english\" } "
      "[$LINUX]\n}\n";
  for (int round = 0; round < kRounds; ++round) {
    std::string text = Mutate(round % 2 ? libraries : manifest, random);
    ParseVdf(text);
    for (const common::Path& library : ParseLibraryFolders(text))
      EXPECT_TRUE(library.is_absolute());
    if (auto dir = ParseInstallDir(text)) {
      EXPECT_FALSE(dir->empty());
      EXPECT_EQ(dir->find_first_of("/\\"), std::string::npos);
      EXPECT_NE(*dir, "..");
    }
  }
}

}  // namespace
}  // namespace app
