// A block of lines redrawn in place on a terminal: the cursor goes back to
// the block's first line, each line is cleared and rewritten, and whatever
// an earlier, longer block left below is cleared.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace hddiag {

// Columns a line takes on screen: its characters without SGR sequences.
size_t VisibleColumns(const std::string& line);

class TerminalFrame {
public:
    explicit TerminalFrame(std::ostream& out) : m_out(out) {}

    // Replaces the block on screen with `text` (lines joined by '\n', each
    // narrower than `width`, the terminal's width now). A terminal that got
    // narrower has rewrapped the old lines: they are counted at the new width.
    void Draw(const std::string& text, int width);
    // Leaves the block on screen and moves below it; the next Draw starts a
    // new block.
    void Finish();

private:
    std::ostream& m_out;
    std::vector<size_t> m_columns;  // of each line of the block on screen
};

}  // namespace hddiag
