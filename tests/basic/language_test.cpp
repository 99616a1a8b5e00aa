// The built-in BASIC: programs typed on the keyboard, their output read
// back from the screen, on both processors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "basic/support/BasicRun.h"

namespace velgard {
namespace {

using Rows = std::vector<std::string>;

// In typed text: half a second without keys.
#define PAUSE "\x01"
using test::BasicRun;
using test::RunProgram;

std::string Join(const Rows& rows) {
    std::string s;
    for (const auto& r : rows) s += r + "\n";
    return s;
}

// Runs the program on the 8080 and on the Z80; both must print `want`.
void ExpectOutput(const std::string& program, const Rows& want) {
    for (bool z80 : {false, true}) {
        const Rows got = RunProgram(program, z80);
        EXPECT_EQ(Join(got), Join(want)) << (z80 ? "Z80" : "8080");
    }
}

TEST(Basic, ArithmeticFollowsMicrosoftPrecedence) {
    ExpectOutput(
        "10 PRINT 2+3*4;(2+3)*4;2^3^2;-2^2;2^-1\n"
        "20 PRINT 7\\2;-7\\2;7 MOD 3;-7 MOD 3;10/4\n"
        "30 PRINT NOT 0;5 AND 3;5 OR 8;3 XOR 5;-1 AND 255\n"
        "40 PRINT 1<2;1=2;2>=2;1<>1;\"A\"<\"B\";\"AB\">\"A\"\n"
        "50 PRINT 1+2*3-4/2;1-2-3;2*3 MOD 4;NOT 1=2 AND 3<4\n",
        {" 14  20  64 -4  .5", " 3 -3  1 -1  2.5", "-1  1  13  6  255", "-1  0 -1  0 -1 -1",
         " 5 -4  2 -1"});
}

TEST(Basic, NumbersPrintTheMicrosoftWay) {
    ExpectOutput(
        "10 PRINT 1/3;2/3;100;-0.5;0\n"
        "20 PRINT 1E6;9999999;1E7;123456789\n"
        "30 PRINT .01;.001;-1.5E-10;1.5E+30\n"
        "40 PRINT 3.14159265;1/7;2^24;2^31\n"
        "50 PRINT STR$(12);\"|\";STR$(-1.25);\"|\"\n",
        {" .3333333  .6666667  100 -.5  0", " 1000000  9999999  1E+07  1.234568E+08",
         " .01  1E-03 -1.5E-10  1.5E+30", " 3.141593  .1428571  1.677722E+07  2.147484E+09", " 12|-1.25|"});
}

TEST(Basic, FunctionsOfNumbers) {
    ExpectOutput(
        "10 PRINT ABS(-3);SGN(-2);SGN(0);INT(-3.5);FIX(-3.5);CINT(2.5);CINT(-2.5)\n"
        "20 PRINT SQR(2);SQR(16);EXP(1);LOG(10);EXP(LOG(5))\n"
        "30 PRINT SIN(1);COS(1);TAN(1);ATN(1)*4\n"
        "40 PRINT INT(RND(1)*0)+0;RND(1)<1;RND(1)>=0\n"
        "50 PRINT PEEK(8192);&H7F;&O17;HEX$(255);\" \";OCT$(8)\n",
        {" 3 -1  0 -4 -3  3 -3", " 1.414214  4  2.718282  2.302585  5", " .841471  .5403023  1.557408  3.141593",
         " 0 -1 -1", " 86  127  15 FF 10"});
}

TEST(Basic, StringsAndTheirFunctions) {
    ExpectOutput(
        "10 A$=\"HELLO\":B$=A$+\", \"+\"WORLD\"\n"
        "20 PRINT B$;LEN(B$);LEFT$(B$,2);RIGHT$(B$,3);MID$(B$,4,4);MID$(B$,8)\n"
        "30 PRINT ASC(\"A\");CHR$(66);STRING$(3,\"*\");STRING$(2,65);\"[\";SPACE$(2);\"]\"\n"
        "40 PRINT INSTR(B$,\"L\");INSTR(5,B$,\"L\");INSTR(B$,\"Z\");VAL(\"12.5E1\");VAL(\"X\")\n"
        "50 IF A$<B$ THEN PRINT \"LESS\" ELSE PRINT \"MORE\"\n"
        "60 MID$(A$,2)=\"ipXXXX\":C$=B$:MID$(C$,1,1)=\"J\":PRINT A$;\" \";C$;\" \";B$\n",
        {"HELLO, WORLD 12 HERLDLO, WORLD", " 65 B***AA[  ]", " 3  11  0  125  0", "LESS",
         "HipXX JELLO, WORLD HELLO, WORLD"});
}

TEST(Basic, GarbageCollectionKeepsEveryLiveString) {
    // 40 array strings and a simple one survive thousands of discarded
    // temporaries; the string space is collected many times over.
    ExpectOutput(
        "10 DIM A$(40)\n"
        "20 FOR I=1 TO 40:A$(I)=STRING$(I,64+I MOD 26):NEXT\n"
        "30 K$=\"KEEP\"\n"
        "40 FOR J=1 TO 300:T$=STRING$(200,\"#\")+STR$(J):NEXT\n"
        "50 OK=-1:FOR I=1 TO 40\n"
        "60 IF A$(I)<>STRING$(I,64+I MOD 26) THEN OK=0\n"
        "70 NEXT:PRINT OK;K$;RIGHT$(T$,4);LEN(T$)\n",
        {"-1 KEEP 300 204"});
}

TEST(Basic, PrintUsingFormatsNumbersAndStrings) {
    ExpectOutput(
        "10 PRINT USING \"##.##\";3.14159;-2.5;.005;0\n"
        "20 PRINT USING \"$$#,###.## TOTAL\";1234.5\n"
        "30 PRINT USING \"+#.#  !  \\  \\  &|\";1.25,\"XYZ\",\"ABCDEF\",\"END\"\n"
        "40 PRINT USING \"###\";12345;-5\n"
        "50 PRINT USING \"**$##.##\";2.5:PRINT USING \"##.##-\";-1.5;1.5\n"
        "60 PRINT USING \"_##=##\";7\n",
        {" 3.14-2.50 0.01 0.00", " $1,234.50 TOTAL", "+1.3  X  ABCD  END|", "%12345 -5", "***$2.50",
         " 1.50- 1.50", "#7="});
}

TEST(Basic, ArraysOfOneAndMoreDimensions) {
    ExpectOutput(
        "10 DIM M(3,4),N%(2)\n"
        "20 FOR I=0 TO 3:FOR J=0 TO 4:M(I,J)=I*10+J:NEXT J,I\n"
        "30 PRINT M(2,3);M(3,4);X(10);N%(2)\n"
        "40 N%(1)=2.6:Y(5)=7:PRINT N%(1);Y(5)\n"
        "50 ERASE Y:DIM Y(20):Y(20)=1:PRINT Y(20)\n",
        {" 23  34  0  0", " 3  7", " 1"});
}

TEST(Basic, ControlStatements) {
    ExpectOutput(
        "10 FOR I=10 TO 1 STEP -3:PRINT I;:NEXT:PRINT\n"
        "20 FOR I=5 TO 1:PRINT \"NO\":NEXT:PRINT \"SKIPPED\";I\n"
        "30 GOSUB 200:PRINT \"BACK\"\n"
        "40 ON 2 GOSUB 210,220,230:ON 9 GOTO 10:ON 1 GOTO 50\n"
        "50 X=0:WHILE X<3:Y=0:WHILE Y<2:Y=Y+1:WEND:X=X+Y:WEND:PRINT X\n"
        "60 IF X=4 THEN PRINT \"FOUR\" ELSE PRINT \"NOT\":PRINT \"X\"\n"
        "70 IF X=5 THEN 80 ELSE 90\n"
        "80 PRINT \"WRONG\"\n"
        "90 RESTORE 110:READ A,B$:READ C:PRINT A;B$;C\n"
        "100 DEF FNH(A,B)=SQR(A*A+B*B):PRINT FNH(3,4);A\n"
        "110 DATA 1,\"TWO, 2\",3\n"
        "120 P=1:Q=2:SWAP P,Q:PRINT P;Q:END\n"
        "200 PRINT \"SUB\";:RETURN\n"
        "210 PRINT \"ONE\":RETURN\n"
        "220 PRINT \"TWO\":RETURN\n"
        "230 PRINT \"THREE\":RETURN\n",
        {" 10  7  4  1", "SKIPPED 5", "SUBBACK", "TWO", " 4", "FOUR", " 1 TWO, 2 3", " 5  1", " 2  1"});
}

TEST(Basic, ErrorsHaveMicrosoftNumbersAndShortRussianMessages) {
    // Command and the message on the row after it; four to a run so that
    // nothing scrolls away.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"NEXT", "Ошибка 1: NEXT без FOR"},
        {"PRINT 1+", "Ошибка 22: нет операнда"},
        {"RETURN", "Ошибка 3: RETURN без GOSUB"},
        {"READ A", "Ошибка 4: нет данных"},
        {"PRINT CHR$(300)", "Ошибка 5: неверный вызов функции"},
        {"X=1E30*1E30", "Ошибка 6: переполнение"},
        {"GOTO 99", "Ошибка 8: нет такой строки"},
        {"DIM Q(2):PRINT Q(3)", "Ошибка 9: индекс вне диапазона"},
        {"DIM R(1):DIM R(1)", "Ошибка 10: массив уже объявлен"},
        {"PRINT 5 MOD 0", "Ошибка 11: деление на ноль"},
        {"INPUT A", "Ошибка 12: не в прямом режиме"},
        {"PRINT \"A\"+1", "Ошибка 13: несоответствие типов"},
        {"A$=STRING$(200,65):B$=A$+A$", "Ошибка 15: длинная строка"},
        {"CONT", "Ошибка 17: продолжать нельзя"},
        {"PRINT FNZ(1)", "Ошибка 18: нет функции"},
        {"RESUME", "Ошибка 20: RESUME без ошибки"},
        {"WEND", "Ошибка 30: WEND без WHILE"},
        {"ERROR 200", "Ошибка 200: неизвестная ошибка"},
        {"X=5)", "Ошибка 2: синтаксическая ошибка"},
        {"A%=40000", "Ошибка 6: переполнение"},
    };
    for (bool z80 : {false, true}) {
        for (std::size_t first = 0; first < cases.size(); first += 4) {
            BasicRun run;
            run.z80 = z80;
            for (std::size_t i = first; i < cases.size() && i < first + 4; ++i) run.typed += cases[i].first + "\r";
            const auto r = run.Run();
            for (std::size_t i = first; i < cases.size() && i < first + 4; ++i) {
                EXPECT_EQ(r.After(cases[i].first).at(0), cases[i].second)
                    << (z80 ? "Z80 " : "8080 ") << r.Screen();
            }
        }
    }
}

TEST(Basic, IntegerVariablesTypesAndTrace) {
    ExpectOutput(
        "10 DEFINT I-K:I=7.6:J%=-2.5:A=7.6:B!=1/4\n"
        "20 PRINT I;J%;A;B!;I/2;I\\2\n"
        "30 DEFSTR S:S=\"STR\":PRINT S;LEN(S)\n"
        "40 TRON\n"
        "45 TROFF:PRINT\n"
        "50 RANDOMIZE 5:R1=RND(1):RANDOMIZE 5:PRINT R1=RND(1);RND(0)=RND(0)\n"
        "60 PRINT INKEY$=\"\";FRE(\"\")>30000;POS(0)\n",
        {" 8 -3  7.6  .25  4  4", "STR 3", "[45]", "-1 -1", "-1 -1  7"});
}

TEST(Basic, ErrorsBeforeTheScreenScrollsKeepVariablesAndLines) {
    BasicRun run;
    run.typed = "10 A=5\r20 PRINT A/0\rRUN\rPRINT A\rLIST\r";
    const auto r = run.Run();
    const auto rows = r.After("RUN");
    ASSERT_GE(rows.size(), 7u) << r.Screen();
    EXPECT_EQ(rows[0], "Ошибка 11 в строке 20: деление на ноль");
    EXPECT_EQ(rows[3], " 5");
    EXPECT_EQ(rows[6], "10 A=5");
    EXPECT_EQ(rows[7], "20 PRINT A/0");
}

TEST(Basic, OnErrorResumeErrAndErl) {
    ExpectOutput(
        "10 ON ERROR GOTO 100\n"
        "20 X=1/0:PRINT \"NEXT\"\n"
        "30 Y=Z(20):PRINT \"GOT\";Y\n"
        "40 ERROR 77\n"
        "50 ON ERROR GOTO 0:PRINT \"DONE\":END\n"
        "100 PRINT ERR;ERL\n"
        "110 IF ERR=9 THEN ERASE Z:DIM Z(20):Z(20)=8:RESUME\n"
        "120 RESUME NEXT\n",
        {" 11  20", "NEXT", " 9  30", "GOT 8", " 77  40", "DONE"});
}

TEST(Basic, InputReadsItemsAndAsksAgainOnBadOnes) {
    for (bool z80 : {false, true}) {
        BasicRun run;
        run.z80 = z80;
        run.typed = "10 INPUT \"NAME, AGE\";N$,A\r20 PRINT N$;A*2\r30 LINE INPUT L$:PRINT \"<\";L$;\">\"\rRUN\r"
                    PAUSE "Bob,X\r" PAUSE "Bob, 21\r" PAUSE " a, \"b\": c\r";
        const auto r = run.Run();
        const auto rows = r.After("RUN");
        SCOPED_TRACE(z80 ? "Z80" : "8080");
        ASSERT_EQ(rows.size(), 6u) << r.Screen();
        EXPECT_EQ(rows[0], "NAME, AGE? Bob,X");
        EXPECT_EQ(rows[1], "?Redo from start");
        EXPECT_EQ(rows[2], "NAME, AGE? Bob, 21");
        EXPECT_EQ(rows[3], "Bob 42");
        EXPECT_EQ(rows[4], " a, \"b\": c");
        EXPECT_EQ(rows[5], "< a, \"b\": c>");
    }
}

TEST(Basic, StopAndContinue) {
    BasicRun run;
    run.typed = "10 A=1\r20 STOP\r30 PRINT \"GO ON\";A\rRUN\rA=7\rCONT\r";
    const auto r = run.Run();
    const auto rows = r.After("RUN");
    ASSERT_EQ(rows.size(), 6u) << r.Screen();
    EXPECT_EQ(rows[0], "Прервано в строке 20");
    EXPECT_EQ(rows[5], "GO ON 7");
}

TEST(Basic, StopKeyBreaksATightLoopAndContGoesOn) {
    for (bool z80 : {false, true}) {
        BasicRun run;
        run.z80 = z80;
        run.typed = "10 I=I+1:GOTO 10\rRUN\r" PAUSE "\x03" PAUSE "J=I:PRINT I>0\rCONT\r" PAUSE "\x03" PAUSE
                    "PRINT I>J\r";
        const auto r = run.Run();
        const auto rows = r.After("RUN");
        ASSERT_EQ(rows.size(), 10u) << r.Screen();
        EXPECT_EQ(rows[0], "Прервано в строке 10");
        EXPECT_EQ(rows[3], "-1");
        EXPECT_EQ(rows[6], "Прервано в строке 10");
        EXPECT_EQ(rows[9], "-1");
    }
}

TEST(Basic, EditingLinesListingRangesAutoAndDelete) {
    BasicRun run;
    run.typed = "30 PRINT 3\r10 PRINT 1\r20 PRINT 2\r20 PRINT \"TWO\"\r30\rLIST\rLIST -10\rDELETE 10\r"
                "AUTO 100,5\rX=1\r?X\r\x03" PAUSE "LIST\r";
    const auto r = run.Run();
    const std::string s = r.Screen();
    const auto rows = r.After("LIST");
    ASSERT_EQ(rows.size(), 3u) << s;
    EXPECT_EQ(rows[0], "20 PRINT \"TWO\"");
    EXPECT_EQ(rows[1], "100 X=1");
    EXPECT_EQ(rows[2], "105 PRINT X");
    EXPECT_TRUE(r.Has("10 PRINT 1")) << s;
}

TEST(Basic, MonReachesTheMonitorAndGBringsBackTheProgram) {
    for (int rom : {0, 1}) {
        BasicRun run;
        run.rom = rom;
        run.typed = "10 PRINT \"KEPT\"\rMON\r" PAUSE "G 2014\r" PAUSE "RUN\r";
        const auto r = run.Run();
        EXPECT_TRUE(r.Has(">G 2014")) << r.Screen();
        EXPECT_EQ(r.After("RUN"), Rows{"KEPT"}) << r.Screen();
    }
}

}  // namespace
}  // namespace velgard
