#pragma once
#include <string>
#include <string_view>

// The address to request or show for one as typed: without a scheme ("www.site.com/info.htm",
// "localhost:8080/x") it is taken as http; anything else is left as it is, blanks around it
// removed.
std::string PageAddress(std::string_view typed);

// reference resolved against base (an absolute address), as a browser resolves a link.
std::string ResolveAddress(std::string_view base, std::string_view reference);

// A downloaded body made ready to show from memory: a base element leads it, so that its
// links and pictures resolve as they would at address. The base is address, or the page's
// own first base resolved against it when that is a web address; bodies in UTF-16 stay as
// they are.
std::string BodyWithBase(std::string_view body, std::string_view address);
