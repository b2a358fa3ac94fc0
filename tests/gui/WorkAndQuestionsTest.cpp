// What the main window asks before work is lost, the work it hands to the worker thread, light
// and dark themes, and names for screen readers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDBusVariant>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "FormTest.h"
#include "app/AnalysisForm.h"
#include "app/ColourScheme.h"
#include "app/EncryptForm.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "app/PictureView.h"
#include "app/UserInterface.h"
#include "controls/Contrast.h"
#include "controls/FlatButton.h"
#include "controls/HtmlTextView.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

class WorkAndQuestions : public test::TFormTest {
 protected:
  void SavePicture(const char* name, int width, int height) {
    TBitmap bitmap(width, height, 24);
    std::uint8_t value = 0;
    for (std::uint8_t& b : bitmap.MutableBits()) b = value += 29;
    bitmap.SaveToFile(Path(name).toStdString());
  }
  // A fresh window holding a 40 x 30 picture with a write that was not saved.
  void UnsavedWrite() {
    Form = std::make_unique<TPennacrowForm>(Ui);
    Ui = {};
    SavePicture("written.bmp", 40, 30);
    Form->LoadPicture(Path("written.bmp"));
    Form->TextData->SetText("not saved yet");
    Form->FlatButton6Click();
    ASSERT_TRUE(Form->HasUnsavedWrite());
  }
};

TEST_F(WorkAndQuestions, EveryCommandThatReplacesThePictureAsksFirst) {
  SavePicture("other.bmp", 24, 16);
  // Each command replaces the 40 x 30 picture by a 24 x 16 one, or by a 64 x 48 fractal.
  const std::function<void()> commands[] = {
      [this] {
        Ui.FileAnswers.push_front(Path("other.bmp"));
        Form->FlatButton1->click();
      },
      [this] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Path("other.bmp"))});
        // As a drag does it: the drop goes where the drag's entry was accepted.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &drop);
      },
      [this] {
        Form->Picture().ControlWidth = 64;
        Form->Picture().ControlHeight = 48;
        Form->ImagePopup->actions()[2]->trigger();
      },
  };
  const struct {
    TUnsavedAnswer Answer;
    std::optional<QString> SaveAs;  // the save dialog's answer
    bool Replaced;
    bool Saved;
  } answers[] = {
      {TUnsavedAnswer::Cancel, std::nullopt, false, false},
      {TUnsavedAnswer::Discard, std::nullopt, true, false},
      {TUnsavedAnswer::Save, Path("kept.png"), true, true},
      {TUnsavedAnswer::Save, std::nullopt, false, false},  // the save dialog was cancelled
  };
  for (const auto& run : commands) {
    for (const auto& a : answers) {
      SCOPED_TRACE(testing::Message()
                   << "command " << (&run - commands) << " answer " << int(a.Answer));
      std::filesystem::remove(Path("kept.png").toStdString());
      UnsavedWrite();
      Ui.UnsavedAnswers = {a.Answer};
      Ui.FileAnswers = {a.SaveAs};
      run();
      ASSERT_EQ(Ui.Questions.size(), 1u);
      EXPECT_EQ(Form->Picture().PictureWidth() != 40, a.Replaced);
      EXPECT_EQ(std::filesystem::exists(Path("kept.png").toStdString()), a.Saved);
      // The flag went with the picture it described; what stays keeps its own.
      EXPECT_EQ(Form->HasUnsavedWrite(), !a.Replaced && !a.Saved);
      Form->show();
      Ui.UnsavedAnswers = {TUnsavedAnswer::Discard};
      Form->FlatButton8Click();
      EXPECT_EQ(Ui.Questions.size(), a.Replaced || a.Saved ? 1u : 2u);
    }
  }
}

TEST_F(WorkAndQuestions, TheAnalysisRunsOnTheWorkerAndStopsWhenAsked) {
  SavePicture("photo.bmp", 1600, 1200);
  Form->LoadPicture(Path("photo.bmp"));
  QAction* analysis = Form->findChild<QAction*>("AnalysisMenuItem");
  QSignalSpy busy(Form.get(), &TPennacrowForm::BusyChanged);
  int ticksWhileBusy = 0;
  bool commandsWaited = true;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (!Form->IsBusy()) return;
    ++ticksWhileBusy;
    commandsWaited = commandsWaited && !Form->FlatButton1->isEnabled() &&
                     !Form->FlatButton6->isEnabled() && !Form->close();
  });
  ticker.start(1);
  analysis->trigger();
  ticker.stop();
  EXPECT_GT(ticksWhileBusy, 0);
  EXPECT_TRUE(commandsWaited);
  EXPECT_EQ(busy.size(), 2);
  ASSERT_NE(Form->findChild<TAnalysisForm*>(), nullptr);
  delete Form->findChild<TAnalysisForm*>();

  // The button and Esc ask it to stop as soon as it starts: no report, no message, no cursor.
  auto* escape = Form->findChild<QAction*>("StopAction");
  ASSERT_TRUE(escape != nullptr && escape->shortcut() == QKeySequence(Qt::Key_Escape));
  EXPECT_FALSE(escape->isEnabled());
  for (QObject* stop : std::initializer_list<QObject*>{Form->StopButton, escape}) {
    auto started = QObject::connect(Form.get(), &TPennacrowForm::BusyChanged, [stop](bool on) {
      if (on) QMetaObject::invokeMethod(stop, qobject_cast<QAction*>(stop) ? "trigger" : "click");
    });
    analysis->trigger();
    QObject::disconnect(started);
    EXPECT_EQ(Form->findChild<TAnalysisForm*>(), nullptr);
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_FALSE(Form->IsBusy());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
}

TEST_F(WorkAndQuestions, PrintingToAFileNeverReplacesOneAndSaysWhereItWent) {
  SavePicture("picture.bmp", 40, 20);
  Form->LoadPicture(Path("picture.bmp"));
  auto print = [this] {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(Path("print.pdf"));
    Form->Printers().Use(std::move(printer));
    Form->PrintAtScale(50);
  };
  std::ofstream(Path("print.pdf").toStdString()) << "the user's notes";
  // A link that leads nowhere is taken too: printing to it would create its target.
  std::filesystem::create_symlink(Path("nowhere").toStdString(),
                                  Path("print (2).pdf").toStdString());
  for (const char* name : {"print (3).pdf", "print (4).pdf"}) {
    print();
    EXPECT_TRUE(std::filesystem::exists(Path(name).toStdString())) << name;
    EXPECT_TRUE(!Ui.Messages.empty() && Ui.Messages.back().contains(name)) << name;
  }
  std::ifstream notes(Path("print.pdf").toStdString());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "the user's notes");
  EXPECT_FALSE(std::filesystem::exists(Path("nowhere").toStdString()));
}

// The real message boxes: Enter answers with the choice that loses nothing.
TEST(Questions, EnterChoosesTheSafeAnswer) {
  auto pressEnterInTheBox = [] {
    QTimer::singleShot(0, [] {
      if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Return);
    });
  };
  TUserInterface& ui = DefaultUserInterface();
  pressEnterInTheBox();
  EXPECT_FALSE(ui.Confirm(nullptr, "empty password?"));
  pressEnterInTheBox();
  EXPECT_FALSE(ui.AskYesNo(nullptr, "read junk?"));
  pressEnterInTheBox();
  EXPECT_EQ(ui.AskUnsaved(nullptr, "save first?"), TUnsavedAnswer::Save);
}

TEST(ColourScheme, ThePortalsAnswerDecidesOnlyAgainstALightPlatformPalette) {
  const QVariant twice = QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u))));
  EXPECT_EQ(ColourSchemeFromPortal(twice), TColourScheme::Dark);
  EXPECT_EQ(ColourSchemeFromPortal(2u), TColourScheme::Light);
  for (const QVariant& none : {QVariant(0u), QVariant(7u), QVariant("dark")}) {
    EXPECT_EQ(ColourSchemeFromPortal(none), TColourScheme::NoPreference);
  }
  const QPalette light(Qt::white), platformDark(QColor(20, 20, 60));
  EXPECT_TRUE(IsDarkPalette(PaletteForScheme(light, TColourScheme::Dark)));
  EXPECT_EQ(PaletteForScheme(light, TColourScheme::Light), light);
  EXPECT_EQ(PaletteForScheme(platformDark, TColourScheme::Dark), platformDark);
  // Colours chosen for white: kept there, made readable (hue kept) on the dark base.
  const QColor title(0x40, 0x00, 0x80), base = DarkPalette().color(QPalette::Base);
  EXPECT_EQ(ReadableOn(title, Qt::white), title);
  for (const QColor& colour : {title, QColor(Qt::blue), DarkPalette().color(QPalette::Text)}) {
    EXPECT_GE(ContrastRatio(ReadableOn(colour, base), base), 4.5) << colour.name().toStdString();
  }
  EXPECT_NEAR(ReadableOn(title, base).hslHue(), title.hslHue(), 2);
}

TEST_F(WorkAndQuestions, WhatTheWindowsDrawFollowsAPaletteChangedWhileTheyAreOpen) {
  SavePicture("small.bmp", 20, 10);
  Form->LoadPicture(Path("small.bmp"));
  Form->show();
  THelpForm help(Form.get());
  TEncryptForm encrypt(Ui, Form.get());
  encrypt.EncryptMemo->SetHoverBorder(QColor(8, 36, 107));
  const auto at = [](QWidget* widget, QPoint point) {
    return widget->grab().toImage().pixelColor(point * widget->devicePixelRatio());
  };
  const auto toolbar = [&] { return at(Form.get(), QPoint(Form->width() - 4, 6)); };
  EXPECT_GT(toolbar().lightness(), 200);
  EXPECT_TRUE(help.t->toHtml().contains("#400080"));  // the guide's title, made for white
  QApplication::setPalette(DarkPalette());
  QApplication::processEvents();
  const QColor base = DarkPalette().color(QPalette::Base);
  EXPECT_EQ(toolbar(), base);
  EXPECT_EQ(at(Form->StegoImage, QPoint(2, 2)), base);
  EXPECT_LT(at(Form->TextData->viewport(), QPoint(2, 2)).lightness(), 60);
  EXPECT_EQ(at(help.t->viewport(), QPoint(2, help.t->viewport()->height() - 2)), base);
  EXPECT_FALSE(help.t->toHtml().contains("#400080"));
  EXPECT_TRUE(encrypt.EncryptMemo->styleSheet().contains(base.name()));
  QApplication::setPalette(QPalette());
}

// Every control a user can reach has a name a screen reader can say.
QStringList Nameless(QWidget& window) {
  QStringList nameless;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if ((w->focusPolicy() == Qt::NoFocus && !qobject_cast<QAbstractButton*>(w)) ||
        !w->isVisibleTo(&window)) {
      continue;
    }
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
    if (accessible == nullptr || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
      nameless << QString("%1 %2").arg(w->metaObject()->className(), w->objectName());
    }
  }
  return nameless;
}

TEST_F(WorkAndQuestions, EveryControlOfTheWindowsHasAnAccessibleName) {
  SavePicture("picture.bmp", 60, 40);
  Form->LoadPicture(Path("picture.bmp"));
  TEncryptForm encrypt(Ui, Form.get());
  THelpForm help(Form.get());
  TAnalysisForm analysis(Form.get());
  analysis.ShowReport(Form->Picture().PictureBitmap(), &Form->Picture().PictureBitmap(), "p.bmp");
  // The file dialog as the program prepares it: the platform's where there is one; offscreen
  // there is none, so ours shows, with the picture preview beside its list.
  TFileDialogRequest request{"",  "位图(*.bmp)|*.bmp|可移植的网络图片(*.png)|*.png", "", "", 1,
                             true};
  QFileDialog dialog;
  PrepareFileDialog(dialog, request);
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_TRUE(dialog.selectedNameFilter().contains("png"));
  for (QWidget* window :
       std::initializer_list<QWidget*>{Form.get(), &encrypt, &help, &analysis, &dialog}) {
    window->show();
    EXPECT_EQ(Nameless(*window).join(", ").toStdString(), "") << window->metaObject()->className();
  }
  EXPECT_NE(dialog.findChild<QWidget*>("PicturePreview"), nullptr);
}

}  // namespace
}  // namespace pennacrow
