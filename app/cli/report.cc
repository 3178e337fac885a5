#include <string>

#include "app/cli/command.h"
#include "app/failure_text.h"
#include "app/generation.h"
#include "common/result.h"
#include "common/text.h"

namespace app {

int ReportFailure(const CommandContext& context, const std::string& what) {
  HRESULT hr = LOG_CAUGHT_EXCEPTION();
  // The failure's own words say more than the code's, where it has them.
  std::string detail = common::CaughtMessage();
  context.err << "karstel: 错误: " << what << ": "
              << (detail.empty() ? ReasonText(hr) : detail) << " ("
              << CodeText(hr) << ")\n";
  return kExitError;
}

void PrintFailureCause(std::ostream& err, const GenerationFailure& failure) {
  err << "karstel: 原因: " << failure.step;
  if (!failure.file.empty()) err << " " << common::PathToUtf8(failure.file);
  // Every cause in the program's own words: the system's text is English
  // on Linux and says no more than the code.
  err << ": "
      << (failure.detail.empty() ? ReasonText(failure.hr) : failure.detail)
      << " (" << CodeText(failure.hr) << ")\n";
  std::string remedy = RemedyText(failure.hr, failure.file);
  if (!remedy.empty()) err << "karstel: " << remedy << "\n";
  err << "karstel: " << ChangedText(failure) << "\n";
}

}  // namespace app
