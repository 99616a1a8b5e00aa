// Every key of the table in docs/keyboard.md, pressed through the key
// matrix, gives the code the table lists: in both alphabets, plain, with
// SHIFT and with CTRL. The firmware's own CONIN (0063h) reads them, called
// by a little program that the test types into the monitor.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "machine/KorvetKeyboard.h"
#include "firmware/support/FirmwareRun.h"

namespace velgard {
namespace {

using test::FirmwareRun;
using test::MatrixKey;

struct KeyRow {
    int row = 0, column = 0;
    std::string legend;
    // Latin plain, SHIFT, CTRL, then Cyrillic plain, SHIFT, CTRL.
    int codes[6] = {};
};

std::string Trim(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    const auto b = s.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// The rows "| row | column | key | code ... |" of the documented table;
// a code cell starts with two hexadecimal digits and 'h'.
std::vector<KeyRow> ReadTable() {
    std::ifstream in(std::string(VELGARD_SOURCE_DIR) + "/docs/keyboard.md");
    std::vector<KeyRow> table;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 3 || line[0] != '|' || line[2] < '0' || line[2] > '9') continue;
        std::vector<std::string> cells;
        std::stringstream ss(line.substr(1));
        std::string cell;
        while (std::getline(ss, cell, '|')) cells.push_back(Trim(cell));
        if (cells.size() < 9) continue;
        KeyRow k;
        k.row = std::stoi(cells[0]);
        k.column = std::stoi(cells[1]);
        k.legend = cells[2];
        for (int i = 0; i < 6; ++i) {
            const std::string& c = cells[static_cast<std::size_t>(3 + i)];
            k.codes[i] = c.size() >= 3 && c[2] == 'h' ? std::stoi(c.substr(0, 2), nullptr, 16) : -1;
        }
        table.push_back(k);
    }
    return table;
}

TEST(KeyboardTable, EveryDocumentedKeyGivesItsCodeInBothAlphabetsWithShiftAndCtrl) {
    const auto table = ReadTable();
    // 32 letter keys, 16 digit and punctuation keys, 8 editing keys, ESC
    // and СЕЛ, 11 keypad keys, 5 function keys.
    ASSERT_EQ(table.size(), 74u);

    FirmwareRun run;
    // 7000h: LXI H,7100h / loop: CALL 0063h / MOV M,A / INX H / JMP loop
    run.keys = test::Keys("M 7000 21 00 71 CD 63 0 77 23 C3 3 70\rG 7000\r");
    std::vector<int> expected;
    for (int alphabet = 0; alphabet < 2; ++alphabet) {
        run.keys.push_back({alphabet ? vk::kRMenu : vk::kLMenu});  // ГРФ or АЛФ
        for (const KeyRow& k : table) {
            const std::uint16_t key = MatrixKey(k.row, k.column);
            run.keys.push_back({key});
            run.keys.push_back({vk::kLShift, key});
            run.keys.push_back({vk::kLControl, key});
            for (int m = 0; m < 3; ++m) expected.push_back(k.codes[alphabet * 3 + m]);
        }
    }
    run.frames = 50 + static_cast<int>(run.keys.size()) * 8 + 20;  // 8 frames a chord
    const auto r = run.Run();

    for (std::size_t i = 0; i < expected.size(); ++i) {
        const KeyRow& k = table[(i / 3) % table.size()];
        const char* how[] = {"plain", "SHIFT", "CTRL"};
        EXPECT_EQ(r.ram[0x7100 + i], expected[i])
            << k.legend << " (" << k.row << "," << k.column << ") " << how[i % 3]
            << (i >= expected.size() / 2 ? ", Cyrillic" : ", Latin");
    }
    EXPECT_EQ(r.ram[0x7100 + expected.size()], 0) << "a code too many";
}

}  // namespace
}  // namespace velgard
