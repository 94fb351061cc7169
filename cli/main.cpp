#include "cli/CommandLine.h"

int main(int argc, char** argv)
{
    return FoliobindMain(argc, argv);
}
