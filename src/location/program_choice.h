#pragma once
// The three programs whose database the user can look for: the caption of
// each option button, the folder Find goes to, and the file-list pattern.

#include <array>
#include <cstddef>
#include <string_view>

namespace vondrel::location {

struct ProgramChoice {
  std::u16string_view caption;
  std::u16string_view default_folder;
  std::u16string_view pattern;
};

inline constexpr std::size_t kProgramChoiceCount = 3;

// Indexed by the option button's index in the control array optSelect.
inline constexpr std::array<ProgramChoice, kProgramChoiceCount> kProgramChoices{{
    {u"Tamberlo", u"c:\\Program Files\\Tamberlo", u"Data.mdb"},
    {u"Guvrine", u"C:\\Program Files\\Guvrine", u"GV_Data.mdb"},
    {u"Other", u"c:\\Program Files", u"*.mdb"},
}};

}  // namespace vondrel::location
