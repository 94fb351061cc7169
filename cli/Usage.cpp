#include "cli/Usage.h"

#include <cstdio>

namespace {

// Some example lines end in LF alone and others in CR LF; users and scripts have long seen
// the text this way, so it is kept byte for byte.
constexpr const char* kUsageText[] = {
    "Example usage:-\r\n",
    "Foliobind in1.pdf in2.pdf -ooutput.pdf\r\n",
    "\tin2.pdf will be appended onto in1.pdf to create output.pdf\r\n",
    "\r\n",
    "Foliobind in1.pdf in2.pdf\r\n",
    "\tin2.pdf will be appended onto in1.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf\n",
    "\tall files in list.txt will be appended onto output.pdf\r\n",
    "\te.g. list.txt file\r\n\tin1.pdf\r\n\tin2.pdf\r\n\tin3.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf -g1\n",
    "\tall files in list.txt greater than 1 pages will be appended onto output.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf -l5\n",
    "\tall files in list.txt less than 5 pages will be appended onto output.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf -e1\n",
    "\tall files in list.txt equal to 1 pages will be appended onto output.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf -g1 -l5\n",
    "\tall files in list.txt greater than 1 and less than 5 will be appended onto output.pdf\r\n",
    "\r\n",
    "Foliobind list.txt -ooutput.pdf -g1 -l5 -nobookmarks\n",
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one item, written over two lines
    "\tall files in list.txt greater than 1 and less than 5 will be appended onto output.pdf"
    " without bookmarks appended\r\n",
    "\r\n",
    "Foliobind in1.pdf in2.pdf -quiet\n",
    "\tin2.pdf will be appended onto in1.pdf in quiet mode, no std output text\r\n",
    "-listdelim <string>   listdelimiter for filelist, e.g.   -listdelim ,  would separate"
    " AAA.pdf,ACCOUNT: 1234546   on the comma\n",
    "-listusecol <string> columns to use in delimited file (optional, if not set"
    " then will use all), e.g. -listusecol 1,3   would use columns 1 & 3 only, i.e. skips 2."
    " note: col 0 is the filename\n",
    "-listout >string>   folder output\n",
    "\r\n",
    "Foliobind list.csv -listdelim , -listusecol 0,2  -listout out-csv\n",
    "\tTakes list.csv file and appends col0 and col2 files together to output folder out-csv\r\n",
    "-temp <path>  to redirect temporary files to a certain folder rather than current folder\n",
    "Foliobind in1.pdf in2.pdf -temp \"/tmp\"\n",
    "\r\n",
    "NOTE: the parameters have to be in the exact order, i.e. -o parameter has to be at the end,"
    " also if your filename has spaces in it then use double quotes around the filename,"
    " e.g. \"c:\\my test\\test file.pdf\"\n",
    "\nWildcards * are not permitted, if you want to process many files then do:"
    " dir /B *.pdf > list.txt, then Foliobind list.txt -ooutputfile.pdf\n",
    "\r\n",
    "\r\n",
};

} // namespace

void PrintBanner()
{
    std::printf("\r\nFoliobind 1.13 - appends PDF files\r\n\r\n");
}

void PrintUsage()
{
    PrintBanner();
    for (const char* item : kUsageText)
        std::printf("%s", item);
}
