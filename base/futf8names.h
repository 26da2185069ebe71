#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// File names travel through the program in UTF-8 on every system. Windows
// takes them in UTF-16 at its wide calls: its narrow calls would read them
// in the ANSI code page and lose every letter outside it. Elsewhere they pass
// as they are.

// The path a UTF-8 name stands for, and back.
std::filesystem::path FPathFromUTF8(const std::string& name);
std::string FUTF8FromPath(const std::filesystem::path& path);

// fopen with a UTF-8 name.
std::FILE* FOpenUTF8(const std::string& name, const char* mode);

#ifdef _WIN32
std::wstring FWideFromUTF8(const std::string& text);
std::string FUTF8FromWide(const std::wstring& text);

// The system's message for an error code of GetLastError, without its final
// full stop and line break.
std::string FSystemMessage(unsigned long code);
#endif
