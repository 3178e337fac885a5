#include <iostream>

#include "app/message.h"

namespace app {

// No windows here: the terminal shows the message.
std::unique_ptr<MessageSink> MakeWindowMessageSink(void*) {
  return std::make_unique<TerminalMessageSink>(std::cout, std::cerr);
}

}  // namespace app
