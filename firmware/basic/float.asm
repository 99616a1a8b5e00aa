; Velgard BASIC: single-precision floating point in Microsoft's 4-byte
; format: byte 0 low mantissa, 1 middle, 2 sign (bit 7) and the top 7
; mantissa bits (the leading 1 is implied), 3 exponent + 128 (0 = zero).
; The value is 0.1mmm... x 2^(exponent - 128).
;
; FAC is the accumulator in memory; the second operand travels in
; registers: E low, D middle, C sign and top, B exponent.

; BCDE = the 4 bytes at HL.
LDREG:  LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD C,(HL)
        INC HL
        LD B,(HL)
        RET

; BCDE = FAC
FACREG: LD HL,FAC
        JP LDREG

; FAC = BCDE
REGFAC: LD HL,FAC
; the 4 bytes at HL = BCDE
STREG:  LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        LD (HL),C
        INC HL
        LD (HL),B
        RET

; FAC = the 4 bytes at HL
LDFAC:  CALL LDREG
        JP REGFAC

; the 4 bytes at HL = FAC
STFAC:  PUSH HL
        CALL FACREG
        POP HL
        JP STREG

FZERO:  XOR A
        LD (FAC),A
        LD (FAC+1),A
        LD (FAC+2),A
        LD (FAC+3),A
        RET

FNEG:   LD A,(FAC+3)
        OR A
        RET Z
        LD A,(FAC+2)
        XOR 80h
        LD (FAC+2),A
        RET

FABS:   LD A,(FAC+2)
        AND 7Fh
        LD (FAC+2),A
        RET

; A = sign of FAC: 0, 1 or FFh.
FSGN:   LD A,(FAC+3)
        OR A
        RET Z
        LD A,(FAC+2)
        RLA
        LD A,1
        RET NC
        LD A,0FFh
        RET

; FCMP: FAC against BCDE: A = 1 if FAC is greater, 0 if equal, FFh if less.
FCMP:   LD A,B
        OR A
        JP Z,FSGN
        LD A,(FAC+3)
        OR A
        JP Z,FCMPZ
        LD A,(FAC+2)
        XOR C
        JP M,FSGN               ; signs differ
        LD A,(FAC+3)
        CP B
        JP NZ,FCMPD
        LD A,C
        OR 80h
        LD H,A
        LD A,(FAC+2)
        OR 80h
        CP H
        JP NZ,FCMPD
        LD A,(FAC+1)
        CP D
        JP NZ,FCMPD
        LD A,(FAC)
        CP E
        JP NZ,FCMPD
        XOR A
        RET
FCMPD:  JP NC,FSGN              ; FAC larger in magnitude
        CALL FSGN
        CPL
        INC A
        RET
FCMPZ:  LD A,C                  ; FAC = 0: greater than a negative
        OR A
        LD A,1
        RET M
        LD A,0FFh
        RET

; FSUB: FAC = BCDE - FAC.  FADD: FAC = BCDE + FAC.
FSUB:   CALL FNEG
FADD:   LD A,B
        OR A
        RET Z
        LD A,(FAC+3)
        OR A
        JP Z,REGFAC
        CP B
        JP C,FADD1
        ; FAC has the larger exponent: exchange the operands
        LD HL,(FAC)
        EX DE,HL
        LD (FAC),HL
        LD HL,(FAC+2)
        PUSH HL
        LD H,B
        LD L,C
        LD (FAC+2),HL
        POP BC
FADD1:  LD A,(FAC+3)
        LD L,A
        LD A,B
        SUB L
        CP 25
        JP NC,REGFAC            ; the smaller one does not count
        LD (CNT),A
        LD A,(FAC+2)
        XOR C
        AND 80h
        LD (SIGNT),A            ; 80h: magnitudes are subtracted
        LD A,C
        AND 80h
        LD (RSIGN),A
        LD A,C
        OR 80h
        LD C,A
        LD A,B
        LD (REXP),A
        XOR A
        LD (FACX),A
        LD A,(FAC+2)
        OR 80h
        LD H,A
        LD A,(FAC+1)
        LD L,A
        LD A,(FAC)
        LD B,A
FADSH:  LD A,(CNT)              ; align: whole bytes first
        CP 8
        JP C,FADSB
        SUB 8
        LD (CNT),A
        LD A,B
        LD (FACX),A
        LD B,L
        LD L,H
        LD H,0
        JP FADSH
FADSB:  OR A
        JP Z,FADDO
FADSB1: LD A,H
        OR A
        RRA
        LD H,A
        LD A,L
        RRA
        LD L,A
        LD A,B
        RRA
        LD B,A
        LD A,(FACX)
        RRA
        LD (FACX),A
        LD A,(CNT)
        DEC A
        LD (CNT),A
        JP NZ,FADSB1
FADDO:  LD A,(SIGNT)
        OR A
        JP NZ,FADSUB
        LD A,E
        ADD A,B
        LD E,A
        LD A,D
        ADC A,L
        LD D,A
        LD A,C
        ADC A,H
        LD C,A
        LD A,(FACX)
        LD B,A
        JP NC,FROUND
        LD A,C                  ; carry out: one place right
        RRA
        LD C,A
        LD A,D
        RRA
        LD D,A
        LD A,E
        RRA
        LD E,A
        LD A,B
        RRA
        LD B,A
        LD A,(REXP)
        INC A
        JP Z,OVERR
        LD (REXP),A
        JP FROUND
FADSUB: PUSH HL
        LD HL,FACX
        XOR A
        SUB (HL)
        POP HL
        LD (FACX),A
        LD A,E
        SBC A,B
        LD E,A
        LD A,D
        SBC A,L
        LD D,A
        LD A,C
        SBC A,H
        LD C,A
        LD A,(FACX)
        LD B,A
        JP NC,FNORM
        LD A,B                  ; the result changed sign
        CPL
        ADD A,1
        LD B,A
        LD A,E
        CPL
        ADC A,0
        LD E,A
        LD A,D
        CPL
        ADC A,0
        LD D,A
        LD A,C
        CPL
        ADC A,0
        LD C,A
        LD A,(RSIGN)
        XOR 80h
        LD (RSIGN),A
; FNORM: normalises C D E B (B below the mantissa) with exponent REXP and
; sign RSIGN, rounds and stores into FAC.
FNORM:  LD A,C
        OR A
        JP NZ,FNB
        OR D
        OR E
        OR B
        JP Z,FZERO
        LD C,D
        LD D,E
        LD E,B
        LD B,0
        LD A,(REXP)
        SUB 8
        JP C,FZERO
        JP Z,FZERO
        LD (REXP),A
        JP FNORM
FNB:    LD A,C
        OR A
        JP M,FROUND
        LD A,B
        ADD A,A
        LD B,A
        LD A,E
        RLA
        LD E,A
        LD A,D
        RLA
        LD D,A
        LD A,C
        RLA
        LD C,A
        LD A,(REXP)
        DEC A
        JP Z,FZERO
        LD (REXP),A
        JP FNB
FROUND: LD A,(NORND)
        OR A
        JP NZ,FRND1
        LD A,B
        OR A
        JP P,FPACK
        INC E
        JP NZ,FPACK
        INC D
        JP NZ,FPACK
        INC C
        JP NZ,FPACK
        LD C,80h
        LD A,(REXP)
        INC A
        JP Z,OVERR
        LD (REXP),A
        JP FPACK
FRND1:  LD A,B
        LD (FACX),A
FPACK:  LD A,C
        AND 7Fh
        LD C,A
        LD A,(RSIGN)
        OR C
        LD C,A
        LD A,(REXP)
        LD B,A
        JP REGFAC

; FMUL: FAC = BCDE x FAC.
FMUL:   LD A,B
        OR A
        JP Z,FZERO
        LD A,(FAC+3)
        OR A
        RET Z
        ADD A,B
        JP C,FMUL1
        SUB 80h
        JP C,FZERO
        JP Z,FZERO
        JP FMUL2
FMUL1:  ADD A,80h
        JP C,OVERR
FMUL2:  LD (REXP),A
        LD A,(FAC+2)
        XOR C
        AND 80h
        LD (RSIGN),A
        LD A,C
        OR 80h
        LD (DVS+2),A
        LD A,D
        LD (DVS+1),A
        LD A,E
        LD (DVS),A
        LD BC,0
        LD D,B
        LD E,B
        LD A,(FAC)
        CALL MULBYT
        LD A,(FAC+1)
        CALL MULBYT
        LD A,(FAC+2)
        OR 80h
        CALL MULBYT
        JP FNORM
MULBYT: OR A
        JP NZ,MULB0
        LD B,E                  ; a zero byte: eight places at once
        LD E,D
        LD D,C
        LD C,A
        RET
MULB0:  LD (MBYTE),A
        LD A,8
        LD (CNT),A
MULB1:  LD A,(MBYTE)
        RRA
        LD (MBYTE),A
        JP NC,MULB2
        LD HL,(DVS)
        ADD HL,DE
        EX DE,HL
        LD A,(DVS+2)
        ADC A,C
        LD C,A
MULB2:  LD A,C
        RRA
        LD C,A
        LD A,D
        RRA
        LD D,A
        LD A,E
        RRA
        LD E,A
        LD A,B
        RRA
        LD B,A
        LD A,(CNT)
        DEC A
        LD (CNT),A
        JP NZ,MULB1
        RET

; FDIV: FAC = BCDE / FAC.
FDIV:   LD A,(FAC+3)
        OR A
        JP Z,DZERR
        LD A,B
        OR A
        JP Z,FZERO
        LD A,(FAC+3)
        LD L,A
        LD A,B
        SUB L
        JP C,FDIV1
        ADD A,81h
        JP C,OVERR
        JP FDIV2
FDIV1:  ADD A,81h
        JP NC,FZERO
        JP Z,FZERO
FDIV2:  LD (REXP),A
        LD A,(FAC+2)
        XOR C
        AND 80h
        LD (RSIGN),A
        LD A,(FAC)
        LD (DVS),A
        LD A,(FAC+1)
        LD (DVS+1),A
        LD A,(FAC+2)
        OR 80h
        LD (DVS+2),A
        LD A,C
        OR 80h
        LD C,A
        LD HL,(FAC)             ; a power of two: only the exponent changes
        LD A,H
        OR L
        JP NZ,FDIV3
        LD A,(FAC+2)
        ADD A,A
        JP NZ,FDIV3
        LD B,A
        JP FNORM
FDIV3:  LD A,4
        LD (CNT2),A
        OR A
FDIVB:  LD A,8
        LD (CNT),A
FDIVL:  JP C,FDFRC
        LD HL,DVS
        LD A,E
        SUB (HL)
        LD E,A
        INC HL
        LD A,D
        SBC A,(HL)
        LD D,A
        INC HL
        LD A,C
        SBC A,(HL)
        LD C,A
        JP NC,FDONE
        LD HL,DVS               ; did not go: add it back
        LD A,E
        ADD A,(HL)
        LD E,A
        INC HL
        LD A,D
        ADC A,(HL)
        LD D,A
        INC HL
        LD A,C
        ADC A,(HL)
        LD C,A
        OR A
        JP FDBIT
FDFRC:  LD HL,DVS
        LD A,E
        SUB (HL)
        LD E,A
        INC HL
        LD A,D
        SBC A,(HL)
        LD D,A
        INC HL
        LD A,C
        SBC A,(HL)
        LD C,A
FDONE:  SCF
FDBIT:  LD A,B
        RLA
        LD B,A
        LD A,E
        ADD A,A
        LD E,A
        LD A,D
        RLA
        LD D,A
        LD A,C
        RLA
        LD C,A
        LD A,(CNT)
        DEC A
        LD (CNT),A
        JP NZ,FDIVL
        PUSH BC
        LD A,(CNT2)
        DEC A
        LD (CNT2),A
        JP NZ,FDIVB
        POP HL
        LD B,H
        POP HL
        LD E,H
        POP HL
        LD D,H
        POP HL
        LD C,H
        JP FNORM

; FAC = HL as a signed integer.
FLT16:  XOR A
        LD (RSIGN),A
        LD A,H
        OR A
        JP P,FLT161
        LD A,L
        CPL
        LD L,A
        LD A,H
        CPL
        LD H,A
        INC HL
        LD A,80h
        LD (RSIGN),A
FLT161: LD C,0
        LD D,H
        LD E,L
        LD B,0
        LD A,152
        LD (REXP),A
        JP FNORM

; FAC = A (0-255)
FLTA:   LD L,A
        LD H,0
        JP FLT16

; FAC = the unsigned 32-bit number at ACC32.
FLTU32: XOR A
        LD (RSIGN),A
        LD A,160
        LD (REXP),A
        LD HL,(ACC32+2)
        LD C,H
        LD D,L
        LD HL,(ACC32)
        LD E,H
        LD B,L
        JP FNORM

; FTRUNC: drops the fraction of FAC (towards zero); A <> 0 if a nonzero
; fraction was dropped.
FTRUNC: LD A,(FAC+3)
        OR A
        RET Z
        CP 129
        JP NC,FTR1
        CALL FZERO
        LD A,1
        RET
FTR1:   CP 152
        LD B,A
        LD A,0
        RET NC
        LD A,152
        SUB B
        LD B,A                  ; bits to clear
        LD HL,FAC
        LD C,0
FTR2:   LD A,B
        CP 8
        JP C,FTR3
        LD A,(HL)
        OR C
        LD C,A
        LD (HL),0
        INC HL
        LD A,B
        SUB 8
        LD B,A
        JP FTR2
FTR3:   OR A
        JP Z,FTR5
        LD D,A
        LD A,0FFh
FTR4:   ADD A,A
        DEC D
        JP NZ,FTR4
        LD D,A
        CPL
        AND (HL)
        OR C
        LD C,A
        LD A,(HL)
        AND D
        LD (HL),A
FTR5:   LD A,C
        OR A
        RET

; FINT: the largest integer not above FAC.
FINT:   LD A,(FAC+2)
        PUSH AF
        CALL FTRUNC
        LD B,A
        POP AF
        OR A
        RET P
        LD A,B
        OR A
        RET Z
        LD BC,8180h             ; -1
        LD DE,0
        JP FADD

; FTOU: the integer part of |FAC| into C D E (24 bits); overflow if larger.
FTOU:   LD A,(FAC+3)
        LD C,0
        LD D,C
        LD E,C
        CP 129
        RET C
        CP 153
        JP NC,OVERR
        LD B,A
        LD A,152
        SUB B
        LD B,A
        LD A,(FAC+2)
        OR 80h
        LD C,A
        LD A,(FAC+1)
        LD D,A
        LD A,(FAC)
        LD E,A
FTOU1:  LD A,B
        CP 8
        JP C,FTOU2
        SUB 8
        LD B,A
        LD E,D
        LD D,C
        LD C,0
        JP FTOU1
FTOU2:  OR A
        RET Z
FTOU3:  LD A,C
        OR A
        RRA
        LD C,A
        LD A,D
        RRA
        LD D,A
        LD A,E
        RRA
        LD E,A
        DEC B
        JP NZ,FTOU3
        RET

; CINT: FAC rounded to a signed 16-bit integer in HL (FAC is lost);
; overflow outside -32768..32767.
CINT:   LD A,(FAC+2)
        PUSH AF
        CALL FABS
        LD BC,8000h             ; + 0.5
        LD DE,0
        CALL FADD
        CALL FTOU
        POP AF
        LD B,A
        LD A,C
        OR A
        JP NZ,OVERR
        LD H,D
        LD L,E
        LD A,B
        OR A
        JP M,CINTN
        LD A,H
        OR A
        JP M,OVERR
        RET
CINTN:  LD A,H                  ; negative: up to 32768
        CP 80h
        JP C,CINTN1
        JP NZ,OVERR
        LD A,L
        OR A
        JP NZ,OVERR
CINTN1: LD A,L
        CPL
        LD L,A
        LD A,H
        CPL
        LD H,A
        INC HL
        RET

; CINTU: FAC rounded to 0..65535 (negative numbers from -32768 as their
; two's complement), for addresses.
CINTU:  LD A,(FAC+2)
        OR A
        JP M,CINT
        LD BC,8000h
        LD DE,0
        CALL FADD
        CALL FTOU
        LD A,C
        OR A
        JP NZ,OVERR
        EX DE,HL
        RET

; Multiplies FAC by 10^A (A = 0..38) from the table.
FMULTN: CALL PTENAD
        CALL LDREG
        JP FMUL

; Divides FAC by 10^A.
FDIVTN: PUSH AF
        CALL FACREG
        POP AF
        PUSH BC
        PUSH DE
        CALL PTENAD
        CALL LDFAC
        POP DE
        POP BC
        JP FDIV

PTENAD: LD L,A
        LD H,0
        ADD HL,HL
        ADD HL,HL
        LD DE,PTEN
        ADD HL,DE
        RET

; Scales FAC by 10^DECEXP (a signed byte).
FSCALE: LD A,(DECEXP)
        OR A
        RET Z
        JP M,FSCN
FSCP:   CP 39
        JP C,FMULTN
        SUB 38
        PUSH AF
        LD A,38
        CALL FMULTN
        POP AF
        JP FSCP
FSCN:   CPL
        INC A
FSCN1:  CP 39
        JP C,FDIVTN
        SUB 38
        PUSH AF
        LD A,38
        CALL FDIVTN
        POP AF
        JP FSCN1

; FIN: reads a number at HL into FAC; HL ends after it. A leading sign is
; accepted. Carry set if there was no digit at all.
FIN:    XOR A
        LD (ACC32),A
        LD (ACC32+1),A
        LD (ACC32+2),A
        LD (ACC32+3),A
        LD (CNT2),A             ; digits kept
        LD (DECEXP),A
        LD (MODEF),A            ; bit 0: point seen, bit 1: a digit seen
        LD (SIGNT),A
FIN0:   LD A,(HL)
        CP ' '
        JP NZ,FIN01
        INC HL
        JP FIN0
FIN01:  CP '-'
        JP NZ,FIN02
        LD A,80h
        LD (SIGNT),A
        JP FIN03
FIN02:  CP '+'
        JP NZ,FIN1
FIN03:  INC HL
FIN1:   LD A,(HL)
        CP ' '
        JP Z,FINSP
        CP '.'
        JP Z,FINPT
        CALL ISDIG
        JP C,FINX
        PUSH HL
        SUB '0'
        LD B,A
        LD A,(MODEF)
        OR 2
        LD (MODEF),A
        LD A,(CNT2)
        CP 9
        JP NC,FINMNY
        LD A,B
        CALL MUL10
        LD A,(CNT2)             ; leading zeros do not count
        OR A
        JP NZ,FIN2
        LD HL,(ACC32)
        LD A,H
        OR L
        JP Z,FIN3
FIN2:   LD A,(CNT2)
        INC A
        LD (CNT2),A
FIN3:   LD A,(MODEF)            ; after the point: one place less
        AND 1
        JP Z,FIN4
        LD A,(DECEXP)
        DEC A
        LD (DECEXP),A
FIN4:   POP HL
        INC HL
        JP FIN1
FINMNY: LD A,(MODEF)            ; a digit beyond 9: only its place counts
        AND 1
        JP NZ,FIN4
        LD A,(DECEXP)
        INC A
        LD (DECEXP),A
        JP FIN4
FINSP:  INC HL
        JP FIN1
FINPT:  LD A,(MODEF)
        AND 1
        JP NZ,FINEND
        LD A,(MODEF)
        OR 1
        LD (MODEF),A
        INC HL
        JP FIN1
FINX:   CP 'E'
        JP Z,FINE
        CP 'D'
        JP Z,FINE
        CP 'e'
        JP Z,FINE
        CP '!'
        JP Z,FINSFX
        CP '#'
        JP NZ,FINEND
FINSFX: INC HL
        JP FINEND
FINE:   LD A,(MODEF)
        AND 2
        JP Z,FINEND
        INC HL
        LD C,0                  ; exponent sign
        LD A,(HL)
        CP '-'
        JP NZ,FINE1
        LD C,1
        INC HL
        JP FINE2
FINE1:  CP '+'
        JP NZ,FINE2
        INC HL
FINE2:  LD B,0
FINE3:  LD A,(HL)
        CALL ISDIG
        JP C,FINE4
        SUB '0'
        LD E,A
        LD A,B
        CP 100
        JP NC,FINE3A
        ADD A,A
        ADD A,A
        ADD A,B
        ADD A,A
        ADD A,E
        LD B,A
FINE3A: INC HL
        JP FINE3
FINE4:  LD A,C
        OR A
        LD A,B
        JP Z,FINE5
        CPL
        INC A
FINE5:  LD B,A
        LD A,(DECEXP)
        ADD A,B
        LD (DECEXP),A
FINEND: PUSH HL
        CALL FLTU32
        CALL FSCALE
        LD A,(SIGNT)
        OR A
        CALL NZ,FNEG
        POP HL
        LD A,(MODEF)
        AND 2
        RET NZ
        SCF
        RET

; ACC32 = ACC32 x 10 + A
MUL10:  LD HL,ACC32
        LD B,4
        LD C,A
MUL101: LD A,(HL)
        PUSH HL
        LD L,A
        LD H,0
        ADD HL,HL
        LD D,H
        LD E,L
        ADD HL,HL
        ADD HL,HL
        ADD HL,DE
        LD E,C
        LD D,0
        ADD HL,DE
        LD C,H
        LD A,L
        POP HL
        LD (HL),A
        INC HL
        DEC B
        JP NZ,MUL101
        RET

; FOUT: FAC as text at NUMBUF: a blank or '-', then the number in
; Microsoft's way: up to 7 significant digits, trailing zeros dropped,
; fixed notation from .01 to 9999999, otherwise 1.234567E+08.
FOUT:   LD HL,NUMBUF
        LD A,(FAC+3)
        OR A
        JP NZ,FOUT1
        LD (HL),' '
        INC HL
        LD (HL),'0'
        INC HL
        LD (HL),0
        RET
FOUT1:  LD A,(FAC+2)
        OR A
        LD A,' '
        JP P,FOUT2
        LD A,'-'
FOUT2:  LD (HL),A
        INC HL
        PUSH HL
        CALL FABS
        ; a first guess of the decimal exponent: (e - 128) x 77 / 256
        LD A,(FAC+3)
        SUB 128
        LD B,0
        JP NC,FOUT3
        CPL
        INC A
        INC B
FOUT3:  LD L,A                  ; HL = |e2| x 77
        LD H,0
        LD D,H
        LD E,L
        ADD HL,HL
        ADD HL,HL
        PUSH HL                 ; 4x
        ADD HL,HL
        PUSH HL                 ; 8x
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL               ; 64x
        ADD HL,DE
        POP DE
        ADD HL,DE
        POP DE
        ADD HL,DE               ; 77x
        LD A,H                  ; t = 77x / 256
        LD C,A
        LD A,B
        OR A
        LD A,C
        JP Z,FOUT4
        CPL                     ; negative: -(t) - 1
FOUT4:  LD (T1),A               ; t, the decimal exponent guess
        LD HL,FOX
        CALL STFAC
        LD A,4
        LD (FOCNT),A
FOUT5:  LD A,(T1)               ; x 10^(6 - t), unrounded
        LD B,A
        LD A,6
        SUB B
        LD (DECEXP),A
        LD HL,FOX
        CALL LDFAC
        XOR A
        LD (FACX),A
        INC A
        LD (NORND),A
        CALL FSCALE
        XOR A
        LD (NORND),A
        LD HL,FOCNT
        DEC (HL)
        JP Z,FOUT7
        LD HL,C1E7              ; >= 1E7: t one up
        CALL LDREG
        CALL FCMP
        CP 0FFh
        JP Z,FOUT6
        LD HL,T1
        INC (HL)
        JP FOUT5
FOUT6:  LD HL,C1E6              ; < 1E6: t one down
        CALL LDREG
        CALL FCMP
        CP 0FFh
        JP NZ,FOUT7
        LD HL,T1
        DEC (HL)
        JP FOUT5
FOUT7:  LD A,(FAC+3)            ; the integer part, rounded on the low bits
        LD L,A
        LD A,152
        SUB L
        LD L,A
        LD A,(FAC+2)
        OR 80h
        LD C,A
        LD A,(FAC+1)
        LD D,A
        LD A,(FAC)
        LD E,A
        LD A,(FACX)
        LD B,A
        INC L
FOUT7B: DEC L
        JP Z,FOUT7C
        OR A
        LD A,C
        RRA
        LD C,A
        LD A,D
        RRA
        LD D,A
        LD A,E
        RRA
        LD E,A
        LD A,B
        RRA
        LD B,A
        JP FOUT7B
FOUT7C: LD A,B
        ADD A,A
        JP NC,FOUT7D
        INC E
        JP NZ,FOUT7D
        INC D
        JP NZ,FOUT7D
        INC C
FOUT7D: LD A,C                  ; 10000000 -> 1000000
        CP 98h
        JP C,FOUT8
        JP NZ,FOUT7A
        LD A,D
        CP 96h
        JP C,FOUT8
        JP NZ,FOUT7A
        LD A,E
        CP 80h
        JP C,FOUT8
FOUT7A: LD C,0Fh
        LD DE,4240h
        LD A,(T1)
        INC A
        LD (T1),A
FOUT8:  ; seven digits into DIGITS
        LD HL,P10T
        LD A,7
        LD (CNT),A
        PUSH HL
        LD HL,DIGITS
        EX (SP),HL              ; (SP) = DIGITS pointer, HL = powers
FOUT9:  LD B,'0'-1
FOUT10: INC B                   ; CDE -= power while it goes
        LD A,E
        SUB (HL)
        LD E,A
        INC HL
        LD A,D
        SBC A,(HL)
        LD D,A
        INC HL
        LD A,C
        SBC A,(HL)
        LD C,A
        DEC HL
        DEC HL
        JP NC,FOUT10
        LD A,E                  ; add it back
        ADD A,(HL)
        LD E,A
        INC HL
        LD A,D
        ADC A,(HL)
        LD D,A
        INC HL
        LD A,C
        ADC A,(HL)
        LD C,A
        INC HL
        EX (SP),HL
        LD (HL),B
        INC HL
        EX (SP),HL
        LD A,(CNT)
        DEC A
        LD (CNT),A
        JP NZ,FOUT9
        POP HL
        ; k = digits without the trailing zeros
        LD B,7
        LD HL,DIGITS+6
FOUT11: LD A,(HL)
        CP '0'
        JP NZ,FOUT12
        DEC HL
        DEC B
        JP NZ,FOUT11
        INC B
FOUT12: LD A,B
        LD (CNT),A              ; k
        LD A,(T1)
        INC A                   ; P = digits before the point
        LD C,A
        POP HL                  ; text position
        OR A
        JP M,FOUTN
        CP 8
        JP NC,FOUTE
        OR A
        JP Z,FOUTS              ; .ddd
        ; P = 1..7
        LD DE,DIGITS
        LD B,A                  ; P digits (zeros past k)
FOUTP1: LD A,(CNT)
        OR A
        JP Z,FOUTP2
        DEC A
        LD (CNT),A
        LD A,(DE)
        INC DE
        JP FOUTP3
FOUTP2: LD A,'0'
FOUTP3: LD (HL),A
        INC HL
        DEC B
        JP NZ,FOUTP1
        LD A,(CNT)
        OR A
        JP Z,FOUTZ
        LD (HL),'.'
        INC HL
        LD B,A
FOUTP4: LD A,(DE)
        LD (HL),A
        INC HL
        INC DE
        DEC B
        JP NZ,FOUTP4
FOUTZ:  LD (HL),0
        RET
FOUTN:  CP 0FFh                 ; P = -1: .0ddd
        JP NZ,FOUTE
        LD (HL),'.'
        INC HL
        LD (HL),'0'
        INC HL
        JP FOUTS1
FOUTS:  LD (HL),'.'
        INC HL
FOUTS1: LD DE,DIGITS
        LD A,(CNT)
        LD B,A
        JP FOUTP4
FOUTE:  LD DE,DIGITS            ; d.dddE+xx
        LD A,(DE)
        INC DE
        LD (HL),A
        INC HL
        LD A,(CNT)
        DEC A
        JP Z,FOUTE1
        LD B,A
        LD (HL),'.'
        INC HL
FOUTE0: LD A,(DE)
        LD (HL),A
        INC HL
        INC DE
        DEC B
        JP NZ,FOUTE0
FOUTE1: LD (HL),'E'
        INC HL
        LD A,C                  ; exponent P - 1
        DEC A
        LD (HL),'+'
        OR A
        JP P,FOUTE2
        LD (HL),'-'
        CPL
        INC A
FOUTE2: INC HL
        LD B,'0'-1
FOUTE3: INC B
        SUB 10
        JP NC,FOUTE3
        ADD A,10+'0'
        LD (HL),B
        INC HL
        LD (HL),A
        INC HL
        LD (HL),0
        RET

P10T:   DB 040h,042h,0Fh        ; 1000000
        DB 0A0h,086h,01h        ; 100000
        DB 010h,027h,00h
        DB 0E8h,003h,00h
        DB 064h,000h,00h
        DB 00Ah,000h,00h
        DB 001h,000h,00h

C1E6:   DB 000h,024h,074h,094h
C1E7:   DB 080h,096h,018h,098h

PTEN:
        DB 000h,000h,000h,081h  ; 1E0
        DB 000h,000h,020h,084h  ; 1E1
        DB 000h,000h,048h,087h  ; 1E2
        DB 000h,000h,07Ah,08Ah  ; 1E3
        DB 000h,040h,01Ch,08Eh  ; 1E4
        DB 000h,050h,043h,091h  ; 1E5
        DB 000h,024h,074h,094h  ; 1E6
        DB 080h,096h,018h,098h  ; 1E7
        DB 020h,0BCh,03Eh,09Bh  ; 1E8
        DB 028h,06Bh,06Eh,09Eh  ; 1E9
        DB 0F9h,002h,015h,0A2h  ; 1E10
        DB 0B7h,043h,03Ah,0A5h  ; 1E11
        DB 0A5h,0D4h,068h,0A8h  ; 1E12
        DB 0E7h,084h,011h,0ACh  ; 1E13
        DB 021h,0E6h,035h,0AFh  ; 1E14
        DB 0A9h,05Fh,063h,0B2h  ; 1E15
        DB 0CAh,01Bh,00Eh,0B6h  ; 1E16
        DB 0BCh,0A2h,031h,0B9h  ; 1E17
        DB 06Bh,00Bh,05Eh,0BCh  ; 1E18
        DB 023h,0C7h,00Ah,0C0h  ; 1E19
        DB 0ECh,078h,02Dh,0C3h  ; 1E20
        DB 027h,0D7h,058h,0C6h  ; 1E21
        DB 078h,086h,007h,0CAh  ; 1E22
        DB 016h,068h,029h,0CDh  ; 1E23
        DB 01Ch,0C2h,053h,0D0h  ; 1E24
        DB 051h,059h,004h,0D4h  ; 1E25
        DB 0A6h,06Fh,025h,0D7h  ; 1E26
        DB 08Fh,0CBh,04Eh,0DAh  ; 1E27
        DB 039h,03Fh,001h,0DEh  ; 1E28
        DB 008h,08Fh,021h,0E1h  ; 1E29
        DB 0CAh,0F2h,049h,0E4h  ; 1E30
        DB 07Ch,06Fh,07Ch,0E7h  ; 1E31
        DB 0AEh,0C5h,01Dh,0EBh  ; 1E32
        DB 019h,037h,045h,0EEh  ; 1E33
        DB 0DFh,084h,076h,0F1h  ; 1E34
        DB 00Ch,013h,01Ah,0F5h  ; 1E35
        DB 0CEh,097h,040h,0F8h  ; 1E36
        DB 0C2h,0BDh,070h,0FBh  ; 1E37
        DB 099h,076h,016h,0FFh  ; 1E38
