#include "app/message.h"

namespace app {
namespace {

std::string_view IconLabel(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return "警告";
    case MessageIcon::Information:
      return "信息";
    case MessageIcon::Error:
      return "错误";
  }
  return "";
}

}  // namespace

void TerminalMessageSink::ShowMessage(MessageIcon icon, std::string_view text,
                                      std::string_view) {
  std::ostream& stream = icon == MessageIcon::Information ? out_ : err_;
  // The command line's one prefix, as on its other lines.
  stream << "karstel: " << IconLabel(icon) << ": " << text << "\n";
  stream.flush();
}

}  // namespace app
