#include "cli/Globals.h"

std::string g_listDelim;
std::string g_listUseCol;
std::string g_listOut;
std::string g_tempPath;
