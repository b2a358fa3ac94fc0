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
  std::vector<TFileDialogRequest> FileRequests;
  std::vector<QString> Messages;
  std::vector<QString> Confirmations;

  std::optional<QString> OpenFile(QWidget*, const TFileDialogRequest& request) override {
    return NextFile(request);
  }
  std::optional<QString> SaveFile(QWidget*, const TFileDialogRequest& request) override {
    return NextFile(request);
  }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString&, int) override {
    if (InputAnswers.empty()) return std::nullopt;
    auto answer = InputAnswers.front();
    InputAnswers.pop_front();
    return answer;
  }
  std::optional<QString> PasswordBox(QWidget*, const QString&, const QString&) override {
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

 private:
  std::optional<QString> NextFile(const TFileDialogRequest& request) {
    FileRequests.push_back(request);
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
  }
};

}  // namespace pennacrow::test
