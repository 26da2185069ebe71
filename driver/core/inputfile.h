#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Every file the converter reads is opened here first: without blocking, so
// that a FIFO (or a device) is refused rather than waited on for ever; it must
// be a regular file; and it must not be one of the run's outputs
// (OutputGuard). Messages name the file and its role (`what`: "slide image",
// "stop-point file", ...). Throws ConverterError: status 1 when the file
// cannot be opened ("cannot open the <what> '<name>': <reason><hint>") or is
// not a regular file ("cannot read the <what> '<name>': it is a directory" or
// "...: it is not a regular file"), 2 when it is an output.

struct stat;

// The open descriptor, blocking again, for the caller to close; the file's
// status in `status` when asked.
int OpenInputFile(const std::string& name, const char* what, const char* hint = "", struct stat* status = nullptr);

// The same checks for a file a library then opens by name itself (the PDF
// engine, the sound decoders): opened, checked and closed again.
void CheckInputFile(const std::string& name, const char* what);

struct InputFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputFilePointer = std::unique_ptr<std::FILE, InputFileCloser>;

// The file opened and checked as OpenInputFile does, for reading with stdio.
InputFilePointer OpenForReading(const std::string& name, const char* what, const char* hint = "");

// The whole file; `what` names its role in messages ("slide image", ...).
// Thread-safe.
std::vector<uint8_t> LoadWholeFile(const std::string& name, const char* what);
