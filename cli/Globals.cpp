#include "cli/Globals.h"

std::string g_listDelim;
std::string g_listUseCol;
std::string g_listOut;
std::string g_tempPath;
CFileHandle g_fileIn1;
CFileHandle g_fileIn2;
CFileHandle g_fileOut;
