// The words for a failure: a short Chinese reason for each code the program
// meets, the code itself, and for the common causes what the player can do.
// The command line prints them after its error line; the dialog puts them
// in the details of its one fixed error message.
#pragma once

#include <string>

#include "common/file_system.h"
#include "common/hresult.h"

namespace app {

struct GenerationFailure;

/// "拒绝访问", "磁盘空间不足", ...; "出现错误" for a code without words.
std::string ReasonText(HRESULT hr);

/// "0x80070005".
std::string CodeText(HRESULT hr);

/// What the player can do about `hr` met on `file`, or nothing: run as
/// administrator under Program Files, quit the game, free disk space,
/// restore a damaged fonts.wtd.
std::string RemedyText(HRESULT hr, const common::Path& file);

/// What a failed generation changed: "没有更改任何游戏文件。" when every
/// file is as it was before the run, else which variants still hold the
/// run's new file and where their earlier one is kept.
std::string ChangedText(const GenerationFailure& failure);

/// Step, file, reason (the failure's own words when it has them), code and
/// remedy, one per line, for the details of the dialog's error message.
std::string FailureDetails(const GenerationFailure& failure);

}  // namespace app
