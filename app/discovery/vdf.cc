#include "app/discovery/vdf.h"

namespace app {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

enum class TokenKind { End, Open, Close, Text, Invalid };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;
  bool conditional = false;  ///< "[$WIN32]"-style platform tag
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipBlanksAndComments();
    if (pos_ >= text_.size()) return {TokenKind::End};
    char c = text_[pos_];
    if (c == '{') return ++pos_, Token{TokenKind::Open};
    if (c == '}') return ++pos_, Token{TokenKind::Close};
    if (c == '"') return Quoted();
    return Bare();
  }

 private:
  void SkipBlanksAndComments() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        std::size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      } else {
        return;
      }
    }
  }

  Token Quoted() {
    Token token{TokenKind::Text};
    ++pos_;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return token;
      if (c == '\\' && pos_ < text_.size()) {
        char e = text_[pos_++];
        switch (e) {
          case 'n':
            token.text += '\n';
            break;
          case 't':
            token.text += '\t';
            break;
          case '\\':
            token.text += '\\';
            break;
          case '"':
            token.text += '"';
            break;
          default:  // not an escape: both characters stay
            token.text += '\\';
            token.text += e;
        }
        continue;
      }
      token.text += c;
    }
    return {TokenKind::Invalid};  // unterminated
  }

  Token Bare() {
    Token token{TokenKind::Text};
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' ||
          c == '}' || c == '"')
        break;
      token.text += c;
      ++pos_;
    }
    token.conditional = token.text.size() >= 2 && token.text.front() == '[' &&
                        token.text.back() == ']';
    return token;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : tokens_(text) { Advance(); }

  // Entries up to the closing brace (or the end, at the top level).
  bool ParseEntries(VdfNode& block, int depth) {
    if (depth > kVdfMaxDepth) return false;
    for (;;) {
      if (current_.kind == TokenKind::End) return depth == 0;
      if (current_.kind == TokenKind::Close) {
        if (depth == 0) return false;
        Advance();
        return true;
      }
      if (current_.kind != TokenKind::Text || current_.conditional)
        return false;
      VdfNode node;
      node.key = std::move(current_.text);
      Advance();
      if (current_.kind == TokenKind::Open) {
        node.isBlock = true;
        Advance();
        if (!ParseEntries(node, depth + 1)) return false;
      } else if (current_.kind == TokenKind::Text && !current_.conditional) {
        node.value = std::move(current_.text);
        Advance();
      } else {
        return false;
      }
      SkipConditional();
      block.children.push_back(std::move(node));
    }
  }

 private:
  void Advance() { current_ = tokens_.Next(); }
  void SkipConditional() {
    if (current_.kind == TokenKind::Text && current_.conditional) Advance();
  }

  Tokenizer tokens_;
  Token current_;
};

}  // namespace

const VdfNode* VdfNode::Find(std::string_view childKey) const {
  for (const VdfNode& child : children)
    if (EqualsIgnoringCase(child.key, childKey)) return &child;
  return nullptr;
}

std::optional<std::string> VdfNode::ValueOf(std::string_view childKey) const {
  for (const VdfNode& child : children)
    if (!child.isBlock && EqualsIgnoringCase(child.key, childKey))
      return child.value;
  return std::nullopt;
}

std::optional<VdfNode> ParseVdf(std::string_view text) {
  VdfNode root;
  root.isBlock = true;
  Parser parser(text);
  if (!parser.ParseEntries(root, 0)) return std::nullopt;
  return root;
}

}  // namespace app
