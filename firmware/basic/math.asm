; Velgard BASIC: mathematical functions, powers and random numbers.

MT1     EQU 65D0h               ; work values (4 bytes each)
MT2     EQU 65D4h
MT3     EQU 65D8h
MN      EQU 65DCh

; POLY: FAC = the polynomial at HL (DB degree, then the coefficients from
; the highest power down) at FAC.
POLY:   PUSH HL
        LD HL,PX
        CALL STFAC
        POP HL
        LD A,(HL)
        INC HL
        LD (PCNT),A
        PUSH HL
        CALL LDFAC
        POP HL
PL1:    INC HL
        INC HL
        INC HL
        INC HL
        PUSH HL
        LD HL,PX
        CALL LDREG
        CALL FMUL
        POP HL
        PUSH HL
        CALL LDREG
        CALL FADD
        POP HL
        LD A,(PCNT)
        DEC A
        LD (PCNT),A
        JP NZ,PL1
        RET

; FAC = FAC / 2 (FAC nonzero)
FHALF:  LD A,(FAC+3)
        OR A
        RET Z
        DEC A
        LD (FAC+3),A
        RET

FSQR:   CALL PARNUM
SQRF:   CALL FSGN
        OR A
        RET Z
        JP M,FCERR
        LD HL,MT1
        CALL STFAC
        LD A,(FAC+3)            ; first guess: half the exponent
        SUB 128
        LD B,A
        RLA
        LD A,B
        RRA
        ADD A,128
        LD (FAC+3),A
        LD A,5
        LD (MN),A
SQR1:   LD HL,MT2
        CALL STFAC
        LD HL,MT1
        CALL LDREG
        CALL FDIV               ; x / y
        LD HL,MT2
        CALL LDREG
        CALL FADD
        CALL FHALF
        LD A,(MN)
        DEC A
        LD (MN),A
        JP NZ,SQR1
        RET

FEXP:   CALL PARNUM
EXPF:   LD HL,CLOG2E
        CALL LDREG
        CALL FMUL               ; t = x / ln 2
        LD HL,C127
        CALL LDREG
        CALL FCMP
        CP 1
        JP Z,OVERR
        LD HL,CM128
        CALL LDREG
        CALL FCMP
        CP 0FFh
        JP Z,FZERO
        LD HL,MT1
        CALL STFAC
        LD BC,8000h
        LD DE,0
        CALL FADD
        CALL FINT               ; n = the nearest integer
        LD HL,MT2
        CALL STFAC
        LD HL,MT1
        CALL LDREG
        CALL FSUB               ; f = t - n
        LD HL,CLN2
        CALL LDREG
        CALL FMUL
        LD HL,PEXP
        CALL POLY               ; e^(f ln 2)
        LD HL,MT3
        CALL STFAC
        LD HL,MT2
        CALL LDFAC
        CALL CINT               ; HL = n
        LD A,(MT3+3)
        LD E,A
        LD D,0
        ADD HL,DE
        LD A,H
        OR A
        JP M,FZERO
        JP NZ,OVERR
        LD A,L
        OR A
        JP Z,FZERO
        LD (MT3+3),A
        LD HL,MT3
        JP LDFAC

FLOG:   CALL PARNUM
LOGF:   CALL FSGN
        OR A
        JP Z,FCERR
        JP M,FCERR
        LD A,(FAC+3)
        SUB 128
        LD (MN),A
        LD A,128
        LD (FAC+3),A            ; m in [0.5, 1)
        LD HL,CSQRH
        CALL LDREG
        CALL FCMP
        CP 0FFh
        JP NZ,LOG1
        LD A,129                ; m < .707: 2m, one less in the exponent
        LD (FAC+3),A
        LD A,(MN)
        DEC A
        LD (MN),A
LOG1:   LD HL,MT1
        CALL STFAC              ; m
        LD BC,8100h
        LD DE,0
        CALL FADD
        LD HL,MT2
        CALL STFAC              ; m + 1
        LD HL,MT1
        CALL LDFAC
        LD BC,8180h
        LD DE,0
        CALL FADD               ; m - 1
        CALL FACREG
        PUSH BC
        PUSH DE
        LD HL,MT2
        CALL LDFAC
        POP DE
        POP BC
        CALL FDIV               ; s = (m - 1) / (m + 1)
        LD HL,MT1
        CALL STFAC
        CALL FACREG
        CALL FMUL
        LD HL,PLOG
        CALL POLY
        LD HL,MT1
        CALL LDREG
        CALL FMUL               ; ln m
        LD HL,MT1
        CALL STFAC
        LD A,(MN)               ; + e ln 2
        LD L,A
        RLA
        SBC A,A
        LD H,A
        CALL FLT16
        LD HL,CLN2
        CALL LDREG
        CALL FMUL
        LD HL,MT1
        CALL LDREG
        JP FADD

FCOS:   CALL PARNUM
COSF:   LD HL,C1D2PI
        CALL LDREG
        CALL FMUL
        LD BC,7F00h             ; + 1/4 turn
        LD DE,0
        CALL FADD
        JP SINT
FSIN:   CALL PARNUM
SINF:   LD HL,C1D2PI
        CALL LDREG
        CALL FMUL               ; turns
SINT:   LD HL,MT1
        CALL STFAC
        CALL FINT
        CALL FACREG
        PUSH BC
        PUSH DE
        LD HL,MT1
        CALL LDFAC
        POP DE
        POP BC
        CALL FSUB               ; floor - t
        CALL FNEG               ; u in [0, 1)
        LD BC,8000h             ; above 1/2: u - 1
        LD DE,0
        CALL FCMP
        CP 1
        JP NZ,SIN1
        LD BC,8180h
        CALL FADD
SIN1:   LD BC,7F00h             ; above 1/4: 1/2 - u
        LD DE,0
        CALL FCMP
        CP 1
        JP NZ,SIN2
        LD BC,8000h
        CALL FSUB
        JP SIN3
SIN2:   LD BC,7F80h             ; below -1/4: -1/2 - u
        CALL FCMP
        CP 0FFh
        JP NZ,SIN3
        LD BC,8080h
        CALL FSUB
SIN3:   LD HL,MT1
        CALL STFAC
        CALL FACREG
        CALL FMUL
        LD HL,PSIN
        CALL POLY
        LD HL,MT1
        CALL LDREG
        JP FMUL

FTAN:   CALL PARNUM
        LD HL,MT3
        CALL STFAC
        CALL SINF
        LD HL,FTEMP
        CALL STFAC
        LD HL,MT3
        CALL LDFAC
        CALL COSF
        LD HL,FTEMP
        CALL LDREG
        JP FDIV

FATN:   CALL PARNUM
        LD A,(FAC+2)
        AND 80h
        LD (MT3),A              ; sign
        CALL FABS
        XOR A
        LD (MT3+1),A            ; 1: inverted
        LD (MT3+2),A            ; 1: shifted by 30 degrees
        LD BC,8100h
        LD DE,0
        CALL FCMP
        CP 1
        JP NZ,ATN1
        CALL FDIV               ; 1 / x
        LD A,1
        LD (MT3+1),A
ATN1:   LD HL,CTAN15
        CALL LDREG
        CALL FCMP
        CP 1
        JP NZ,ATN2
        LD HL,MT1               ; (x sqr 3 - 1) / (x + sqr 3)
        CALL STFAC
        LD HL,CSQR3
        CALL LDREG
        CALL FADD
        LD HL,MT2
        CALL STFAC
        LD HL,MT1
        CALL LDFAC
        LD HL,CSQR3
        CALL LDREG
        CALL FMUL
        LD BC,8180h
        LD DE,0
        CALL FADD
        CALL FACREG
        PUSH BC
        PUSH DE
        LD HL,MT2
        CALL LDFAC
        POP DE
        POP BC
        CALL FDIV
        LD A,1
        LD (MT3+2),A
ATN2:   LD HL,MT1
        CALL STFAC
        CALL FACREG
        CALL FMUL
        LD HL,PATN
        CALL POLY
        LD HL,MT1
        CALL LDREG
        CALL FMUL
        LD A,(MT3+2)
        OR A
        JP Z,ATN3
        LD HL,CPID6
        CALL LDREG
        CALL FADD
ATN3:   LD A,(MT3+1)
        OR A
        JP Z,ATN4
        LD HL,CPID2
        CALL LDREG
        CALL FSUB
ATN4:   LD A,(MT3)
        OR A
        RET Z
        JP FNEG

; FPOW: FAC = BCDE ^ FAC. Whole powers up to 255 by multiplying (exact
; where the numbers are), others through EXP and LOG.
FPOW:   LD HL,PB
        CALL STREG
        LD HL,PY
        CALL STFAC
        CALL FTRUNC
        OR A
        JP NZ,POWG
        LD A,(FAC+3)
        CP 137
        JP NC,POWG
        LD HL,PY
        CALL LDFAC
        CALL CINT
        LD A,H
        PUSH AF                 ; sign of the power
        CALL ABSHL
        LD (PN),HL
        LD BC,8100h
        LD DE,0
        LD HL,PR
        CALL STREG              ; result = 1
POW1:   LD HL,(PN)
        LD A,H
        OR L
        JP Z,POW3
        LD A,L
        RRA
        JP NC,POW2
        LD HL,PR
        CALL LDFAC
        LD HL,PB
        CALL LDREG
        CALL FMUL
        LD HL,PR
        CALL STFAC
POW2:   LD HL,(PN)
        LD A,H
        OR A
        RRA
        LD H,A
        LD A,L
        RRA
        LD L,A
        LD (PN),HL
        LD A,H
        OR L
        JP Z,POW3
        LD HL,PB
        CALL LDFAC
        CALL FACREG
        CALL FMUL
        LD HL,PB
        CALL STFAC
        JP POW1
POW3:   POP AF
        OR A
        LD HL,PR
        JP P,LDFAC
        CALL LDFAC              ; a negative power: 1 / result
        LD BC,8100h
        LD DE,0
        JP FDIV
POWG:   LD HL,PB                ; x <= 0?
        CALL LDFAC
        CALL FSGN
        OR A
        JP Z,POWZ
        JP M,FCERR
        CALL LOGF
        LD HL,PY
        CALL LDREG
        CALL FMUL
        JP EXPF
POWZ:   LD HL,PY                ; 0 ^ y
        CALL LDFAC
        CALL FSGN
        OR A
        JP M,DZERR
        JP FZERO

; RND, RND(x): x > 0 or none: the next number, 0: the last one again,
; x < 0: starts a sequence given by x.
FRND:   CALL CHRGOT
        CP '('
        JP NZ,RND1
        CALL PARNUM
        CALL FSGN
        OR A
        JP Z,RNDL
        JP P,RND1
        LD HL,(FAC)
        LD (RNDSD),HL
        LD HL,(FAC+2)
        LD (RNDSD+2),HL
RND1:   LD HL,RNDSD             ; ACC32 = seed x 69069 + 1
        LD DE,ACC32
        LD B,4
RND2:   LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC B
        JP NZ,RND2
        LD HL,0DCDh
        LD B,16
RND3:   PUSH HL
        PUSH BC
        LD HL,ACC32
        OR A
        LD B,4
RND4:   LD A,(HL)
        RLA
        LD (HL),A
        INC HL
        DEC B
        JP NZ,RND4
        POP BC
        POP HL
        ADD HL,HL
        JP NC,RND6
        PUSH HL
        PUSH BC
        LD HL,ACC32
        LD DE,RNDSD
        OR A
        LD B,4
RND5:   LD A,(DE)
        ADC A,(HL)
        LD (HL),A
        INC HL
        INC DE
        DEC B
        JP NZ,RND5
        POP BC
        POP HL
RND6:   DEC B
        JP NZ,RND3
        LD HL,ACC32             ; + 1
        LD B,4
RND7:   INC (HL)
        JP NZ,RND8
        INC HL
        DEC B
        JP NZ,RND7
RND8:   LD HL,ACC32
        LD DE,RNDSD
        LD B,4
RND9:   LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC B
        JP NZ,RND9
        XOR A
        LD (RSIGN),A
        LD A,128
        LD (REXP),A
        LD HL,(RNDSD+2)
        LD C,H
        LD D,L
        LD HL,(RNDSD)
        LD E,H
        LD B,L
        CALL FNORM
        LD HL,RNDLST
        JP STFAC
RNDL:   LD HL,RNDLST
        JP LDFAC

CLOG2E: DB 03Bh,0AAh,038h,081h  ; 1/ln 2
CLN2:   DB 018h,072h,031h,080h  ; ln 2
C127:   DB 000h,000h,07Eh,087h  ; 127.0
CM128:  DB 000h,000h,080h,088h  ; -128.0
CSQRH:  DB 0F3h,004h,035h,080h  ; sqr(.5)
C1D2PI: DB 083h,0F9h,022h,07Eh  ; 1/(2 pi)
CSQR3:  DB 0D7h,0B3h,05Dh,081h  ; sqr(3)
CTAN15: DB 0A3h,030h,009h,07Fh  ; tan(15)
CPID6:  DB 092h,00Ah,006h,080h  ; pi/6
CPID2:  DB 0DBh,00Fh,049h,081h  ; pi/2
; e^y for |y| <= 0.35: 1/8! ... 1
PEXP:   DB 8
        DB 001h,00Dh,050h,071h  ; 1/8!
        DB 001h,00Dh,050h,074h  ; 1/7!
        DB 061h,00Bh,036h,077h  ; 1/6!
        DB 089h,088h,008h,07Ah  ; 1/5!
        DB 0ABh,0AAh,02Ah,07Ch  ; 1/4!
        DB 0ABh,0AAh,02Ah,07Eh  ; 1/3!
        DB 000h,000h,000h,080h  ; 1/2!
        DB 000h,000h,000h,081h  ; 1/1!
        DB 000h,000h,000h,081h  ; 1/0!
; ln((1+s)/(1-s)) / s = 2 + 2s^2/3 + ... in s^2
PLOG:   DB 5
        DB 08Ch,02Eh,03Ah,07Eh  ; 2/11
        DB 039h,08Eh,063h,07Eh  ; 2/9
        DB 025h,049h,012h,07Fh  ; 2/7
        DB 0CDh,0CCh,04Ch,07Fh  ; 2/5
        DB 0ABh,0AAh,02Ah,080h  ; 2/3
        DB 000h,000h,000h,082h  ; 2/1
; sin(2 pi u) / u in u^2, |u| <= 1/4
PSIN:   DB 7
        DB 0DDh,0D6h,0B7h,080h  ; k=7
        DB 01Ah,07Ah,074h,082h  ; k=6
        DB 0A8h,083h,0F1h,084h  ; k=5
        DB 01Ah,03Ch,028h,086h  ; k=4
        DB 066h,069h,099h,087h  ; k=3
        DB 0E3h,035h,023h,087h  ; k=2
        DB 0E7h,05Dh,0A5h,086h  ; k=1
        DB 0DBh,00Fh,049h,083h  ; k=0
; atn(x) / x in x^2, |x| <= 0.27
PATN:   DB 6
        DB 0D9h,089h,01Dh,07Dh  ; k=6
        DB 08Ch,02Eh,0BAh,07Dh  ; k=5
        DB 039h,08Eh,063h,07Dh  ; k=4
        DB 025h,049h,092h,07Eh  ; k=3
        DB 0CDh,0CCh,04Ch,07Eh  ; k=2
        DB 0ABh,0AAh,0AAh,07Fh  ; k=1
        DB 000h,000h,000h,081h  ; k=0
