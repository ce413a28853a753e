#include "platform/ShellWords.h"

namespace tarvexa {

ShellWords SplitShellWords(const std::string& text) {
  ShellWords out;
  std::string word;
  bool inWord = false;  // a word has begun (also an empty one: "" or '')
  enum { Plain, Single, Double } mode = Plain;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (mode) {
      case Plain:
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
          if (inWord) out.words.push_back(std::move(word));
          word.clear();
          inWord = false;
        } else if (c == '\'') {
          mode = Single;
          inWord = true;
        } else if (c == '"') {
          mode = Double;
          inWord = true;
        } else if (c == '\\') {
          if (i + 1 >= text.size()) {
            out.ok = false;
            out.error = "The text ends with a backslash.";
            return out;
          }
          const char next = text[++i];
          if (next != '\n') word += next;  // backslash-newline joins lines
          inWord = true;
        } else {
          word += c;
          inWord = true;
        }
        break;
      case Single:
        if (c == '\'')
          mode = Plain;
        else
          word += c;
        break;
      case Double:
        if (c == '"') {
          mode = Plain;
        } else if (c == '\\' && i + 1 < text.size() &&
                   (text[i + 1] == '"' || text[i + 1] == '\\' || text[i + 1] == '$' ||
                    text[i + 1] == '`')) {
          word += text[++i];
        } else {
          word += c;
        }
        break;
    }
  }
  if (mode != Plain) {
    out.ok = false;
    out.error = mode == Single ? "A single quote is not closed." : "A double quote is not closed.";
    return out;
  }
  if (inWord) out.words.push_back(std::move(word));
  return out;
}

}  // namespace tarvexa
