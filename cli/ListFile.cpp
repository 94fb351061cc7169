#include "cli/ListFile.h"

#include <cstring>

namespace {

// A list is named by its extension: ".tx" or ".cs" where a four-character extension starts
// (case-sensitive). Names of four characters or fewer have no room for "x" plus an extension
// and are taken as lists.
bool IsListName(const char* name)
{
    const size_t length = std::strlen(name);
    if (length < 5)
        return true;
    const char* extension = name + length - 4;
    return std::memcmp(extension, ".tx", 3) == 0 || std::memcmp(extension, ".cs", 3) == 0;
}

} // namespace

int RunListFile(const char* listName, const char*, int, char**)
{
    if (!IsListName(listName))
        return 0;
    // Reading the list and running its jobs is not in place yet: a list is accepted as done.
    return 2;
}
