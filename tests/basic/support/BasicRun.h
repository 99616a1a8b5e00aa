#pragma once
// Runs the machine with a "+BAS" ROM set in-process, types a text on the
// Korvet keyboard (shift and alphabet keys as needed) and reads the text
// screen back, for the tests of the built-in BASIC.
#include <string>
#include <vector>

namespace velgard::test {

struct BasicRun {
    int rom = 1;
    bool z80 = false;
    std::string typed;             // UTF-8; '\r' is ВК, '\x03' СТОП, '\x01' waits 25 frames
    int maxFrames = 20000;         // a hard stop
    int settleFrames = 30;         // after typing: stop once the screen
                                   // ends at an "Ok" prompt for this long
    std::string driveA;            // disk image for drive A, or none
    std::string wav;               // record the sound here, or none
    std::vector<std::string> watch;  // rows whose first appearance is timed

    struct Result {
        std::vector<std::string> rows;   // 16 rows in UTF-8, trailing blanks cut
        int frames = 0;
        int configuration = 0;
        std::vector<int> watchFrames;    // frame each watched row appeared, or -1
        // The rows as one text, a line each.
        std::string Screen() const;
        // The rows from the last one starting with `prefix` (the echo of a
        // command) down to the bottom, without the final "Ok".
        std::vector<std::string> After(const std::string& prefix) const;
        bool Has(const std::string& row) const;
    };
    Result Run() const;
};

// Types `program` (lines separated by '\n'), then RUN, and returns the
// rows the program printed (between the RUN echo and the final "Ok").
std::vector<std::string> RunProgram(const std::string& program, bool z80 = false, int rom = 1);

}  // namespace velgard::test
