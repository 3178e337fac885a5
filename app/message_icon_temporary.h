// TEMPORARY: stands in for app/message.h until the generation branch lands
// in main; delete it then and include app/message.h instead.
#pragma once

namespace app {
enum class MessageIcon { Warning, Information, Error };
}  // namespace app
