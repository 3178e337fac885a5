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
  /// has closed it. `details`, when not empty, says more: why a command
  /// failed and what to do; the dialog shows it in a part the user opens.
  virtual void ShowMessage(MessageIcon icon, std::string_view text,
                           std::string_view details) = 0;
  void ShowMessage(MessageIcon icon, std::string_view text) {
    ShowMessage(icon, text, {});
  }
};

/// Prints "Karstel: 警告: text" lines: information on `out`, warnings and
/// errors on `err`.
class TerminalMessageSink final : public MessageSink {
 public:
  TerminalMessageSink(std::ostream& out, std::ostream& err)
      : out_(out), err_(err) {}
  using MessageSink::ShowMessage;
  /// Every line of the text, then of the details, after "karstel: ".
  void ShowMessage(MessageIcon icon, std::string_view text,
                   std::string_view details) override;

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
    bool operator==(const Message& other) const {
      return icon == other.icon && text == other.text;
    }
  };
  using MessageSink::ShowMessage;
  void ShowMessage(MessageIcon icon, std::string_view text,
                   std::string_view detailText) override {
    messages.push_back({icon, std::string(text)});
    details.emplace_back(detailText);
  }
  std::vector<Message> messages;
  /// The details of each message, in the same order.
  std::vector<std::string> details;
};

}  // namespace app
