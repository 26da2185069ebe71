#pragma once

// The library's one check of callers' obligations. A broken obligation is a
// programming error, not bad input: the report names the expression exactly as
// the library documents it, with file and line, and the program stops.
// User input (files, arguments) is checked by the callers before it gets here.

[[noreturn]] void FAssertionFailed(const char* expression, const char* file, int line);

#define F_ASSERT(condition, expression_text) \
    ((condition) ? static_cast<void>(0) : FAssertionFailed(expression_text, __FILE__, __LINE__))
