#pragma once
// The modal dialogs the windows use: file dialogs, the password input box and message boxes.
// The windows reach them only through this interface, so tests replace it and every command
// runs without a modal dialog.

#include <QString>
#include <QStringList>
#include <optional>

class QFileDialog;
class QWidget;

namespace pennacrow {

struct TFileDialogRequest {
  QString Caption;
  QString Filter;       // "description|pattern|description|pattern..."
  QString DefaultExt;   // without the dot, "" for none
  QString FileName;     // pre-filled name
  int FilterIndex = 0;  // the filter chosen at first (0 for the first)
  // A preview pane beside the list, where the dialog is our own; the platform's dialog shows
  // its own preview or none, and the main window shows the picture once it is chosen.
  bool PicturePreview = false;
};

// The answers to the question asked before closing with work that was not saved.
enum class TUnsavedAnswer { Save, Discard, Cancel };

class TUserInterface {
 public:
  virtual ~TUserInterface() = default;
  virtual std::optional<QString> OpenFile(QWidget* parent, const TFileDialogRequest& request) = 0;
  // chosenFilter, when given, receives the index of the filter the user chose (0 for the first).
  virtual std::optional<QString> SaveFile(QWidget* parent, const TFileDialogRequest& request,
                                          int* chosenFilter) = 0;
  // The single-line input box; nullopt when the user did not confirm.
  virtual std::optional<QString> InputBox(QWidget* parent, const QString& caption,
                                          const QString& prompt, int maxLength) = 0;
  // The same with the typed characters hidden, for passwords.
  virtual std::optional<QString> PasswordBox(QWidget* parent, const QString& caption,
                                             const QString& prompt) = 0;
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // A question with OK and Cancel, Cancel the default; true for OK.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
  // A question with Yes and No, No the default; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
  // Save, discard or cancel, Save the default.
  virtual TUnsavedAnswer AskUnsaved(QWidget* parent, const QString& text) = 0;
};

// The real dialogs.
TUserInterface& DefaultUserInterface();

// A message's text with break opportunities in long runs of Latin letters, digits and path
// separators, so a message box wraps it by the line breaking rules (never before a full stop).
QString WithBreakOpportunities(const QString& text);

// "desc|pattern|desc|pattern" as Qt's filter list, one "desc (pattern pattern...)" per choice.
QStringList ToQtFilter(const QString& filter);

// Sets a file dialog up for a request. The dialog is the platform's where there is one (the
// desktop's own, or the file chooser portal inside a sandbox), which can reach files that
// ours could not; the picture preview joins ours only.
void PrepareFileDialog(QFileDialog& dialog, const TFileDialogRequest& request);

}  // namespace pennacrow
