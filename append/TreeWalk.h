// Walks of the two trees an append edits: the page tree and the outline. A node reached twice
// (a page tree with a cycle or a shared kid, outline items whose /First or /Next chains loop or
// meet) makes the file damaged, since the output would hold the same loop for readers to hang on.
// The walks read object text as the copy does, without building values.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class CObjectReader;
struct CObjectText;

// The number of pages (leaves) under page-tree root rootNumber; text is scratch space.
// keep, when given, is offered the root's and each leaf's text as for the outline below, and
// says whether it took them: leaves are read whole for it until it takes no more.
int64_t CountPageTreeLeaves(CObjectReader& reader, uint32_t rootNumber, CObjectText& text,
                            const std::function<bool(uint32_t, CObjectText&)>& keep = nullptr);
// Follows every item of outline root outlineRoot (0: no outline) along /First and /Next; the
// root's own items, in order, go to topLevel when it is given. keep, when given, is offered
// each item's text once the walk is done with it, and may take it in exchange for another.
void CheckOutlineItems(CObjectReader& reader, uint32_t outlineRoot, CObjectText& text,
                       std::vector<uint32_t>* topLevel = nullptr,
                       const std::function<bool(uint32_t, CObjectText&)>& keep = nullptr);
