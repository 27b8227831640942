#include "pages/page_fonts.h"

kv::win::Font g_titleFont;
kv::win::Font g_subtitleFont;
kv::win::Font g_textFont;
