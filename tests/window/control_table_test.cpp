// The control table that both windows are built from: its rows, their
// stacking and tab order, and the lookups over it.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "window/control_table.h"

namespace vondrel::window::table {
namespace {

std::string Named(const ControlRow& row) {
  std::string name(row.name);
  if (row.index != kNone) name += std::to_string(row.index);
  return name;
}

TEST(ControlTable, RowsRunFromTheTopOfTheStackingOrderToTheBottom) {
  std::vector<std::string> names;
  for (const ControlRow& row : kControls) names.push_back(Named(row));
  EXPECT_EQ(names, (std::vector<std::string>{"txtInstructions", "cmdFind", "Frame1", "optSelect0", "optSelect1",
                                             "optSelect2", "File1", "Dir1", "txtPath", "cmdRepair", "Label4",
                                             "Image1", "Shape1"}));
  EXPECT_EQ(StackPosition(Row("txtInstructions")), 0u);
  EXPECT_EQ(StackPosition(Row("Shape1")), 12u);
  EXPECT_EQ(StackPosition(Row("optSelect", 1)), 4u);
}

TEST(ControlTable, TabIndexesAreDistinctAndRunFromTheRepairButton) {
  std::vector<std::string> order;
  for (const ControlRow* row : InTabOrder()) order.push_back(Named(*row) + "@" + std::to_string(row->tab_index));
  EXPECT_EQ(order, (std::vector<std::string>{"cmdRepair@0", "txtPath@1", "Dir1@2", "File1@3", "Frame1@4",
                                             "optSelect0@5", "optSelect1@6", "optSelect2@7", "cmdFind@8",
                                             "Label4@9", "txtInstructions@10"}));
  EXPECT_EQ(Row("Image1").tab_index, kNone);
  EXPECT_EQ(Row("Shape1").tab_index, kNone);
}

TEST(ControlTable, TheOptionsSitInTheFrameAndFindCoversItsCorner) {
  for (int index = 0; index < 3; ++index) EXPECT_EQ(Row("optSelect", index).container, "Frame1");
  EXPECT_TRUE(Row("optSelect", 0).Has(kSelected));
  EXPECT_FALSE(Row("optSelect", 1).Has(kSelected));
  const TwipsRect frame = Row("Frame1").bounds;
  const TwipsRect find = Row("cmdFind").bounds;
  EXPECT_EQ(find.left + find.width, frame.left + frame.width);
  EXPECT_EQ(find.top + find.height, frame.top + frame.height);
}

TEST(ControlTable, SettingsOfTheTextBoxesAndTheHeading) {
  const ControlRow& instructions = Row("txtInstructions");
  EXPECT_TRUE(instructions.Has(kMultiLine) && instructions.Has(kReadOnly) && instructions.Has(kNoTabStop));
  EXPECT_FALSE(instructions.Has(kPanelBackground));
  const ControlRow& path = Row("txtPath");
  EXPECT_TRUE(path.Has(kMultiLine) && path.Has(kReadOnly) && path.Has(kPanelBackground));
  EXPECT_FALSE(path.Has(kNoTabStop));
  EXPECT_TRUE(Row("Label4").Has(kHeadingFont));
  EXPECT_TRUE(Row("Label4").Has(kTextCentred));
  EXPECT_EQ(std::u16string(Row("Label4").caption), u"Vondrel Instructions");
  EXPECT_EQ(std::u16string(Row("cmdRepair").caption), u"Vondrel");
  EXPECT_EQ(kHeadingFontFamily, "MS Sans Serif");
}

TEST(ControlTable, AControlThatIsNotThereIsRefused) {
  EXPECT_THROW(Row("cmdCancel"), std::out_of_range);
  EXPECT_THROW(Row("optSelect", 3), std::out_of_range);
  EXPECT_THROW(Row("optSelect"), std::out_of_range) << "an array's members are found by index";
}

TEST(ControlTable, ThePanelRunsPastTheClientAreaOnThreeSides) {
  const TwipsRect shape = Row("Shape1").bounds;
  EXPECT_LT(shape.top, 0);
  EXPECT_GT(shape.left + shape.width, kClientWidth);
  EXPECT_GT(shape.top + shape.height, kClientHeight);
  EXPECT_GT(shape.left, 0);
}

}  // namespace
}  // namespace vondrel::window::table
