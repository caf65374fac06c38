#include "platform/posix/command_line.h"

namespace platform::posix {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line) {
  std::vector<std::wstring> words;
  const std::size_t size = command_line.size();
  std::size_t i = 0;

  // The program name: no backslash rules apply to it.
  std::wstring program;
  if (i < size && command_line[i] == L'"') {
    ++i;
    while (i < size && command_line[i] != L'"')
      program += command_line[i++];
    if (i < size)
      ++i;  // the closing quote
  } else {
    while (i < size && !IsBlank(command_line[i]))
      program += command_line[i++];
  }
  words.push_back(program);

  while (true) {
    while (i < size && IsBlank(command_line[i]))
      ++i;
    if (i >= size)
      break;
    std::wstring word;
    bool quoted = false;
    while (i < size) {
      const wchar_t c = command_line[i];
      if (c == L'\\') {
        std::size_t backslashes = 0;
        while (i < size && command_line[i] == L'\\')
          ++backslashes, ++i;
        if (i < size && command_line[i] == L'"') {
          word.append(backslashes / 2, L'\\');
          if (backslashes % 2 == 1) {
            word += L'"';
            ++i;
          }
          // An even count leaves the quote to the next round, where it opens or closes.
        } else {
          word.append(backslashes, L'\\');
        }
        continue;
      }
      if (c == L'"') {
        if (quoted && i + 1 < size && command_line[i + 1] == L'"') {
          word += L'"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (IsBlank(c) && !quoted)
        break;
      word += c;
      ++i;
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace platform::posix
