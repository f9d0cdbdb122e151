#pragma once
#include <string>
#include <string_view>

// The address to request or show for one as typed: without a scheme ("www.site.com/info.htm",
// "localhost:8080/x") it is taken as http; anything else is left as it is, blanks around it
// removed.
std::string PageAddress(std::string_view typed);
