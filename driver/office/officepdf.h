#pragma once

// An office deck (a presentation program's file) turned into a PDF by
// LibreOffice, for the PDF form to convert. LibreOffice runs in a private
// folder of its own (its user profile, its temporary files and its output),
// headless, with a quiet environment, under a time limit; the folder is gone
// when the PDF is handed over, and also when the run fails or is interrupted.
// Linux only, as the PDF form.

#include <cstdint>
#include <string>

#include "driver/office/officename.h"

// The environment variable that names the program instead of soffice (or
// libreoffice) on PATH.
constexpr const char* kOfficeProgramVariable = "CORVANEX_SOFFICE";

struct OfficeConversion {
    std::string deckFile;
    int32_t timeLimitSeconds = kDefaultOfficeSeconds;
};

// The PDF of a deck, open, with no name left on the disk: `Path` opens it
// again (/proc/self/fd/N) for as long as this lives.
class OfficePDF {
public:
    // Runs LibreOffice on the deck. Throws ConverterError (status 1) naming
    // the deck: LibreOffice missing (and how to get it), the deck damaged,
    // needing a password or no presentation, the time limit passed, or no
    // PDF made.
    explicit OfficePDF(const OfficeConversion& conversion);
    ~OfficePDF();
    OfficePDF(const OfficePDF&) = delete;
    OfficePDF& operator=(const OfficePDF&) = delete;

    const std::string& Path() const { return path; }
    int Descriptor() const { return descriptor; }

private:
    int descriptor = -1;
    std::string path;
};
