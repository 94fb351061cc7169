// The list driver: turns a list file (plain or delimited) into one append job per line.
#pragma once

// listName is argument 1, secondArg argument 2; argc and argv are passed on to each job.
// Returns 0 when listName is not a list file (nothing done), 1 when the driver stopped with a
// message of its own, 2 when the list was processed. A CPdfException from a job passes through.
int RunListFile(const char* listName, const char* secondArg, int argc, char** argv);
