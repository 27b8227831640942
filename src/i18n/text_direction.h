#pragma once
// The reading direction of a language file, decided from its texts: a file whose letters are
// mostly Hebrew or Arabic script reads from right to left, whatever language it is filed under.
// Platform-free.

#include <string_view>

namespace kv::i18n {

// True when at least a third of the letters of `text` belong to right-to-left scripts.
bool ReadsRightToLeft(std::wstring_view text);

}  // namespace kv::i18n
