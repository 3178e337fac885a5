// The one way the program speaks to the user: a modal message with the title
// "Karstel", a text, an OK button and one of three icons. The dialog shows a
// task dialog, the command line prints to the terminal, tests record.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace app {

/// The title of every message.
inline constexpr std::string_view kMessageTitle = "Karstel";

/// Warning: incomplete or invalid choices. Information: success. Error: a
/// failed generation or preview.
enum class MessageIcon { Warning, Information, Error };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  /// Shows `text` (UTF-8; "\n" breaks the line) and returns once the user
  /// has closed it.
  virtual void ShowMessage(MessageIcon icon, std::string_view text) = 0;
};

/// Messages owned by a window: a task dialog on Windows (ownerWindow is the
/// main dialog's HWND); the terminal elsewhere.
std::unique_ptr<MessageSink> MakeWindowMessageSink(void* ownerWindow);

/// Prints "Karstel: 警告: text" lines: information on `out`, warnings and
/// errors on `err`.
class TerminalMessageSink final : public MessageSink {
 public:
  TerminalMessageSink(std::ostream& out, std::ostream& err)
      : out_(out), err_(err) {}
  void ShowMessage(MessageIcon icon, std::string_view text) override;

 private:
  std::ostream& out_;
  std::ostream& err_;
};

/// Keeps every message, in order.
class RecordingMessageSink final : public MessageSink {
 public:
  struct Message {
    MessageIcon icon;
    std::string text;
    bool operator==(const Message&) const = default;
  };
  void ShowMessage(MessageIcon icon, std::string_view text) override {
    messages.push_back({icon, std::string(text)});
  }
  std::vector<Message> messages;
};

}  // namespace app
