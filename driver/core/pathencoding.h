#pragma once

#include <string>

// A file path as the path of a URL: every byte but the unreserved ones and
// '/' as %XX (UTF-8 names byte by byte).
std::string PercentEncodedPath(const std::string& path);
