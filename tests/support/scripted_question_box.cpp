#include "tests/support/scripted_question_box.h"

#include <mutex>

#include "platform/question_box.h"

namespace testing_support {
namespace {

std::mutex g_lock;
int g_answer = platform::kAnswerNo;
std::vector<AskedQuestion> g_asked;
std::function<void()> g_probe;

}  // namespace

void SetQuestionBoxAnswer(int answer) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_answer = answer;
}

void SetQuestionBoxProbe(std::function<void()> probe) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_probe = std::move(probe);
}

std::vector<AskedQuestion> TakeAskedQuestions() {
  std::lock_guard<std::mutex> hold(g_lock);
  std::vector<AskedQuestion> asked;
  asked.swap(g_asked);
  return asked;
}

}  // namespace testing_support

int platform::AskYesNo(const wchar_t* text, const wchar_t* caption) {
  std::function<void()> probe;
  {
    std::lock_guard<std::mutex> hold(testing_support::g_lock);
    testing_support::g_asked.push_back({text, caption});
    probe = testing_support::g_probe;
  }
  if (probe)
    probe();
  std::lock_guard<std::mutex> hold(testing_support::g_lock);
  return testing_support::g_answer;
}
