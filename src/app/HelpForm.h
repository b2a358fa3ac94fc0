#pragma once
// THelpForm: the quick-start guide, shown modally by the main window's help button. A fresh
// window is built for every showing, so the guide always starts at its top.

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;

namespace pennacrow {

class THtmlTextView;

class THelpForm : public QDialog {
  Q_OBJECT
 public:
  explicit THelpForm(QWidget* owner = nullptr);
  ~THelpForm() override;

  void Button1Click();

  QWidget* Panel1 = nullptr;
  QLabel* Panel3 = nullptr;
  QPushButton* Button1 = nullptr;
  THtmlTextView* t = nullptr;
};

// The guide's stored lines; each ends with one blank, and they are joined with nothing between.
// Its links point at the program's own documents in documentDir.
QStringList HelpGuideLines(const QString& documentDir);
// The guide as the running program shows it, with its links into HelpDocumentDir.
QStringList HelpGuideLines();

// Where the documents the guide links to are: share/doc/pennacrow under the prefix of the
// program in programDir when it is installed there, else doc/ beside a program in its build
// tree. The installed place when neither holds them.
QString HelpDocumentDir(const QString& programDir);

// The help window while it is open, else null. Not an owner: the command that opens the
// window frees it.
extern THelpForm* HelpForm;

}  // namespace pennacrow
