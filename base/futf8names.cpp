#include "base/futf8names.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32

std::wstring FWideFromUTF8(const std::string& text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    // Bytes that are not UTF-8 (a caller's name in the ANSI code page) are read in that page.
    const bool utf8 = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0;
    const UINT page = utf8 ? CP_UTF8 : CP_ACP;
    const int needed = MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(page, 0, text.data(), size, wide.data(), needed);
    return wide;
}

std::string FUTF8FromWide(const std::wstring& text)
{
    if (text.empty()) return {};
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), needed, nullptr,
                        nullptr);
    return narrow;
}

std::string FSystemMessage(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? FUTF8FromWide(std::wstring(text, length)) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                                message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

std::filesystem::path FPathFromUTF8(const std::string& name)
{
    return std::filesystem::path(FWideFromUTF8(name));
}

std::string FUTF8FromPath(const std::filesystem::path& path)
{
    return FUTF8FromWide(path.wstring());
}

std::FILE* FOpenUTF8(const std::string& name, const char* mode)
{
    return _wfopen(FWideFromUTF8(name).c_str(), FWideFromUTF8(mode).c_str());
}

#else

std::filesystem::path FPathFromUTF8(const std::string& name)
{
    return std::filesystem::path(name);
}

std::string FUTF8FromPath(const std::filesystem::path& path)
{
    return path.string();
}

std::FILE* FOpenUTF8(const std::string& name, const char* mode)
{
    return std::fopen(name.c_str(), mode);
}

#endif
