#pragma once
// What one repair run ended with, and the message that presents it.

#include <cstdint>
#include <string>

namespace vondrel::repair {

struct RepairOutcome {
  enum class Kind { NothingSelected, Succeeded, Failed };
  Kind kind = Kind::NothingSelected;
  std::int32_t number = 0;   // Failed only: the error's number as its source gave it
  std::string description;   // Failed only: UTF-8

  static RepairOutcome NothingSelected() { return {Kind::NothingSelected, 0, {}}; }
  static RepairOutcome Succeeded() { return {Kind::Succeeded, 0, {}}; }
  static RepairOutcome Failed(std::int32_t number, std::string description) {
    return {Kind::Failed, number, std::move(description)};
  }
};

// The message-box styles the outcome messages use.
enum class MessageIcon { Critical = 16, Exclamation = 48 };

struct OutcomeMessage {
  std::u16string text;
  std::u16string title;
  MessageIcon icon;
};

OutcomeMessage MessageFor(const RepairOutcome& outcome);

}  // namespace vondrel::repair
