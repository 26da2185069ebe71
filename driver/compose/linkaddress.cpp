#include "driver/compose/linkaddress.h"

#include <optional>

namespace {

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool Allowed(char c)
{
    static constexpr std::string_view kMarks = "-._~:/?#[]@!$&'()*+,;=";
    return IsAlpha(c) || IsDigit(c) || kMarks.find(c) != std::string_view::npos;
}

// As a browser reads an address: C0 controls and spaces around it dropped,
// tabs and line breaks inside it too ("java\tscript:" is javascript:).
std::string Cleaned(std::string_view address)
{
    size_t first = 0, last = address.size();
    while (first < last && static_cast<unsigned char>(address[first]) <= 0x20) ++first;
    while (last > first && static_cast<unsigned char>(address[last - 1]) <= 0x20) --last;
    std::string cleaned;
    for (const char c : address.substr(first, last - first))
        if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
    return cleaned;
}

// The length of the scheme before its colon; 0 when there is none.
size_t SchemeLength(std::string_view address)
{
    if (address.empty() || !IsAlpha(address[0])) return 0;
    size_t at = 1;
    while (at < address.size() &&
           (IsAlpha(address[at]) || IsDigit(address[at]) || address[at] == '+' || address[at] == '-' ||
            address[at] == '.'))
        ++at;
    return at < address.size() && address[at] == ':' ? at : 0;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// An address in its five parts (RFC 3986, 3); a part left out is not the
// same as an empty one.
struct Parts {
    std::optional<std::string> scheme, authority, query, fragment;
    std::string path;
};

Parts Split(std::string_view address)
{
    Parts parts;
    if (const size_t length = SchemeLength(address); length > 0) {
        parts.scheme = std::string(address.substr(0, length));
        address.remove_prefix(length + 1);
    }
    if (const size_t hash = address.find('#'); hash != std::string_view::npos) {
        parts.fragment = std::string(address.substr(hash + 1));
        address = address.substr(0, hash);
    }
    if (const size_t question = address.find('?'); question != std::string_view::npos) {
        parts.query = std::string(address.substr(question + 1));
        address = address.substr(0, question);
    }
    if (address.substr(0, 2) == "//") {
        const size_t slash = address.find('/', 2);
        parts.authority = std::string(address.substr(2, slash == std::string_view::npos ? slash : slash - 2));
        address = slash == std::string_view::npos ? std::string_view() : address.substr(slash);
    }
    parts.path = std::string(address);
    return parts;
}

std::string Joined(const Parts& parts)
{
    std::string address;
    if (parts.scheme) address += *parts.scheme + ":";
    if (parts.authority) address += "//" + *parts.authority;
    address += parts.path;
    if (parts.query) address += "?" + *parts.query;
    if (parts.fragment) address += "#" + *parts.fragment;
    return address;
}

// RFC 3986, 5.2.4.
std::string WithoutDotSegments(std::string_view path)
{
    std::string output;
    while (!path.empty()) {
        if (path.substr(0, 3) == "../") {
            path.remove_prefix(3);
        } else if (path.substr(0, 2) == "./") {
            path.remove_prefix(2);
        } else if (path.substr(0, 3) == "/./") {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.substr(0, 4) == "/../" || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const size_t slash = output.rfind('/');
            output.erase(slash == std::string::npos ? 0 : slash);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const size_t next = path.find('/', 1);
            const size_t length = next == std::string_view::npos ? path.size() : next;
            output += path.substr(0, length);
            path.remove_prefix(length);
        }
    }
    return output;
}

}  // namespace

std::string ResolvedAddress(std::string_view reference, std::string_view base)
{
    const Parts r = Split(reference), b = Split(base);
    Parts t;
    if (r.scheme) {
        t = r;
        t.path = WithoutDotSegments(r.path);
        return Joined(t);
    }
    if (r.authority) {
        t.authority = r.authority;
        t.path = WithoutDotSegments(r.path);
        t.query = r.query;
    } else {
        if (r.path.empty()) {
            t.path = b.path;
            t.query = r.query ? r.query : b.query;
        } else {
            if (r.path[0] == '/') {
                t.path = WithoutDotSegments(r.path);
            } else if (b.authority && b.path.empty()) {
                t.path = WithoutDotSegments("/" + r.path);
            } else {
                const size_t slash = b.path.rfind('/');
                const std::string merged =
                    (slash == std::string::npos ? std::string() : b.path.substr(0, slash + 1)) + r.path;
                t.path = WithoutDotSegments(merged);
            }
            t.query = r.query;
        }
        t.authority = b.authority;
    }
    t.scheme = b.scheme;
    t.fragment = r.fragment;
    return Joined(t);
}

std::string PercentEncoded(std::string_view address)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(address.size());
    for (size_t at = 0; at < address.size(); ++at) {
        const char c = address[at];
        const bool escape = c == '%' && at + 2 < address.size() && IsHex(address[at + 1]) && IsHex(address[at + 2]);
        if (Allowed(c) || escape) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kDigits[byte >> 4];
        encoded += kDigits[byte & 0x0F];
    }
    return encoded;
}

LinkAddress CheckLinkAddress(std::string_view given, std::string_view givenBase)
{
    std::string address = Cleaned(given);
    if (SchemeLength(address) == 0) {
        const std::string base = Cleaned(givenBase);
        if (SchemeLength(base) == 0) return {LinkAddress::Verdict::Relative, {}, 0};
        address = ResolvedAddress(address, base);
    }
    const size_t length = SchemeLength(address);
    const std::string scheme = Lower(std::string_view(address).substr(0, length));
    if (scheme != "http" && scheme != "https" && scheme != "mailto")
        return {LinkAddress::Verdict::Scheme, scheme + ":", 0};
    const std::string encoded = scheme + PercentEncoded(std::string_view(address).substr(length));
    if (encoded.size() > kMaxLinkAddressBytes) return {LinkAddress::Verdict::TooLong, {}, encoded.size()};
    return {LinkAddress::Verdict::Kept, encoded, 0};
}
