#include "cli/CommandLine.h"

int FoliobindMain(int, char**)
{
    return 0;
}
