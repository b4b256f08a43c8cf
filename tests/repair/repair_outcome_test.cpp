#include "repair/repair_outcome.h"

#include <gtest/gtest.h>

namespace vondrel::repair {
namespace {

TEST(OutcomeMessage, NothingSelectedAsksForAFile) {
  auto message = MessageFor(RepairOutcome::NothingSelected());
  EXPECT_EQ(message.text, u"You must select a file to repair.");
  EXPECT_EQ(message.title, u"Select File");
  EXPECT_EQ(message.icon, MessageIcon::Exclamation);
  EXPECT_EQ(static_cast<int>(message.icon), 48);
}

TEST(OutcomeMessage, SuccessIsAnnounced) {
  auto message = MessageFor(RepairOutcome::Succeeded());
  EXPECT_EQ(message.text, u"Repair was successful!");
  EXPECT_EQ(message.title, u"Finished");
  EXPECT_EQ(message.icon, MessageIcon::Exclamation);
}

TEST(OutcomeMessage, FailureShowsNumberAndDescriptionOnTheThirdLine) {
  auto message = MessageFor(RepairOutcome::Failed(3045, "Could not use the file; it is already in use."));
  EXPECT_EQ(message.text,
            u"There was an error repairing the database\r\n\r\nError: 3045  Could not use the file; it is already in use.");
  EXPECT_EQ(message.title, u"Error");
  EXPECT_EQ(message.icon, MessageIcon::Critical);
  EXPECT_EQ(static_cast<int>(message.icon), 16);
}

TEST(OutcomeMessage, NegativeAndExtremeNumbersKeepTheirSign) {
  EXPECT_EQ(MessageFor(RepairOutcome::Failed(-2147467259, "Unspecified failure")).text,
            u"There was an error repairing the database\r\n\r\nError: -2147467259  Unspecified failure");
  EXPECT_EQ(MessageFor(RepairOutcome::Failed(0, "")).text, u"There was an error repairing the database\r\n\r\nError: 0  ");
  EXPECT_EQ(MessageFor(RepairOutcome::Failed(2147483647, "x")).text,
            u"There was an error repairing the database\r\n\r\nError: 2147483647  x");
}

TEST(OutcomeMessage, DescriptionTextArrivesAsUtf16) {
  EXPECT_EQ(MessageFor(RepairOutcome::Failed(53, "Fichier \xC3\xA9tranger")).text,
            u"There was an error repairing the database\r\n\r\nError: 53  Fichier \u00e9tranger");
}

}  // namespace
}  // namespace vondrel::repair
