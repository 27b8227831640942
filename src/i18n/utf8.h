#pragma once
// UTF-8 to UTF-16 for platform-free code; invalid sequences become U+FFFD, as the Windows
// converter does without its strict flag.

#include <string>
#include <string_view>

namespace kv::i18n {

std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace kv::i18n
