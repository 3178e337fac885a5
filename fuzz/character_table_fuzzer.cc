// char_table.dat as the player's patch left it: a table of exactly the
// entries the file holds, or a documented refusal.
#include "app/character_table.h"
#include "common/memory_file_system.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  common::MemoryFileSystem fs;
  fs.Put("char_table.dat", fuzz::BytesOf(data, size));
  try {
    app::CharacterTable table =
        app::ReadCharacterTable(*fs.OpenForRead("char_table.dat"));
    fuzz::Check(4 + 4 * table.size() == size, "one unit per 4-byte entry");
    fuzz::Check(app::EncodeCharacterTable(table) == fs.Get("char_table.dat"),
                "the table writes back as it was read");
  } catch (const common::ResultException& e) {
    fuzz::CheckRefusal(e, {common::kHandleEof, common::kEInvalidArg,
                           common::kENotImpl, common::kFileTooLarge});
  }
  return 0;
}
