#pragma once
// The main window over the fake user interface, with a directory of its own for the files a
// test writes and loads; removed with the test.

#include <gtest/gtest.h>

#include <QPrinter>
#include <QTemporaryDir>
#include <memory>

#include "FakeUserInterface.h"
#include "app/PennacrowForm.h"

namespace pennacrow::test {

class TFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    Form = std::make_unique<TPennacrowForm>(Ui);
  }
  QString Path(const char* name) const { return FDir.filePath(name); }
  // The window's print jobs go into this PDF file, on pages without margins.
  void PrintInto(const QString& fileName) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(fileName);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0));
    Form->Printers().Use(std::move(printer));
  }

  // Declared in this order so that the window goes first, then the interface it answers to,
  // then the files.
  QTemporaryDir FDir;
  TFakeUserInterface Ui;
  std::unique_ptr<TPennacrowForm> Form;
};

}  // namespace pennacrow::test
