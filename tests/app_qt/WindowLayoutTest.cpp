#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>

#include "app/qt/DialogTemplate.h"
#include "app/qt/QtDialogWindow.h"

namespace vorn::qt {
namespace {

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, c, expected;
  };
  const Case cases[] = {
      {1, 6, 4, 2},   {-1, 6, 4, -2}, {401, 6, 4, 602}, {242, 13, 8, 393}, {5, 13, 8, 8},
      {3, 13, 8, 5},  {2, 6, -4, -3}, {0, 6, 4, 0},     {7, 6, 0, 0},
      // The product needs more than 32 bits.
      {2000000000, 3, 4, 1500000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
  }
}

TEST(DialogLayoutTest, ControlsSitAtTheTemplatePositionsInPixels) {
  QtDialogWindow window;
  EXPECT_EQ(window.size(), QSize(602, 393));
  struct Case {
    int id;
    QRect pixels;
    bool visible;
  };
  // Each edge is converted on its own: 1001's right edge is unit 390, 585 pixels.
  const Case cases[] = {
      {control::kIntro, {197, 24, 388, 41}, true},
      {control::kProgress, {24, 362, 554, 18}, false},
      {control::kReleaseNotes, {24, 200, 554, 70}, true},
      {control::kStatus, {24, 306, 554, 97}, true},
      {control::kClose, {420, 353, 165, 27}, false},
      {control::kStart, {420, 353, 165, 27}, false},
      {control::kWarning, {197, 81, 388, 41}, true},
      {control::kPicture, {50, 29, 27, 26}, true},
      {control::kNotesHeading, {24, 179, 554, 13}, true},
  };
  for (const Case& c : cases) {
    QWidget* widget = window.Control(c.id);
    ASSERT_NE(widget, nullptr) << c.id;
    EXPECT_EQ(widget->geometry(), c.pixels) << c.id;
    EXPECT_EQ(!widget->isHidden(), c.visible) << c.id;
  }
  EXPECT_EQ(window.Control(1009), nullptr);
}

TEST(DialogLayoutTest, EarlierControlsInTabOrderLieAbove) {
  QtDialogWindow window;
  // Qt paints children in list order, so the one listed later lies above.
  const QObjectList& children = window.children();
  auto depth = [&](int id) { return children.indexOf(window.Control(id)); };
  EXPECT_GT(depth(control::kProgress), depth(control::kStatus));
  EXPECT_GT(depth(control::kStatus), depth(control::kClose));
  EXPECT_GT(depth(control::kClose), depth(control::kStart));
}

TEST(DialogFaceTest, ProductPictureTakesTheSizeOfItsImage) {
  QtDialogWindow window;
  window.SetProductPicture();
  auto* picture = qobject_cast<QLabel*>(window.Control(control::kPicture));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->geometry(), QRect(50, 29, 126, 85));
  EXPECT_FALSE(picture->pixmap().isNull());
}

TEST(DialogFaceTest, WindowIconCarriesEverySize) {
  QtDialogWindow window;
  window.SetWindowIcons();
  const QList<QSize> sizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

TEST(DialogFaceTest, TextsGoToTheirControlsAndTheStatusStaysBold) {
  QtDialogWindow window;
  window.MakeStatusTextBold();
  window.SetText(control::kCaption, L"Caption");
  window.SetText(control::kStart, L"Start");
  for (const wchar_t* text : {L"first", L"second <b>line</b>\nthird"}) window.SetText(control::kStatus, text);
  auto* status = qobject_cast<QLabel*>(window.Control(control::kStatus));
  auto* intro = qobject_cast<QLabel*>(window.Control(control::kIntro));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Caption"));
  EXPECT_EQ(status->text(), QStringLiteral("second <b>line</b>\nthird"));
  EXPECT_EQ(status->textFormat(), Qt::PlainText);
  EXPECT_TRUE(status->font().bold());
  EXPECT_FALSE(intro->font().bold());
  EXPECT_EQ(status->font().pixelSize(), intro->font().pixelSize());
}

TEST(DialogFaceTest, ProgressPositionStaysWithinItsRange) {
  QtDialogWindow window;
  auto* bar = qobject_cast<QProgressBar*>(window.Control(control::kProgress));
  window.SetProgressRange(0, 183824);
  window.SetProgressPosition(183808);
  window.SetProgressPosition(window.ProgressPosition() + 32);
  EXPECT_EQ(window.ProgressPosition(), 183824u);
  EXPECT_EQ(bar->value(), 183824);

  window.SetProgressRange(100, 200);
  EXPECT_EQ(window.ProgressPosition(), 200u);
  window.SetProgressPosition(5);
  EXPECT_EQ(window.ProgressPosition(), 100u);

  // Beyond what QProgressBar counts: the position reads back whole, the bar shows it in proportion.
  window.SetProgressRange(0, 0xFFFFFFF0u);
  window.SetProgressPosition(0x80000010u);
  EXPECT_EQ(window.ProgressPosition(), 0x80000010u);
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_NEAR(static_cast<double>(bar->value()) / bar->maximum(), 0.5, 0.001);
}

TEST(DialogFaceTest, ReleaseNotesScrollAcrossTheHorizontalExtent) {
  QtDialogWindow window;
  window.AddListLine(L"* a short line");
  window.SetListHorizontalExtent(1200);
  window.show();
  QApplication::processEvents();
  auto* list = qobject_cast<QListWidget*>(window.Control(control::kReleaseNotes));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 1);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::NoSelection);
  QScrollBar* bar = list->horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum() + list->viewport()->width(), 1200);
  window.hide();
}

}  // namespace
}  // namespace vorn::qt
