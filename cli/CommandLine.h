// The program's entry: argument checks, global options, banner and usage, dispatch, and the
// one place where a CPdfException is caught and turned into an exit status.
#pragma once

int FoliobindMain(int argc, char** argv);
