#pragma once

// What a document's link may open from the movie. A movie embedded in a site
// that allows it script access runs a javascript: (or data:, vbscript:, ...)
// address in that site's origin, and a file: address reads the viewer's
// disk: only http, https and mailto addresses are opened. A relative address
// is resolved against the document's base first, so that a base of another
// scheme cannot make it one. What is opened is ASCII: the movie's strings are
// bytes that a player reads in a code page of its own.

#include <cstddef>
#include <string>
#include <string_view>

// The longest address a link keeps, in bytes once encoded. The action that
// opens it holds 65535 bytes at most; web servers commonly refuse request
// lines past 8 KiB (so a longer web address fails there anyway), while
// tracking and redirect addresses of a few KiB are common enough that the
// 2,000 some old browsers took would cut real links.
constexpr size_t kMaxLinkAddressBytes = 8192;

struct LinkAddress {
    enum class Verdict {
        Kept,
        Scheme,    // of a scheme other than http, https and mailto
        Relative,  // relative, and the document gives no base to resolve it against
        TooLong,   // longer than kMaxLinkAddressBytes once encoded
    };
    Verdict verdict = Verdict::Kept;
    // Kept: what the movie opens. Scheme: the scheme, in lower case with its
    // colon ("javascript:").
    std::string text;
    size_t bytes = 0;  // TooLong: the encoded address's length
};

// `address` as a link gives it, `base` the document's (empty: none).
LinkAddress CheckLinkAddress(std::string_view address, std::string_view base);

// A reference resolved against an absolute base, as RFC 3986 (5.2) does it.
std::string ResolvedAddress(std::string_view reference, std::string_view base);

// Every byte an address may not hold as it is (non-ASCII, controls, space,
// and the characters that are neither reserved nor unreserved) as %XX; a
// valid %XX escape stays as it is.
std::string PercentEncoded(std::string_view address);
