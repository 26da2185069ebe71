// Writes a slide-like PDF deck (see tests/support/pdfmaker.h):
//   makepdf [--pages N] [--portrait N] [--rotated N] [--cropped N] [--numbered]
//           [--user PASSWORD] [--owner PASSWORD] [--empty] output.pdf
// --portrait, --rotated and --cropped name a 1-based page and may be repeated.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/pdfmaker.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: makepdf [--pages N] [--portrait N] [--rotated N] [--cropped N] [--numbered]\n"
                 "               [--user PASSWORD] [--owner PASSWORD] [--empty] output.pdf\n");
    return 2;
}

bool PageNumber(const char* text, int32_t& value)
{
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || number < 1 || number > 100000) return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    pdfmaker::DeckOptions options;
    bool empty = false;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        int32_t page = 0;
        if (argument == "--numbered") {
            options.numberedCorners = true;
        } else if (argument == "--empty") {
            empty = true;
        } else if (argument == "--pages" && hasValue && PageNumber(argv[i + 1], page)) {
            options.pages = page, ++i;
        } else if (argument == "--portrait" && hasValue && PageNumber(argv[i + 1], page)) {
            options.portraitPages.insert(page), ++i;
        } else if (argument == "--rotated" && hasValue && PageNumber(argv[i + 1], page)) {
            options.rotatedPages.insert(page), ++i;
        } else if (argument == "--cropped" && hasValue && PageNumber(argv[i + 1], page)) {
            options.croppedPages.insert(page), ++i;
        } else if (argument == "--user" && hasValue) {
            options.userPassword = argv[++i];
        } else if (argument == "--owner" && hasValue) {
            options.ownerPassword = argv[++i];
        } else if (output.empty() && !argument.starts_with("--")) {
            output = argument;
        } else {
            return Usage();
        }
    }
    if (output.empty()) return Usage();
    const std::string pdf = empty ? pdfmaker::MakeEmptyDeck() : pdfmaker::MakeDeck(options);
    std::ofstream file(output, std::ios::binary);
    file << pdf;
    file.close();
    if (!file) {
        std::fprintf(stderr, "makepdf: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
