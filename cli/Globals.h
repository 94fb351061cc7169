// Process-wide state: the list options recorded by the command line and the temporary folder.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/Exception.h"
#include "platform/File.h"

constexpr size_t kMaxNameLength = 255; // names and paths are limited to 255 characters

extern std::string g_listDelim;
extern std::string g_listUseCol;
extern std::string g_listOut;
extern std::string g_tempPath;
