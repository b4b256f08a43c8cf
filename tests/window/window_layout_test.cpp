// The window's layout, texts, look and fixed border, as the user sees them
// at 96 dpi (the offscreen screen's resolution).

#include <QFontInfo>
#include <QScreen>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "window/shape_box.h"
#include "window/window_fixture.h"

namespace vondrel::window {
namespace {

class WindowLayoutTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  void SetUp() override {
    files.MakeFolder(u"C:\\Tools");
    Open(u"C:\\Tools");
    ASSERT_DOUBLE_EQ(window->screen()->logicalDotsPerInch(), 96.0);
  }
};

TEST_F(WindowLayoutTest, EveryControlSitsWhereTheTableSaysInPixels) {
  struct Expected {
    QWidget* control;
    QRect pixels;  // twips / 15
  };
  const std::vector<Expected> table{
      {window->txtInstructions(), QRect(340, 29, 210, 314)},
      {window->cmdFind(), QRect(264, 48, 65, 17)},
      {window->Frame1(), QRect(176, 0, 153, 65)},
      {window->optSelect(0), QRect(8, 16, 134, 13)},
      {window->optSelect(1), QRect(8, 32, 139, 13)},
      {window->optSelect(2), QRect(8, 48, 67, 13)},
      {window->File1(), QRect(176, 72, 153, 188)},
      {window->Dir1(), QRect(8, 72, 169, 186)},
      {window->txtPath(), QRect(8, 264, 321, 51)},
      {window->cmdRepair(), QRect(173, 320, 153, 25)},
      {window->Label4(), QRect(340, 5, 212, 20)},
      {window->Image1(), QRect(8, 0, 62, 70)},
      {window->Shape1(), QRect(336, -1, 224, 374)},
  };
  for (const Expected& row : table) {
    EXPECT_EQ(row.control->geometry(), row.pixels) << row.control->objectName().toStdString();
  }
  EXPECT_EQ(window->size(), QSize(558, 348));
  for (int index = 0; index < 3; ++index) EXPECT_EQ(window->optSelect(index)->parentWidget(), window->Frame1());
  // Find covers the frame's bottom-right corner exactly.
  EXPECT_EQ(window->cmdFind()->geometry().bottomRight(), window->Frame1()->geometry().bottomRight());
}

TEST_F(WindowLayoutTest, ControlsStackInTheTablesOrder) {
  const std::vector<QWidget*> topToBottom{window->txtInstructions(), window->cmdFind(), window->Frame1(),
                                          window->File1(), window->Dir1(), window->txtPath(),
                                          window->cmdRepair(), window->Label4(), window->Image1(),
                                          window->Shape1()};
  const QObjectList& siblings = window->children();
  for (std::size_t i = 1; i < topToBottom.size(); ++i) {
    EXPECT_GT(siblings.indexOf(topToBottom[i - 1]), siblings.indexOf(topToBottom[i]))
        << topToBottom[i - 1]->objectName().toStdString() << " lies over " << topToBottom[i]->objectName().toStdString();
  }
  // Where controls overlap, the upper one is the one the mouse finds.
  EXPECT_EQ(window->childAt(window->cmdFind()->geometry().center()), window->cmdFind());
  EXPECT_EQ(window->childAt(window->Label4()->geometry().center()), window->Label4());
  EXPECT_EQ(window->childAt(window->txtInstructions()->geometry().topLeft() + QPoint(3, 3))->parentWidget(),
            window->txtInstructions());
}

TEST_F(WindowLayoutTest, TextsAreTheFixedTexts) {
  EXPECT_EQ(window->windowTitle().toStdString(), "Vondrel");
  EXPECT_EQ(window->cmdFind()->text().toStdString(), "Find");
  EXPECT_EQ(window->cmdRepair()->text().toStdString(), "Vondrel");
  EXPECT_EQ(window->Label4()->text().toStdString(), "Vondrel Instructions");
  EXPECT_EQ(window->optSelect(0)->text().toStdString(), "Tamberlo");
  EXPECT_EQ(window->optSelect(1)->text().toStdString(), "Guvrine");
  EXPECT_EQ(window->optSelect(2)->text().toStdString(), "Other");
  EXPECT_TRUE(window->Frame1()->title().isEmpty());
  const QStringList lines = window->txtInstructions()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0].toStdString(), "This utility attempts to compact and repair a damaged database.");
  EXPECT_TRUE(lines[1].isEmpty());
  EXPECT_EQ(lines[2].toStdString(), "1. Select the name of the program; Tamberlo, Guvrine, or Other.");
  EXPECT_EQ(lines[3].toStdString(),
            "2. If you installed the program in the default location, press the Find button to locate the file. "
            "If you installed the program to a different location, navigate to the directory and then click on "
            "the database file.");
  EXPECT_EQ(lines[4].toStdString(), "3. Press the Vondrel button.");
  EXPECT_EQ(lines[5].toStdString(), "A message box will pop up to tell you if the repair was successful.");
}

TEST_F(WindowLayoutTest, ThePanelsUseTheInactiveTitleBarColour) {
  const QColor classicGrey(128, 128, 128);
  EXPECT_EQ(window->palette().color(QPalette::Window), classicGrey);
  EXPECT_TRUE(window->autoFillBackground());
  EXPECT_EQ(window->Frame1()->palette().color(QPalette::Window), classicGrey);
  EXPECT_TRUE(window->Frame1()->autoFillBackground());
  for (int index = 0; index < 3; ++index) {
    EXPECT_EQ(window->optSelect(index)->palette().color(QPalette::Window), classicGrey);
    EXPECT_TRUE(window->optSelect(index)->autoFillBackground());
  }
  EXPECT_EQ(window->txtPath()->palette().color(QPalette::Base), classicGrey);
  EXPECT_NE(window->txtInstructions()->palette().color(QPalette::Base), classicGrey);

  window->show();
  const QImage picture = window->grab().toImage();
  EXPECT_EQ(picture.pixelColor(150, 340), classicGrey) << "bare window background left of the repair button";
  for (int index = 0; index < 3; ++index) {
    const QRect option = window->optSelect(index)->geometry().translated(window->Frame1()->pos());
    EXPECT_EQ(picture.pixelColor(option.right() - 1, option.center().y()), classicGrey) << "option " << index;
  }
  const QRect path = window->txtPath()->geometry();
  EXPECT_EQ(picture.pixelColor(path.right() - 8, path.bottom() - 8), classicGrey) << "inside the path box";
}

TEST_F(WindowLayoutTest, TheHeadingIsBoldSansSerifAtNineAndThreeQuarterPoints) {
  const QFont font = window->Label4()->font();
  EXPECT_TRUE(font.bold());
  EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75);
  EXPECT_EQ(window->Label4()->alignment(), Qt::AlignCenter);
  QFont sansSerif(QStringLiteral("Sans Serif"));
  sansSerif.setStyleHint(QFont::SansSerif);
  const QString family = QFontInfo(font).family();
  EXPECT_TRUE(family == QStringLiteral("MS Sans Serif") || family == QFontInfo(sansSerif).family())
      << family.toStdString();
  EXPECT_FALSE(window->cmdFind()->font().bold()) << "the other controls keep the dialog font";
}

TEST_F(WindowLayoutTest, TheBorderIsAFixedDialogBorder) {
  EXPECT_EQ(window->minimumSize(), QSize(558, 348));
  EXPECT_EQ(window->maximumSize(), QSize(558, 348));
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  window->show();
  const QRect before = window->Dir1()->geometry();
  window->resize(900, 700);
  QApplication::processEvents();
  EXPECT_EQ(window->size(), QSize(558, 348));
  EXPECT_EQ(window->Dir1()->geometry(), before);
}

TEST_F(WindowLayoutTest, OpensInTheMiddleOfTheScreen) {
  window->show();
  const QPoint screenCentre = window->screen()->availableGeometry().center();
  const QPoint windowCentre = window->geometry().center();
  EXPECT_LE((screenCentre - windowCentre).manhattanLength(), 2);
}

TEST_F(WindowLayoutTest, IconAndLogoComeFromTheResources) {
  const QList<QSize> sizes = window->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  QSvgRenderer* logo = window->Image1()->renderer();
  ASSERT_TRUE(logo->isValid());
  EXPECT_EQ(logo->viewBox(), QRect(0, 0, 2491, 2851));
  // The logo fills its box: drawn pixels reach all four edges' neighbourhoods.
  window->show();
  const QImage picture = window->Image1()->grab().toImage();
  EXPECT_EQ(picture.size(), QSize(62, 70));
  const QColor background = window->palette().color(QPalette::Window);
  int drawnNearTop = 0, drawnNearBottom = 0;
  for (int x = 0; x < picture.width(); ++x) {
    if (picture.pixelColor(x, 8) != background) ++drawnNearTop;
    if (picture.pixelColor(x, picture.height() - 3) != background) ++drawnNearBottom;
  }
  EXPECT_GT(drawnNearTop, 20);
  EXPECT_GT(drawnNearBottom, 40);
}

}  // namespace
}  // namespace vondrel::window
