// Light and dark themes, the desktop's colour scheme, the window on small screens, and names for
// screen readers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDBusVariant>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabBar>

#include "FormTest.h"
#include "app/AnalysisForm.h"
#include "app/ColourScheme.h"
#include "app/EncryptForm.h"
#include "app/HelpForm.h"
#include "app/PennacrowForm.h"
#include "app/PicturePreview.h"
#include "app/PictureView.h"
#include "app/UserInterface.h"
#include "controls/Contrast.h"
#include "controls/FlatButton.h"
#include "controls/HtmlTextView.h"
#include "controls/TextMemo.h"
#include "picture/Bitmap.h"

namespace pennacrow {
namespace {

TEST(ColourScheme, ThePortalsAnswerDecidesOnlyAgainstALightPlatformPalette) {
  const QVariant wrapped = QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u))));
  const struct {
    QVariant Value;
    TColourScheme Scheme;
  } answers[] = {{wrapped, TColourScheme::Dark},
                 {QVariant(2u), TColourScheme::Light},
                 {QVariant(0u), TColourScheme::NoPreference},
                 {QVariant(7u), TColourScheme::NoPreference},
                 {QVariant("dark"), TColourScheme::NoPreference}};
  for (const auto& a : answers) EXPECT_EQ(ColourSchemeFromPortal(a.Value), a.Scheme);
  const QPalette light(Qt::white);
  EXPECT_TRUE(IsDarkPalette(PaletteForScheme(light, TColourScheme::Dark)));
  EXPECT_EQ(PaletteForScheme(light, TColourScheme::Light), light);
  // A platform that is dark already keeps its own palette.
  const QPalette platformDark(QColor(20, 20, 60));
  EXPECT_EQ(PaletteForScheme(platformDark, TColourScheme::Dark), platformDark);
  // The dark palette's text is readable on its own backgrounds.
  const QPalette dark = DarkPalette();
  EXPECT_GE(ContrastRatio(dark.color(QPalette::Text), dark.color(QPalette::Base)), 7.0);
  EXPECT_GE(ContrastRatio(dark.color(QPalette::Link), dark.color(QPalette::Base)), 4.5);
}

TEST(Contrast, ColoursMadeForWhiteBecomeReadableOnDark) {
  const QColor darkBase(30, 30, 32);
  const struct {
    QColor Colour, Background;
    bool Unchanged;
  } cases[] = {
      {QColor(0x40, 0x00, 0x80), Qt::white, true},  // the guide's title on white
      {QColor(0x40, 0x00, 0x80), darkBase, false},
      {Qt::blue, darkBase, false},
      {Qt::white, darkBase, true},
      {QColor(250, 250, 240), Qt::white, false},
  };
  for (const auto& c : cases) {
    const QColor shown = ReadableOn(c.Colour, c.Background);
    EXPECT_EQ(shown == c.Colour, c.Unchanged) << c.Colour.name().toStdString();
    EXPECT_GE(ContrastRatio(shown, c.Background), 4.5) << c.Colour.name().toStdString();
  }
  // The hue is kept where it can be: a purple stays a purple.
  EXPECT_NEAR(ReadableOn(QColor(0x40, 0x00, 0x80), darkBase).hslHue(),
              QColor(0x40, 0, 0x80).hslHue(), 2);
}

class Theme : public test::TFormTest {
 protected:
  void TearDown() override { QApplication::setPalette(QPalette()); }
  // The colour of a point of the shown window, as the screen gets it.
  QColor At(QWidget* widget, QPoint point) {
    return widget->grab().toImage().pixelColor(point * widget->devicePixelRatio());
  }
};

TEST_F(Theme, WhatTheWindowDrawsFollowsAPaletteChangedWhileItIsOpen) {
  TBitmap(20, 10, 24).SaveToFile(Path("small.bmp").toStdString());
  Form->LoadPicture(Path("small.bmp"));
  Form->show();
  THelpForm help(Form.get());
  auto toolbarCorner = [this] { return At(Form.get(), QPoint(Form->width() - 4, 6)); };
  auto viewCorner = [this] { return At(Form->StegoImage, QPoint(2, 2)); };
  EXPECT_GT(toolbarCorner().lightness(), 200);
  EXPECT_GT(viewCorner().lightness(), 200);
  QApplication::setPalette(DarkPalette());
  QApplication::processEvents();
  const QColor base = DarkPalette().color(QPalette::Base);
  EXPECT_EQ(toolbarCorner(), base);
  EXPECT_EQ(viewCorner(), base);
  EXPECT_LT(At(Form->TextData->viewport(), QPoint(2, 2)).lightness(), 60);
  // The help text's own colours were made readable on the new background.
  help.resize(648, 632);
  const QImage guide = help.t->viewport()->grab().toImage();
  EXPECT_EQ(guide.pixelColor(2, guide.height() - 2), base);
  bool titleReadable = false;
  for (int x = 0; x < guide.width() && !titleReadable; ++x) {
    for (int y = 0; y < 40 && !titleReadable; ++y) {
      titleReadable = ContrastRatio(guide.pixelColor(x, y), base) >= 3.0;
    }
  }
  EXPECT_TRUE(titleReadable);
  TEncryptForm encrypt(Ui, Form.get());
  encrypt.EncryptMemo->SetHoverBorder(QColor(8, 36, 107));
  EXPECT_TRUE(encrypt.EncryptMemo->styleSheet().contains(base.name()));
}

TEST_F(Theme, TheWindowFitsSmallScreensWithEveryButtonAndPanelWhole) {
  Form->show();
  auto box = [this](const QWidget* w) { return QRect(w->mapTo(Form.get(), QPoint()), w->size()); };
  // 1280 x 1024 at scale factor 2, a 640 x 480 screen, and a large one.
  for (const QRect& available : {QRect(0, 0, 640, 500), QRect(0, 0, 640, 480)}) {
    Form->PlaceOnScreen(available);
    QApplication::processEvents();
    EXPECT_TRUE(available.contains(Form->geometry()));
    EXPECT_LE(Form->minimumWidth(), available.width());
    for (TFlatButton* button : Form->findChildren<TFlatButton*>()) {
      EXPECT_TRUE(button->isVisible()) << button->text().toStdString();
      EXPECT_TRUE(Form->rect().contains(box(button))) << button->text().toStdString();
    }
    QList<QRect> panels;
    for (QLabel* panel : Form->statusBar()->findChildren<QLabel*>()) {
      EXPECT_TRUE(Form->rect().contains(box(panel)));
      for (const QRect& other : panels) EXPECT_FALSE(box(panel).intersects(other));
      panels << box(panel);
    }
  }
  // Back on a large screen the designed minimum holds again.
  Form->FollowScreen(QRect(0, 0, 1920, 1080));
  EXPECT_GE(Form->minimumWidth(), 9 * 80);
}

TEST(FileDialogs, ThePlatformsDialogWhereThereIsOneOurPreviewOnlyInOurs) {
  TFileDialogRequest request;
  request.Filter = "位图(*.bmp)|*.bmp|可移植的网络图片(*.png)|*.png";
  request.FilterIndex = 1;
  request.PicturePreview = true;
  QFileDialog dialog;
  PrepareFileDialog(dialog, request);
  EXPECT_FALSE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_TRUE(ToQtFilter(request.Filter)[1].startsWith(dialog.selectedNameFilter()));
  EXPECT_TRUE(dialog.selectedNameFilter().contains("png"));
  // Offscreen there is no platform dialog: ours shows, with the preview beside its list.
  dialog.show();
  EXPECT_NE(dialog.findChild<QWidget*>("PicturePreview"), nullptr);
  dialog.reject();
}

// Every control a user can reach has a name a screen reader can say.
QStringList Nameless(QWidget& window) {
  QStringList nameless;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    const bool control = w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(w) ||
                         qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w);
    if (!control || !w->isVisibleTo(&window)) continue;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
    if (accessible == nullptr || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
      nameless << QString("%1 %2").arg(w->metaObject()->className(), w->objectName());
    }
  }
  return nameless;
}

TEST_F(Theme, EveryControlOfTheWindowsHasAnAccessibleName) {
  TBitmap bitmap(60, 40, 24);
  bitmap.SaveToFile(Path("picture.bmp").toStdString());
  Form->LoadPicture(Path("picture.bmp"));
  TEncryptForm encrypt(Ui, Form.get());
  THelpForm help(Form.get());
  TAnalysisForm analysis(Form.get());
  analysis.ShowReport(bitmap, &bitmap, "picture.bmp");
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  AttachPicturePreview(dialog);
  for (QWidget* window :
       std::initializer_list<QWidget*>{Form.get(), &encrypt, &help, &analysis, &dialog}) {
    window->show();
    EXPECT_EQ(Nameless(*window).join(", ").toStdString(), "") << window->metaObject()->className();
  }
}

}  // namespace
}  // namespace pennacrow
