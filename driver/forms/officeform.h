#pragma once

// An office deck (a .pptx, .odp, .key, ... file) turned into a slide show:
// LibreOffice makes a PDF of it (driver/office), and the PDF form converts
// that, with every option it takes. Messages name the deck, not the PDF made
// of it.

#include <cstdint>
#include <string>

#include "driver/compose/showcomposer.h"
#include "driver/forms/pdfform.h"
#include "driver/office/officepdf.h"

struct OfficeShowRequest : PDFShowRequest {
    std::string deckFile;
    // Where the PDF is kept (--keep-pdf), written as soon as LibreOffice has
    // made it; empty: not kept.
    std::string keptPDF;
    int32_t officeSeconds = kDefaultOfficeSeconds;
};

// Converts the deck to a PDF and the PDF to the show; the stop-point file
// beside the deck (talk.pptx -> talk.stp) when --stops names none. Throws
// ConverterError as GeneratePDFMovie does and as OfficePDF does.
SlideShowResult GenerateOfficeMovie(const OfficeShowRequest& request);
