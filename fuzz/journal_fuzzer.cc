// karstel.journal as a killed run left it, or as anything else put it there:
// a journal that writes back as it was read and names only new files beside
// the variants' fonts.wtd, or the one refusal.
#include "app/replacement_journal.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    app::Journal journal = app::DecodeJournal(text);
    fuzz::Check(app::EncodeJournal(journal) == text,
                "the journal writes back as it was read");
    for (const app::JournalEntry& entry : journal.entries)
      fuzz::Check(app::NewFileOf("game", entry).parent_path() ==
                      app::WtdOf("game", entry).parent_path(),
                  "every new file lies beside its fonts.wtd");
  } catch (const common::ResultException& e) {
    fuzz::CheckRefusal(e, {app::kJournalDamaged});
  }
  return 0;
}
