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

}  // namespace app
