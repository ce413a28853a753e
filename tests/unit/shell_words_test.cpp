// Shell-style word splitting: quotes and escapes as a POSIX shell reads them,
// nothing expanded, nothing with a meaning of its own.
#include <gtest/gtest.h>

#include "platform/ShellWords.h"

namespace tarvexa {
namespace {

struct Case {
  const char* text;
  std::vector<std::string> words;
};

TEST(ShellWords, SplitsLikeAShellWithoutExpanding) {
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"lame -V2 - %of%", {"lame", "-V2", "-", "%of%"}},
      {"  a   b  ", {"a", "b"}},
      {"'My Music/a b.mp3'", {"My Music/a b.mp3"}},
      {"\"it's\" 'say \"hi\"'", {"it's", "say \"hi\""}},
      {"a\\ b c", {"a b", "c"}},
      {"\"a\\\"b\\\\c\\$d\\x\"", {"a\"b\\c$d\\x"}},
      {"'' \"\" x", {"", "", "x"}},
      {"pre'fix 'post\"mid\"dle", {"prefix postmiddle"}},
      {"$HOME ~ *.mp3 `id` $(id)", {"$HOME", "~", "*.mp3", "`id`", "$(id)"}},
      {"Rock;rm -rf ~|x&y>z", {"Rock;rm", "-rf", "~|x&y>z"}},
      {"line\\\njoined", {"linejoined"}},
  };
  for (const Case& c : cases) {
    ShellWords w = SplitShellWords(c.text);
    EXPECT_TRUE(w.ok) << c.text;
    EXPECT_EQ(w.words, c.words) << c.text;
  }
}

TEST(ShellWords, RefusesUnterminatedText) {
  for (const char* text : {"'open", "a \"open", "trailing\\"}) {
    ShellWords w = SplitShellWords(text);
    EXPECT_FALSE(w.ok) << text;
    EXPECT_FALSE(w.error.empty()) << text;
  }
}

}  // namespace
}  // namespace tarvexa
