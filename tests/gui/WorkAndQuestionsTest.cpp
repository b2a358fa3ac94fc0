// What the main window asks before work is lost, and the work it hands to the worker thread.

#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QGuiApplication>
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
#include "app/PennacrowForm.h"
#include "app/UserInterface.h"
#include "controls/FlatButton.h"
#include "controls/TextMemo.h"
#include "controls/TitledPopupMenu.h"
#include "formats/PngWriter.h"
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
  int command = 0;
  for (const auto& run : commands) {
    for (const auto& a : answers) {
      SCOPED_TRACE(testing::Message() << "command " << command << " answer " << int(a.Answer));
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
    ++command;
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
  QAction* escape = nullptr;
  for (QAction* action : Form->actions()) {
    if (action->shortcut() == QKeySequence(Qt::Key_Escape)) escape = action;
  }
  ASSERT_NE(escape, nullptr);
  EXPECT_FALSE(escape->isEnabled());
  const std::function<void()> stops[] = {[this] { Form->StopButton->click(); },
                                         [escape] { escape->trigger(); }};
  for (const auto& stop : stops) {
    QMetaObject::Connection started =
        QObject::connect(Form.get(), &TPennacrowForm::BusyChanged, [&](bool on) {
          if (on) stop();
        });
    analysis->trigger();
    QObject::disconnect(started);
    EXPECT_EQ(Form->findChild<TAnalysisForm*>(), nullptr);
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_FALSE(Form->IsBusy());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
  // Work that cannot stop offers no button.
  QObject::connect(Form.get(), &TPennacrowForm::BusyChanged,
                   [this](bool on) { EXPECT_TRUE(!on || Form->StopButton->isHidden()); });
  Form->RunInBackground("...", [] {});
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
  std::filesystem::create_symlink(Path("nowhere").toStdString(),
                                  Path("print (2).pdf").toStdString());
  print();
  print();
  std::ifstream notes(Path("print.pdf").toStdString());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "the user's notes");
  EXPECT_FALSE(std::filesystem::exists(Path("nowhere").toStdString()));
  ASSERT_EQ(Ui.Messages.size(), 2u);
  for (const char* name : {"print (3).pdf", "print (4).pdf"}) {
    EXPECT_TRUE(std::filesystem::exists(Path(name).toStdString())) << name;
  }
  EXPECT_TRUE(Ui.Messages[0].contains("print (3).pdf"));
  EXPECT_TRUE(Ui.Messages[1].contains("print (4).pdf"));
}

TEST_F(WorkAndQuestions, TheSaveDialogProposesANameItCanWrite) {
  const struct {
    const char* Loaded;
    const char* Proposed;
    int Filter;
  } cases[] = {{"photo.ppm", "photo.bmp", 0}, {"photo.png", "photo.png", 1}};
  SaveAsPNG(TBitmap(8, 6, 24), Path("photo.png").toStdString());
  std::ofstream(Path("photo.ppm").toStdString()) << "P3\n1 1\n255\n0 0 0\n";
  for (const auto& c : cases) {
    Form->LoadPicture(Path(c.Loaded));
    Form->FlatButton2Click();  // cancelled
    EXPECT_EQ(Ui.FileRequests.back().FileName, Path(c.Proposed)) << c.Loaded;
    EXPECT_EQ(Ui.FileRequests.back().FilterIndex, c.Filter) << c.Loaded;
  }
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

}  // namespace
}  // namespace pennacrow
