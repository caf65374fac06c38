// Stands in for the question box at link time: it records what was asked and answers as told.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct AskedQuestion {
  std::wstring text;
  std::wstring caption;
};

// The answer the next questions get (default: No).
void SetQuestionBoxAnswer(int answer);
// Runs `probe` each time a question is asked, before it is answered (empty: nothing).
void SetQuestionBoxProbe(std::function<void()> probe);
// Everything asked since the last call, oldest first; forgets it.
std::vector<AskedQuestion> TakeAskedQuestions();

}  // namespace testing_support
