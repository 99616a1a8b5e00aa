// A reference run: classic deterministic programs in the Microsoft dialect
// give the same output on the built-in BASIC and on Debian's bwbasic, an
// independent interpreter. bwbasic formats numbers its own way (0.5000000
// for .5, no blank after a number), so the programs put a blank between a
// number and a text, and the outputs are compared item by item: numbers
// by value (seven digits), everything else as it stands. (bwbasic 2.20
// also needs FOR and NEXT on lines of their own.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "basic/support/BasicRun.h"
#include "support/TestSupport.h"

namespace velgard {
namespace {

std::vector<std::string> Items(const std::string& text) {
    std::vector<std::string> items;
    std::istringstream in(text);
    std::string word;
    while (in >> word) items.push_back(word);
    return items;
}

bool IsNumber(const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == 0 && !s.empty();
}

// Runs the program on bwbasic; the lines it printed, without its banner
// and prompt. Empty when bwbasic is not installed.
std::string RunBwbasic(const std::string& program, bool& found) {
    found = std::system("command -v bwbasic >/dev/null 2>&1") == 0;
    if (!found) return {};
    test::TempDir dir;
    const auto file = dir / "prog.bas";
    std::ofstream(file) << program << "\n";
    const std::string command = "cd '" + dir.Path().string() + "' && bwbasic prog.bas </dev/null 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    // Drop the banner (up to its copyright lines) and the final prompt.
    std::istringstream in(out);
    std::string line, kept;
    bool banner = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '\r') line.erase(0, 1);
        if (banner) {
            if (line.find("Copyright") != std::string::npos || line.find("Bywater") != std::string::npos ||
                line.find_first_not_of(' ') == std::string::npos)
                continue;
            banner = false;
        }
        if (line.rfind("bwBASIC:", 0) == 0) break;
        kept += line + "\n";
    }
    return kept;
}

void ExpectSameAsBwbasic(const std::string& program) {
    bool found = false;
    const std::string want = RunBwbasic(program, found);
    if (!found) GTEST_SKIP() << "bwbasic is not installed (scripts/setup.sh installs it)";
    for (bool z80 : {false, true}) {
        std::string got;
        for (const auto& row : test::RunProgram(program, z80)) got += row + "\n";
        const auto a = Items(got), b = Items(want);
        ASSERT_EQ(a.size(), b.size()) << "ours:\n" << got << "bwbasic:\n" << want;
        for (std::size_t i = 0; i < a.size(); ++i) {
            double x = 0, y = 0;
            if (IsNumber(a[i], x) && IsNumber(b[i], y)) {
                EXPECT_NEAR(x, y, 1e-6 * std::max(1.0, std::fabs(y))) << "item " << i << "\n" << got;
            } else {
                EXPECT_EQ(a[i], b[i]) << "item " << i << "\n" << got;
            }
        }
    }
}

TEST(BasicReference, SieveOfEratosthenes) {
    ExpectSameAsBwbasic(
        "10 DIM F(100)\n"
        "20 FOR I=2 TO 10\n"
        "30 IF F(I)=1 THEN 70\n"
        "40 FOR J=I*I TO 100 STEP I\n"
        "50 F(J)=1\n"
        "60 NEXT J\n"
        "70 NEXT I\n"
        "80 C=0\n"
        "90 FOR I=2 TO 100\n"
        "100 IF F(I)=0 THEN PRINT I;\n"
        "105 IF F(I)=0 THEN C=C+1\n"
        "110 NEXT I\n"
        "120 PRINT\n"
        "130 PRINT \"PRIMES\";C\n"
        "140 END");
}

TEST(BasicReference, FibonacciAndTheGoldenRatio) {
    ExpectSameAsBwbasic(
        "10 A=1:B=1\n"
        "20 FOR I=1 TO 8\n"
        "30 C=A+B:A=B:B=C\n"
        "40 PRINT I;B;B/A\n"
        "50 NEXT I\n"
        "60 PRINT (1+SQR(5))/2\n"
        "70 END");
}

TEST(BasicReference, TablesOfFunctionsAndSubroutines) {
    ExpectSameAsBwbasic(
        "10 FOR F=0 TO 100 STEP 25\n"
        "20 GOSUB 100\n"
        "30 PRINT F;C;INT(C+.5);SQR(F);ABS(C-10)\n"
        "40 NEXT F\n"
        "50 N=6:GOSUB 200:PRINT \"FACT\";R\n"
        "60 P=1000\n"
        "62 FOR Y=1 TO 3\n"
        "64 P=P*1.05\n"
        "66 NEXT Y\n"
        "68 PRINT INT(P*100+.5)/100\n"
        "70 END\n"
        "100 C=(F-32)*5/9:RETURN\n"
        "200 R=1\n"
        "210 FOR K=2 TO N\n"
        "215 R=R*K\n"
        "218 NEXT K\n"
        "220 RETURN");
}

TEST(BasicReference, StringsTakenApartAndJoined) {
    ExpectSameAsBwbasic(
        "10 S$=\"KORVET PK8020\"\n"
        "20 R$=\"\"\n"
        "30 FOR I=LEN(S$) TO 1 STEP -1\n"
        "40 R$=R$+MID$(S$,I,1)\n"
        "50 NEXT I\n"
        "60 PRINT R$;LEN(R$)\n"
        "70 V=0\n"
        "80 FOR I=1 TO LEN(S$)\n"
        "90 IF INSTR(\"AEIOU\",MID$(S$,I,1))>0 THEN V=V+1\n"
        "100 NEXT I\n"
        "110 PRINT \"VOWELS\";V;\" \";LEFT$(S$,3);RIGHT$(S$,4);ASC(S$);\" \";CHR$(65)\n"
        "120 PRINT VAL(\"12.5\")*2;STR$(7)\n"
        "130 END");
}

}  // namespace
}  // namespace velgard
