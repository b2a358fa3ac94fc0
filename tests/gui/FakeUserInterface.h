#pragma once
// A user interface whose dialogs answer from queues and whose message boxes are recorded, so
// that every command runs in a test without a modal dialog.

#include <deque>
#include <optional>
#include <vector>

#include "app/UserInterface.h"

namespace pennacrow::test {

class TFakeUserInterface : public TUserInterface {
 public:
  std::deque<std::optional<QString>> FileAnswers;   // open and save dialogs, in turn
  std::deque<std::optional<QString>> InputAnswers;  // input boxes
  std::deque<std::optional<QString>> PasswordAnswers;
  std::deque<bool> ConfirmAnswers;
  std::deque<bool> YesNoAnswers;              // unanswered: No, the default
  std::deque<TUnsavedAnswer> UnsavedAnswers;  // unanswered: Cancel
  std::deque<int> FilterAnswers;              // save dialogs' chosen filter; unanswered: 0
  std::vector<QString> Questions;
  std::vector<QString> PasswordPrompts;
  std::vector<TFileDialogRequest> FileRequests;
  std::vector<QString> Messages;
  std::vector<QString> Confirmations;

  std::optional<QString> OpenFile(QWidget*, const TFileDialogRequest& request) override {
    return NextFile(request);
  }
  std::optional<QString> SaveFile(QWidget*, const TFileDialogRequest& request,
                                  int* chosenFilter) override {
    const int filter = FilterAnswers.empty() ? 0 : FilterAnswers.front();
    if (!FilterAnswers.empty()) FilterAnswers.pop_front();
    if (chosenFilter != nullptr) *chosenFilter = filter;
    return NextFile(request);
  }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString&, int) override {
    if (InputAnswers.empty()) return std::nullopt;
    auto answer = InputAnswers.front();
    InputAnswers.pop_front();
    return answer;
  }
  std::optional<QString> PasswordBox(QWidget*, const QString&, const QString& prompt) override {
    PasswordPrompts.push_back(prompt);
    if (PasswordAnswers.empty()) return std::nullopt;
    auto answer = PasswordAnswers.front();
    PasswordAnswers.pop_front();
    return answer;
  }
  void ShowMessage(QWidget*, const QString& text) override { Messages.push_back(text); }
  bool Confirm(QWidget*, const QString& text) override {
    Confirmations.push_back(text);
    if (ConfirmAnswers.empty()) return false;
    const bool answer = ConfirmAnswers.front();
    ConfirmAnswers.pop_front();
    return answer;
  }

  bool AskYesNo(QWidget*, const QString& text) override {
    Questions.push_back(text);
    return Next(YesNoAnswers, false);
  }
  TUnsavedAnswer AskUnsaved(QWidget*, const QString& text) override {
    Questions.push_back(text);
    return Next(UnsavedAnswers, TUnsavedAnswer::Cancel);
  }

 private:
  template <typename T>
  static T Next(std::deque<T>& answers, T fallback) {
    if (answers.empty()) return fallback;
    const T answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<QString> NextFile(const TFileDialogRequest& request) {
    FileRequests.push_back(request);
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }
};

}  // namespace pennacrow::test
