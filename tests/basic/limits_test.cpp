// The built-in BASIC at its limits: memory and string space running out,
// deep nesting, and errors inside error handlers. Never a hang: every case
// ends at the prompt with the program kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "basic/support/BasicRun.h"

namespace velgard {
namespace {

using Rows = std::vector<std::string>;
using test::BasicRun;
using test::RunProgram;

std::string Join(const Rows& rows) {
    std::string s;
    for (const auto& r : rows) s += r + "\n";
    return s;
}

void ExpectOutput(const std::string& program, const Rows& want) {
    for (bool z80 : {false, true}) EXPECT_EQ(Join(RunProgram(program, z80)), Join(want)) << (z80 ? "Z80" : "8080");
}

TEST(BasicLimits, MemoryRunsOutWithErrorSevenAndTheProgramStays) {
    ExpectOutput(
        "10 ON ERROR GOTO 100\n"
        "20 DIM A(5000)\n"
        "30 DIM B(5000)\n"
        "40 PRINT \"NO\":END\n"
        "100 PRINT ERR;ERL;A(5000)\n"
        "110 GOSUB 110\n",
        {" 7  30  0", "Ошибка 7 в строке 110: не хватает памяти"});
}

TEST(BasicLimits, StringSpaceRunsOutWithErrorFourteen) {
    // 120 strings of 250 characters need 30000 bytes; the arrays take the
    // rest of the memory first.
    ExpectOutput(
        "10 DIM F(7000),S$(150)\n"
        "20 FOR I=1 TO 150:S$(I)=STRING$(250,65):NEXT\n",
        {"Ошибка 14 в строке 20: нет места для строк"});
}

TEST(BasicLimits, DeepNestingOfForGosubWhileAndExpressions) {
    ExpectOutput(
        "10 N=0:GOSUB 100:PRINT N\n"
        "20 X=((((((((((((((((((((1))))))))))))))))))))+2:PRINT X\n"
        "30 I=0:WHILE I<3:J=0:WHILE J<3:K=0:WHILE K<3:K=K+1:N=N+1:WEND:J=J+1:WEND:I=I+1:WEND:PRINT N\n"
        "40 FOR A=1 TO 2:FOR B=1 TO 2:FOR C=1 TO 2:FOR D=1 TO 2:N=N+1:NEXT D,C,B,A:PRINT N\n"
        "50 END\n"
        "100 N=N+1:IF N<20 THEN GOSUB 100\n"
        "110 RETURN\n",
        {" 20", " 3", " 47", " 63"});
}

TEST(BasicLimits, ErrorsInsideTheHandlerAndResumeToALine) {
    ExpectOutput(
        "10 ON ERROR GOTO 100\n"
        "20 PRINT 1/0\n"
        "30 PRINT \"BACK\":ON ERROR GOTO 200:X=SQR(-1)\n"
        "40 PRINT \"END\":END\n"
        "100 PRINT \"CAUGHT\";ERR:RESUME 30\n"
        "200 PRINT \"SECOND\";ERR:ERROR 11\n",
        {"CAUGHT 11", "BACK", "SECOND 5", "Ошибка 11 в строке 200: деление на ноль"});
}

TEST(BasicLimits, ForWithoutNextWhileWithoutWendAndOutOfData) {
    ExpectOutput(
        "10 ON ERROR GOTO 100\n"
        "20 FOR I=5 TO 1\n"
        "30 WHILE 0\n"
        "40 READ A\n"
        "50 END\n"
        "100 PRINT ERR;ERL:E=E+1:IF E=1 THEN RESUME 30\n"
        "110 IF E=2 THEN RESUME 40\n"
        "120 RESUME 50\n",
        {" 26  20", " 29  30", " 4  40"});
}

TEST(BasicLimits, OverlongLinesAndStringsAreRefused) {
    for (bool z80 : {false, true}) {
        BasicRun run;
        run.z80 = z80;
        // 300 characters: the line stops taking keys at 255 (a beep each).
        run.typed = "PRINT \"" + std::string(293, 'X') + "\"\rA$=STRING$(255,66):PRINT LEN(A$+\"\")\r";
        const auto r = run.Run();
        EXPECT_TRUE(r.Has(" 255")) << r.Screen();
        EXPECT_EQ(r.rows[15], "") << r.Screen();
    }
}

}  // namespace
}  // namespace velgard
