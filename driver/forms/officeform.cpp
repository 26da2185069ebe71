#include "driver/forms/officeform.h"

#include <filesystem>
#include <vector>

#include <unistd.h>

#include "base/fatomicfile.h"
#include "driver/core/error.h"

namespace {

// The PDF form names its input; the user knows the deck: "the PDF
// '/proc/self/fd/5'" becomes "the PDF of 'talk.pptx'".
std::string NamedAfterDeck(std::string message, const std::string& pdf, const std::string& deck)
{
    const auto replace = [&message](const std::string& from, const std::string& to) {
        for (size_t at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size()))
            message.replace(at, from.size(), to);
    };
    replace("the PDF " + Quoted(pdf), "the PDF of " + Quoted(deck));
    replace(Quoted(pdf), Quoted(deck));
    return message;
}

ConverterError KeepingFailed(const std::string& kept, const std::string& reason)
{
    return ConverterError("cannot write the kept PDF " + Quoted(kept) + ": " + reason, kExitFailure);
}

// A copy of the PDF, whole, waiting beside its place for Commit.
void CopyPDF(const OfficePDF& pdf, const std::string& kept, FAtomicFile& file)
{
    const auto fail = [&](const std::string& reason) { return KeepingFailed(kept, reason); };
    std::string reason;
    if (!file.Open(kept, &reason)) throw fail(reason);
    std::vector<uint8_t> bytes(size_t{1} << 20);
    for (off_t at = 0;;) {
        const ssize_t count = pread(pdf.Descriptor(), bytes.data(), bytes.size(), at);
        if (count < 0) throw fail("cannot read the PDF LibreOffice made: " + ErrorText(errno));
        if (count == 0) break;
        if (!file.Write(bytes.data(), static_cast<size_t>(count), &reason)) throw fail(reason);
        at += count;
    }
}

}  // namespace

SlideShowResult GenerateOfficeMovie(const OfficeShowRequest& request)
{
    PDFShowRequest pdf = request;
    const std::string besideDeck = PDFStopFileName(request.deckFile);
    if (std::error_code error; pdf.stopsFile.empty() && std::filesystem::exists(besideDeck, error))
        pdf.stopsFile = besideDeck;
    const OfficePDF converted(OfficeConversion{request.deckFile, request.officeSeconds});
    // Its bytes written now, where a full disk fails the run before the
    // movie; put in place only once the movie is, when every input of the
    // run has been checked not to be it (OutputGuard).
    FAtomicFile kept;
    if (!request.keptPDF.empty()) CopyPDF(converted, request.keptPDF, kept);
    pdf.pdfFile = converted.Path();
    const auto named = [&](const std::string& message) {
        return NamedAfterDeck(message, converted.Path(), request.deckFile);
    };
    if (request.warn) pdf.warn = [&](const std::string& message) { request.warn(named(message)); };
    if (request.tell) pdf.tell = [&](const std::string& line) { request.tell(named(line)); };
    SlideShowResult show;
    try {
        show = GeneratePDFMovie(pdf);
    } catch (const ConverterError& error) {
        throw ConverterError(named(error.what()), error.ExitStatus());
    }
    if (std::string reason; !request.keptPDF.empty() && !kept.Commit(&reason))
        throw KeepingFailed(request.keptPDF, reason);
    return show;
}
