#include "app/message.h"

#include <algorithm>

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
                                      std::string_view details) {
  std::ostream& stream = icon == MessageIcon::Information ? out_ : err_;
  // The command line's one prefix, as on its other lines, on every line;
  // the details follow the text on the same stream.
  stream << "karstel: " << IconLabel(icon) << ": ";
  bool first = true;
  for (std::string_view part : {text, details}) {
    for (std::size_t start = 0; start < part.size();) {
      std::size_t end = std::min(part.find('\n', start), part.size());
      if (!first) stream << "karstel: ";
      stream << part.substr(start, end - start) << "\n";
      first = false;
      start = end + 1;
    }
  }
  if (first) stream << "\n";
  stream.flush();
}

}  // namespace app
