// What a link may open from the movie: http, https and mailto addresses,
// relative ones resolved as RFC 3986 resolves them, in ASCII.

#include "driver/compose/linkaddress.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Verdict = LinkAddress::Verdict;

TEST(LinkAddress, RelativeReferencesResolveAsRFC3986sExamples)
{
    // RFC 3986, 5.4.1 and 5.4.2, against its base.
    const std::string base = "http://a/b/c/d;p?q";
    const std::vector<std::pair<std::string, std::string>> examples = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, resolved] : examples) EXPECT_EQ(ResolvedAddress(reference, base), resolved) << reference;
    // A base with an authority and no path.
    EXPECT_EQ(ResolvedAddress("g", "http://a"), "http://a/g");
}

TEST(LinkAddress, OnlyWebAndMailAddressesAreKeptHoweverTheSchemeIsWritten)
{
    const std::vector<std::pair<std::string, std::string>> kept = {
        {"https://example.org/talk", "https://example.org/talk"},
        {"HTTP://Example.org/A", "http://Example.org/A"},
        {"mailto:someone@example.org?subject=Talk", "mailto:someone@example.org?subject=Talk"},
        // As a browser reads them: spaces and controls around, tabs and
        // line breaks inside, dropped.
        {" \x01https://example.org/\n", "https://example.org/"},
        {"ht\ttp\ns://example.org/", "https://example.org/"},
    };
    for (const auto& [given, opened] : kept) {
        const LinkAddress address = CheckLinkAddress(given, "");
        EXPECT_EQ(address.verdict, Verdict::Kept) << given;
        EXPECT_EQ(address.text, opened) << given;
    }
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"javascript:alert(1)", "javascript:"},
        {"JavaScript:alert(1)", "javascript:"},
        {"  \x0Cjavascript:alert(1)", "javascript:"},
        {"java\tscript:alert(1)", "javascript:"},
        {"java\r\nscript:alert(1)", "javascript:"},
        {"vbscript:msgbox(1)", "vbscript:"},
        {"data:text/html,<script>alert(1)</script>", "data:"},
        {"file:///etc/passwd", "file:"},
        {"C:\\Windows\\calc.exe", "c:"},
        {"ftp://example.org/", "ftp:"},
    };
    for (const auto& [given, scheme] : refused) {
        const LinkAddress address = CheckLinkAddress(given, "https://example.org/");
        EXPECT_EQ(address.verdict, Verdict::Scheme) << given;
        EXPECT_EQ(address.text, scheme) << given;
    }
}

TEST(LinkAddress, ARelativeAddressTakesTheBasesSchemeOrNone)
{
    const LinkAddress resolved = CheckLinkAddress("notes.html#part 2", "https://example.org/talks/deck.pdf");
    EXPECT_EQ(resolved.verdict, Verdict::Kept);
    EXPECT_EQ(resolved.text, "https://example.org/talks/notes.html#part%202");
    // A base of another scheme does not make a relative address a script.
    const LinkAddress script = CheckLinkAddress("alert(document.cookie)", "javascript:void(0);//");
    EXPECT_EQ(script.verdict, Verdict::Scheme);
    EXPECT_EQ(script.text, "javascript:");
    for (const char* base : {"", "  ", "talks/", "/talks/"})
        EXPECT_EQ(CheckLinkAddress("notes.html", base).verdict, Verdict::Relative) << base;
}

TEST(LinkAddress, WhatAnAddressMayNotHoldIsPercentEncoded)
{
    // Reserved and unreserved characters, and valid escapes, stay.
    const std::string plain = "https://example.org:8080/a-b_c.d~e/f;g=h?i=j&k=l+m,n!$'()*@[::1]#%2Fx%aB";
    EXPECT_EQ(PercentEncoded(plain), plain);
    EXPECT_EQ(PercentEncoded("/caf\xC3\xA9 menu"), "/caf%C3%A9%20menu");
    EXPECT_EQ(PercentEncoded("<\"{|}\\^`>"), "%3C%22%7B%7C%7D%5C%5E%60%3E");
    EXPECT_EQ(PercentEncoded(std::string("a\x01\x7F", 3) + std::string(1, '\0')), "a%01%7F%00");
    // A % that begins no escape is one.
    EXPECT_EQ(PercentEncoded("100% %zz %4"), "100%25%20%25zz%20%254");
}

TEST(LinkAddress, AnAddressLongerThanALinkKeepsIsRefusedByItsEncodedLength)
{
    const std::string prefix = "https://example.org/";
    const std::string longest = prefix + std::string(kMaxLinkAddressBytes - prefix.size(), 'a');
    EXPECT_EQ(CheckLinkAddress(longest, "").verdict, Verdict::Kept);
    const LinkAddress over = CheckLinkAddress(longest + "a", "");
    EXPECT_EQ(over.verdict, Verdict::TooLong);
    EXPECT_EQ(over.bytes, kMaxLinkAddressBytes + 1);
    // Three bytes an encoded space.
    const LinkAddress spaces = CheckLinkAddress(prefix + "x" + std::string(3000, ' ') + "x", "");
    EXPECT_EQ(spaces.verdict, Verdict::TooLong);
    EXPECT_EQ(spaces.bytes, prefix.size() + 2 + 9000);
}

}  // namespace
