// A plain list's output while the list grows it. Each line appends onto the output the list
// wrote itself, so the output is never read back: the bytes of every object the lines wrote go
// to a journal beside it, and the output is written whole from the journal only now and then.
// A line costs the bytes of its own file, not those of the output.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "append/NameTree.h"
#include "append/OutputFile.h"
#include "append/RunState.h"
#include "platform/File.h"

// Where a page-tree root's text takes the edits of a merge (kNoIndex: not in the text).
struct CRootLayout {
    bool isKnown = false;
    size_t kidsClose = SIZE_MAX;  // the "]" of a direct /Kids
    size_t countStart = SIZE_MAX; // a direct /Count's value
    size_t countEnd = SIZE_MAX;
};

// What the output after the last line that appended needs to be written: where that line's
// objects lie in the journal, and the first file's objects it did not copy as they stood.
struct COwnLine {
    uint64_t segmentStart = 0; // journal positions of the line's objects: those written before
    uint64_t bodyMark = 0;     // the first file's unchanged objects, and those after them
    uint64_t segmentEnd = 0;
    uint32_t firstCount = 0;   // object numbers the first file had (its table size)
    uint64_t rootMark = 0;     // where the page-tree root goes among the objects after them
    uint32_t pagesRoot = 0;
    std::set<uint32_t> late;   // first-file objects the line wrote only at the end
    // First-file objects copied as they stood and written again at the end: journal position
    // and length of the text they had.
    std::vector<std::pair<uint32_t, std::pair<uint64_t, uint64_t>>> copiedTwice;
    std::string header;        // from "%PDF-" to the first object
    uint32_t root = 0;
    uint32_t info = 0;         // 0 when the trailer names none
};

// An object's duplicate-search keys, taken when a line copied it (isTarget false: its text
// keeps it out of the search); position tells that the journal still holds that text.
struct COwnKeys {
    uint64_t shape = 0;
    uint64_t full = 0;
    uint64_t position = 0;
    bool isTarget = false;
};

// The output's tree of named destinations as a line wrote it: its object, its entries in key
// order with the text of their values, and their names. number is 0 when none is kept.
struct COwnNameTree {
    uint32_t number = 0;
    std::vector<CTreeEntry> entries;
    std::set<std::string> names;
    // The running line's: the names it adds, and whether they add to the kept names.
    std::vector<std::string> added;
    bool isAdding = false;
};

// The names of the output's top-level form fields, known from the line that wrote its field
// list: the list's length and its last field's number tell that it is still that list.
struct COwnFieldNames {
    bool isKnown = false;
    size_t count = 0;
    uint32_t last = 0;
    std::set<std::string> names;
    // The running line's, when it writes a field list: the names it adds (to the kept names
    // when isAdding, else to names read afresh) and the second-file number of its last field.
    bool isWritten = false;
    bool isAdding = false;
    std::vector<std::string> added;
    uint32_t lastSecond = 0;
};

// An output object the duplicate search found equal to a line's object, as it compared it: a
// list compares the same few (a font, a logo) with every line's file. It holds while the
// object's entry still points where it was read.
struct COwnCandidate {
    uint32_t offset = 0;
    bool isStream = false;
    std::string canonical;
    std::string tail; // the compared part of a stream's tail
    std::string data; // a stream's data
};

// The first-file entry a running line changed, as it was before.
struct COwnUndo {
    uint32_t number = 0;
    OutputEntry entry;
};

struct COwnOutput {
    bool isActive = false;
    std::string journalPath;
    CFileHandle reader;        // the journal, read back (the engine writes it as its output)
    uint64_t journalSize = 0;  // its length when the last line that counts ended
    uint32_t linesUnwritten = 0; // lines appended since the output was last written
    uint64_t tableSize = 0;    // the output's table size when the running line began
    uint64_t segmentStart = 0; // the running line's journal positions (see COwnLine)
    uint64_t bodyMark = 0;
    // Per object number: the length of its text in the journal, and its duplicate-search keys.
    std::vector<uint64_t> lengths;
    std::vector<uint64_t> shapeKeys;
    std::vector<uint64_t> fullKeys;
    // Objects the last line wrote, to be indexed for the duplicate search of the next.
    std::vector<uint32_t> pending;
    std::unordered_map<uint32_t, COwnKeys> copiedKeys; // keys of pending objects known already
    std::vector<std::pair<uint32_t, COwnKeys>> lineKeys; // the running line's, until it ends
    // The running line: first-file entries it changed, and targets it holds back.
    std::vector<COwnUndo> undo;
    std::unordered_set<uint32_t> held;
    std::unordered_map<uint64_t, uint32_t> heldShapes;
    COwnLine last;
    CRootLayout rootLayout;    // the output's page-tree root: where it takes edits, and its text,
    std::string rootHead;      // which only the output holds, not the journal
    CRootLayout nextRootLayout; // the same as the running line leaves them: a fresh text the
    std::string nextRootHead;   // first time, later the kept text edited in place, with the
    bool hasNextRootHead = false; // edits it made so that a failed line can take them back
    struct {
        bool isEdited = false;
        size_t insertAt = 0;
        size_t insertLength = 0;
        size_t countAt = 0;
        size_t countLength = 0;
        std::string countText;
    } rootEdit;
    // The output's page-tree root as the last line left it.
    struct {
        bool isKnown = false;
        uint32_t countObject = 0;
        uint32_t kidsObject = 0;
        uint32_t attributes = 0;
        int64_t count = -1;
    } root;
    std::unordered_map<uint32_t, COwnCandidate> candidates;
    size_t candidateBytes = 0;
    COwnNameTree dests;        // the output's destinations, and those the running line writes
    COwnNameTree nextDests;
    COwnFieldNames fields;     // the output's field names, and those the running line writes
    COwnFieldNames nextFields;
    std::string header;        // the running line's header
    uint64_t objectBytes = 0;   // text of the objects in use
    uint32_t inUseCount = 0;
    int64_t leaves = 0;         // pages under the output's page-tree root
    uint64_t outputSize = 0;    // the size the output has after the last line
    uint64_t writtenJournal = 0; // the journal's size when the output was last written
    uint64_t writtenSize = 0;    // and that output's size

    void NoteKeys(uint32_t number, uint64_t shape, uint64_t full)
    {
        if (number >= shapeKeys.size()) {
            shapeKeys.resize(number + 1);
            fullKeys.resize(number + 1);
        }
        shapeKeys[number] = shape;
        fullKeys[number] = full;
    }
};
