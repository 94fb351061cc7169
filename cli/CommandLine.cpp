#include "cli/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "cli/ListFile.h"
#include "cli/Usage.h"
#include "pdf/Exception.h"
#include "platform/Memory.h"
#include "platform/Safety.h"

namespace {

constexpr int kMaxArgc = 9; // the program name and at most eight arguments

constexpr const char* kTooManyText =
    "\nError! too many parameters, you can append max 2 files at once!\n"
    "i.e. Foliobind 1.pdf 2.pdf -o3.pdf  or use a list to process many files!\n";
constexpr const char* kListHintText =
    "e.g. dir /B *.pdf > list.txt, then Foliobind list.txt -ooutputfile.pdf\n\n";
constexpr const char* kWildcardText =
    "\nError! Wildcards * are not permitted, if you want to process many files then do:"
    " dir /B *.pdf > list.txt, then Foliobind list.txt -ooutputfile.pdf\n\n";
constexpr const char* kFirstOutputText = "\nError! -o cannot be used in first parameter\n\n";
constexpr const char* kSpacedOutputText =
    "\nError! -o cannot have a space after o parameter, i.e. use -ooutput.pdf\n\n";
constexpr const char* kLongTempText =
    "\nError! -temp folder name is longer than 255 characters\n\n";

// What the argument scan found besides the global options it records.
struct ArgumentScan {
    bool hasWildcard = false;
    bool isQuiet = false;
    const char* valuelessOption = nullptr; // a value option given as the last argument
};

bool StartsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool IsEqual(const char* text, const char* other)
{
    return std::strcmp(text, other) == 0;
}

// "-temp" values lose their double quotes, and repeated "-temp" values add up.
void AppendTempPath(const char* value)
{
    for (const char* c = value; *c; ++c) {
        if (*c != '"')
            g_tempPath.push_back(*c);
    }
}

// Records the option that argument i names, taking its value from argument i + 1.
// False when argument i is a value option without a value.
bool RecordValueOption(int i, int argc, char** argv)
{
    const char* option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (IsEqual(option, "-listdelim")) {
        if (hasValue)
            g_listDelim = argv[i + 1];
    } else if (IsEqual(option, "-listusecol")) {
        if (hasValue)
            g_listUseCol = argv[i + 1];
    } else if (IsEqual(option, "-listout")) {
        if (hasValue)
            g_listOut = argv[i + 1];
    } else if (IsEqual(option, "-temp")) {
        if (hasValue)
            AppendTempPath(argv[i + 1]);
    } else {
        return true;
    }
    return hasValue;
}

// Every argument in turn, option values included, like any other argument. A wildcard stops
// the scan at once; the other findings are reported by the caller after the scan.
ArgumentScan ScanArguments(int argc, char** argv)
{
    ArgumentScan scan;
    for (int i = 1; i < argc; ++i) {
        if (std::strchr(argv[i], '*')) {
            scan.hasWildcard = true;
            return scan;
        }
        if (IsEqual(argv[i], "-quiet"))
            scan.isQuiet = true;
        if (!RecordValueOption(i, argc, argv) && !scan.valuelessOption)
            scan.valuelessOption = argv[i];
    }
    return scan;
}

int RefuseWithUsage(const char* message)
{
    PrintUsage();
    std::printf("%s", message);
    return 1;
}

// Checks made before any job runs, in this order: argument count, wildcards, a value option
// with no value (usage and a message), an over-long "-temp" path (message only; the folder
// must leave room in a 256-byte path), then the placement of "-o". 0 when all pass.
int CheckArguments(int argc, char** argv, bool& isQuiet)
{
    if (argc < 2 || argc > kMaxArgc) {
        PrintUsage();
        if (argc > kMaxArgc)
            std::printf("%s%s", kTooManyText, kListHintText);
        return 1;
    }
    const ArgumentScan scan = ScanArguments(argc, argv);
    if (scan.hasWildcard) {
        std::printf("%s", kWildcardText);
        return 1;
    }
    if (scan.valuelessOption) {
        PrintUsage();
        std::printf("\nError! %s needs a value\n\n", scan.valuelessOption);
        return 1;
    }
    if (g_tempPath.size() > kMaxNameLength) {
        std::printf("%s", kLongTempText);
        return 1;
    }
    if (StartsWith(argv[1], "-o"))
        return RefuseWithUsage(kFirstOutputText);
    if ((argc >= 3 && IsEqual(argv[2], "-o")) || (argc >= 4 && IsEqual(argv[3], "-o ")))
        return RefuseWithUsage(kSpacedOutputText);
    isQuiet = scan.isQuiet;
    return 0;
}

// An option in third place that sends even two PDF files through the list driver.
bool IsListRouteOption(const char* argument)
{
    return StartsWith(argument, "-g") || StartsWith(argument, "-l") || StartsWith(argument, "-e") ||
        StartsWith(argument, "-no") || StartsWith(argument, "-temp");
}

// One argument: usage. Three to five with a plain third argument: one job with that argument
// as its output. Everything else asks the list driver first and, for a non-list, appends
// argument 2 onto argument 1 in place. The run's status unless a CPdfException ends it: -2
// for a plain list that left files out, else 0.
int Dispatch(CFoliobind& job, int argc, char** argv)
{
    if (argc == 2) {
        PrintUsage();
        return 0;
    }
    if (argc >= 4 && argc <= 6 && !IsListRouteOption(argv[3])) {
        job.Append(argv[1], argv[2], argv[3], argc, argv);
        return 0;
    }
    const int listed = RunListFile(argv[1], argv[2], argc, argv);
    if (listed == 0)
        job.Append(argv[1], argv[2], nullptr, argc, argv);
    return listed == kListLeftFilesOut ? kFailureStatus : 0;
}

// The one place a failure that ends the run is caught: its message, the shared files closed,
// and the status it carries (-4 damaged, -3 encrypted, -2 any other).
int RunJob(int argc, char** argv)
{
    try {
        auto job = std::make_unique<CFoliobind>();
        return Dispatch(*job, argc, argv);
    } catch (const CPdfException& failure) {
        std::printf("%s\r\n", failure.what());
        return failure.status();
    }
}

int RunCommandLine(int argc, char** argv)
{
    bool isQuiet = false;
    if (CheckArguments(argc, argv, isQuiet) != 0)
        return 1;
    if (!isQuiet)
        PrintBanner();
    return RunJob(argc, argv);
}

} // namespace

int FoliobindMain(int argc, char** argv)
{
    PlatformInstallSignalCleanup();
    PlatformPrepareHeap();
    const int status = RunCommandLine(argc, argv);
    std::fflush(stdout);
    return status;
}
