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
                                      std::string_view) {
  std::ostream& stream = icon == MessageIcon::Information ? out_ : err_;
  // The command line's one prefix, as on its other lines, on every line.
  stream << "karstel: " << IconLabel(icon) << ": ";
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    if (start > 0) stream << "karstel: ";
    stream << text.substr(start, end - start) << "\n";
    start = end + 1;
  }
  if (text.empty()) stream << "\n";
  stream.flush();
}

}  // namespace app
