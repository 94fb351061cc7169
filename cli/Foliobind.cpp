#include "cli/Foliobind.h"

bool CFoliobind::Append(const char*, const char*, const char*, int, char**)
{
    return false;
}

bool CFoliobind::ScanOptions(int, char**)
{
    return true;
}

bool CFoliobind::CopyFile(const char*, const char*)
{
    return false;
}

uint32_t CFoliobind::CountPages(const char*)
{
    return 0;
}

void CFoliobind::RunAppend(const char*, const char*, const char*)
{
}
