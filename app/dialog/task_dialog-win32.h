// The messages of the dialog program, owned by the main dialog.
#pragma once

#include <windows.h>

#include <memory>

#include "app/message.h"

namespace app {

/// A task dialog owned by `owner`: title "Karstel", the text, one OK button,
/// the icon of the kind, and the details behind "详细信息". Under Wine or
/// Proton, where the system's message font would draw the text as boxes, a
/// window of the program's own in `chineseFont` (when not null) shows it
/// instead.
std::unique_ptr<MessageSink> MakeWindowMessageSink(HWND owner,
                                                   HFONT chineseFont);

}  // namespace app
