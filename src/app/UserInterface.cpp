#include "app/UserInterface.h"

#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/Language.h"
#include "app/PicturePreview.h"

namespace pennacrow {

QStringList ToQtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    // Qt reads the patterns from the last parentheses, space-separated, and matches them by
    // case on Linux; the upper-case twin of each pattern lets "PHOTO.JPG" show as well. The
    // dialog hides that parenthesis, so the user sees the description as it stands.
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      patterns << pattern;
      if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
    }
    out << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return out;
}

QString WithBreakOpportunities(const QString& text) {
  // A message box that meets a "word" wider than the screen (a long path, a run of digits)
  // gives up on line breaking rules and breaks anywhere, even before a full stop. Zero-width
  // spaces after a path's separators and every 16 characters of a long run give the line
  // breaker places of its own, so the rules stay in force.
  constexpr int kLongestRun = 16;
  const QChar zeroWidthSpace(0x200B);
  QString out;
  out.reserve(text.size() + text.size() / 8);
  int run = 0;
  for (const QChar c : text) {
    out += c;
    const bool latin = c.unicode() < 0x2E80 && !c.isSpace();
    run = latin ? run + 1 : 0;
    if (latin && (c == '/' || c == '\\' || c == '_' || run >= kLongestRun)) {
      out += zeroWidthSpace;
      run = 0;
    }
  }
  return out;
}

namespace {

// Message boxes are as wide as their text needs; a short text would leave too little room for
// the window manager to show the whole title beside its buttons.
void PrepareMessageBox(QMessageBox& box) {
  box.setText(WithBreakOpportunities(box.text()));
  constexpr int kTitleButtons = 160;
  const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleButtons;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

// A one-line input box in the program's language, its text shown or hidden.
void PrepareInputDialog(QInputDialog& dialog, const QString& caption, const QString& prompt,
                        QLineEdit::EchoMode echo) {
  dialog.setWindowTitle(caption);
  dialog.setLabelText(prompt);
  dialog.setTextEchoMode(echo);
  dialog.setOkButtonText(QTr("确定"));
  dialog.setCancelButtonText(QTr("取消"));
}

class TQtUserInterface : public TUserInterface {
 public:
  std::optional<QString> OpenFile(QWidget* parent, const TFileDialogRequest& request) override {
    QFileDialog dialog(parent, request.Caption);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    PrepareFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }

  std::optional<QString> SaveFile(QWidget* parent, const TFileDialogRequest& request,
                                  int* chosenFilter) override {
    QFileDialog dialog(parent, request.Caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareFileDialog(dialog, request);
    // A name typed without an extension gets the chosen filter's, so that the dialog's own
    // overwrite question is about the file that will be written.
    const QStringList filters = ToQtFilter(request.Filter);
    const auto suffixFor = [&request](const QString& filter) {
      const qsizetype star = filter.lastIndexOf("(*.");
      const qsizetype end = filter.indexOf(' ', star);
      QString suffix =
          star < 0 ? request.DefaultExt : filter.mid(star + 3, end < 0 ? -1 : end - star - 3);
      suffix.remove(')');
      return (suffix == "*" ? request.DefaultExt : suffix).toLower();
    };
    dialog.setDefaultSuffix(suffixFor(dialog.selectedNameFilter()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, suffixFor](const QString& filter) {
                       dialog.setDefaultSuffix(suffixFor(filter));
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (chosenFilter != nullptr) {
      *chosenFilter =
          static_cast<int>(std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())));
    }
    return dialog.selectedFiles().first();
  }

  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  int maxLength) override {
    QInputDialog dialog(parent);
    PrepareInputDialog(dialog, caption, prompt, QLineEdit::Normal);
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().left(maxLength);
  }

  std::optional<QString> PasswordBox(QWidget* parent, const QString& caption,
                                     const QString& prompt) override {
    QInputDialog dialog(parent);
    PrepareInputDialog(dialog, caption, prompt, QLineEdit::Password);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue();
  }

  void ShowMessage(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, QApplicationName(), text, QMessageBox::Ok, parent);
    PrepareMessageBox(box);
    box.exec();
  }

  bool Confirm(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Warning, QApplicationName(), text,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    PrepareMessageBox(box);
    box.button(QMessageBox::Ok)->setText(QTr("确定"));
    box.button(QMessageBox::Cancel)->setText(QTr("取消"));
    // Every such question warns of a loss: Enter must not be the way into it.
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
  }

  bool AskYesNo(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Question, QApplicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    PrepareMessageBox(box);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QTr("是"));
    box.button(QMessageBox::No)->setText(QTr("否"));
    return box.exec() == QMessageBox::Yes;
  }

  TUnsavedAnswer AskUnsaved(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Warning, QApplicationName(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    PrepareMessageBox(box);
    box.setDefaultButton(QMessageBox::Save);
    box.button(QMessageBox::Save)->setText(QTr("保存"));
    box.button(QMessageBox::Discard)->setText(QTr("不保存"));
    box.button(QMessageBox::Cancel)->setText(QTr("取消"));
    switch (box.exec()) {
      case QMessageBox::Save:
        return TUnsavedAnswer::Save;
      case QMessageBox::Discard:
        return TUnsavedAnswer::Discard;
      default:
        return TUnsavedAnswer::Cancel;
    }
  }

 private:
  static QString QApplicationName() { return QStringLiteral("Pennacrow"); }
};

// Adds the preview pane when the dialog shows as ours. Whether the platform's dialog takes over
// is only settled when the dialog shows (a platform dialog that fails falls back to ours).
class TPreviewWhenOurs : public QObject {
 public:
  explicit TPreviewWhenOurs(QFileDialog& dialog) : QObject(&dialog), FDialog(dialog) {
    dialog.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &FDialog && event->type() == QEvent::Show && !FAttached &&
        FDialog.layout() != nullptr) {
      FAttached = true;
      AttachPicturePreview(FDialog);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QFileDialog& FDialog;
  bool FAttached = false;
};

}  // namespace

void PrepareFileDialog(QFileDialog& dialog, const TFileDialogRequest& request) {
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = ToQtFilter(request.Filter);
  dialog.setNameFilters(filters);
  if (request.FilterIndex > 0 && request.FilterIndex < filters.size()) {
    dialog.selectNameFilter(filters[request.FilterIndex]);
  }
  // Linux names are case-sensitive and written in lower case: "photo" becomes "photo.bmp".
  if (!request.DefaultExt.isEmpty()) dialog.setDefaultSuffix(request.DefaultExt.toLower());
  if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
  if (request.PicturePreview) new TPreviewWhenOurs(dialog);
}

TUserInterface& DefaultUserInterface() {
  static TQtUserInterface ui;
  return ui;
}

}  // namespace pennacrow
