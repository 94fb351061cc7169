// How one append job ended, as the list driver needs to know it.
#pragma once

enum class JobOutcome {
    Done,     // the second file was appended (or copied into place)
    Filtered, // a page filter left it out: the one reason a list may skip a file
    Failed,   // not appended; the destination is as it was
    Fatal,    // not appended because the destination cannot be replaced: a list must end here
};
