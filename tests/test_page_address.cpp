#include <gtest/gtest.h>

#include "platform/page_address.h"

namespace {

TEST(PageAddress, WithoutASchemeIsHttp) {
    const std::pair<const char*, const char*> cases[] = {
        {"www.site.com/info.htm", "http://www.site.com/info.htm"},
        {" localhost:8080/x ", "http://localhost:8080/x"},
        {"10.0.0.1/p", "http://10.0.0.1/p"},
        {"//h/p", "http://h/p"},
        {"http://h/p", "http://h/p"},
        {"HTTPS://h", "HTTPS://h"},
        {"about:blank", "about:blank"},
        {"svn+ssh://h", "svn+ssh://h"},
        {"", ""},
        {"  ", ""}};
    for (const auto& [typed, address] : cases) EXPECT_EQ(PageAddress(typed), address) << typed;
}

// The examples of RFC 3986, 5.4, the abnormal ones included.
TEST(ResolveAddress, AsBrowsersResolveLinks) {
    const std::pair<const char*, const char*> cases[] = {{"g:h", "g:h"},
                                                         {"g", "http://a/b/c/g"},
                                                         {"./g", "http://a/b/c/g"},
                                                         {"g/", "http://a/b/c/g/"},
                                                         {"/g", "http://a/g"},
                                                         {"//g", "http://g"},
                                                         {"?y", "http://a/b/c/d;p?y"},
                                                         {"g?y", "http://a/b/c/g?y"},
                                                         {"#s", "http://a/b/c/d;p?q#s"},
                                                         {"g?y#s", "http://a/b/c/g?y#s"},
                                                         {";x", "http://a/b/c/;x"},
                                                         {"", "http://a/b/c/d;p?q"},
                                                         {".", "http://a/b/c/"},
                                                         {"./", "http://a/b/c/"},
                                                         {"..", "http://a/b/"},
                                                         {"../g", "http://a/b/g"},
                                                         {"../..", "http://a/"},
                                                         {"../../g", "http://a/g"},
                                                         {"../../../g", "http://a/g"},
                                                         {"/./g", "http://a/g"},
                                                         {"/../g", "http://a/g"},
                                                         {"g.", "http://a/b/c/g."},
                                                         {"..g", "http://a/b/c/..g"},
                                                         {"./../g", "http://a/b/g"},
                                                         {"./g/.", "http://a/b/c/g/"},
                                                         {"g/./h", "http://a/b/c/g/h"},
                                                         {"g/../h", "http://a/b/c/h"},
                                                         {"g;x=1/../y", "http://a/b/c/y"},
                                                         {"g?y/./x", "http://a/b/c/g?y/./x"},
                                                         {"g#s/../x", "http://a/b/c/g#s/../x"},
                                                         {"http:g", "http:g"}};
    for (const auto& [reference, resolved] : cases)
        EXPECT_EQ(ResolveAddress("http://a/b/c/d;p?q", reference), resolved) << reference;
    EXPECT_EQ(ResolveAddress("http://h", "p"), "http://h/p");
}

TEST(BodyWithBase, LinksResolveAgainstThePageOrItsOwnWebBase) {
    const std::string page = "http://Site.example:81/dir/p?a=1&b=2";
    const std::string ours = R"(<base href="http://site.example:81/dir/p?a=1&amp;b=2">)";
    const std::pair<std::string, std::string> cases[] = {
        {"<p>x", ours + "<p>x"},
        {"\xEF\xBB\xBF \n<!-- c -->\n<!DOCTYPE html><p>",
         "\xEF\xBB\xBF \n<!-- c -->\n<!DOCTYPE html>" + ours + "<p>"},
        {"<!-- open", ours + "<!-- open"},
        {"<html><p>", ours + "<html><p>"},
        {"<BASE target=_top HREF = '../o/'>", R"(<base href="http://site.example:81/o/">)"},
        {"<base href=\"https://cdn.example/a b\">", R"(<base href="https://cdn.example/a%20b">)"},
        {"<basefont><base href=//cdn.example/x&amp;y>",
         R"(<base href="http://cdn.example/x&amp;y">)"},
        {"<base href=\"javascript:alert(1)\">", ours},
        {"<base href=\"file:///etc/\">", ours},
        {"<base href=http://x/\"<q>", R"(<base href="http://x/%22%3Cq">)"},
        {"<base target=x>", ours},
        {"<base href=\"http://\xC3\xA9.example/%41%\">",
         R"(<base href="http://%C3%A9.example/%41%25">)"}};
    for (const auto& [body, lead] : cases)
        EXPECT_EQ(BodyWithBase(body, page).substr(0, lead.size()), lead) << body;
    EXPECT_EQ(BodyWithBase("<b>", page), ours + "<b>");
    const std::string utf16 = "\xFF\xFE<\0b\0>\0";
    EXPECT_EQ(BodyWithBase(utf16, page), utf16) << "UTF-16 stays as it is";
}

// The address as the user typed it stays in PageUrl (the builder shows it); requests and the
// shown page use it as http.

}  // namespace
