#include "repair/repair_outcome.h"

#include "platform/path_text.h"

namespace vondrel::repair {

OutcomeMessage MessageFor(const RepairOutcome& outcome) {
  switch (outcome.kind) {
    case RepairOutcome::Kind::NothingSelected:
      return {u"You must select a file to repair.", u"Select File", MessageIcon::Exclamation};
    case RepairOutcome::Kind::Succeeded:
      return {u"Repair was successful!", u"Finished", MessageIcon::Exclamation};
    case RepairOutcome::Kind::Failed:
      break;
  }
  std::u16string text = u"There was an error repairing the database\r\n\r\nError: ";
  text += platform::FromUtf8(std::to_string(outcome.number));
  text += u"  ";
  text += platform::FromUtf8(outcome.description);
  return {text, u"Error", MessageIcon::Critical};
}

}  // namespace vondrel::repair
