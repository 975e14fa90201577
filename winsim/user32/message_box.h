// Message boxes: how a scripted or typed answer names a button.
#pragma once
#include <string>

namespace winsim {

// The button id (IDOK ... IDNO) an answer names: a button's name or first letter in any case, or its
// number; 0 for anything else.
int MessageBoxAnswer(std::string word);

}  // namespace winsim
