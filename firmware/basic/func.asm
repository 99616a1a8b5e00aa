; Velgard BASIC: functions. Each is entered with TXTP after its keyword.

FUNTAB: DW FSGNF, FINTF, FABSF, FFRE, FINP, FPOS, FSQR, FRND
        DW FLOG, FEXP, FCOS, FSIN, FTAN, FATN, FPEEK, FLEN
        DW FSTRS, FVAL, FASC, FCHRS, FLEFT, FRIGHT, FMID, FCINT
        DW FCSNG, FFIX, FHEXS, FOCTS, FSPACE, FSTRNG, FINSTR, FINKEY
        DW FPOINT, FEOF

; ( numeric expression )
PARNUM: CALL EXPECT
        DB '('
        CALL NUMEXP
        CALL EXPECT
        DB ')'
        RET

; ( string expression )
PARSTR: CALL EXPECT
        DB '('
        CALL EXPR
        CALL STRCHK
        CALL EXPECT
        DB ')'
        RET

FSGNF:  CALL PARNUM
        CALL FSGN
        LD L,A
        LD H,A
        OR A
        JP M,FLT16
        LD H,0
        JP FLT16

FINTF:  CALL PARNUM
        JP FINT

FFIX:   CALL PARNUM
        CALL FTRUNC
        RET

FABSF:  CALL PARNUM
        JP FABS

FCINT:  CALL PARNUM
        CALL CINT
        JP FLT16

FCSNG:  JP PARNUM

FPEEK:  CALL PARNUM
        CALL CINTU
        LD A,(HL)
        JP FLTA

FINP:   CALL PARNUM         ; no processor ports: always 0
        CALL CINT
        LD A,H
        OR A
        JP NZ,FCERR
        JP FLTA
FPOS:   CALL PARNUM
        CALL GETPOS
        INC A
        JP FLTA

; FRE(x): the free bytes after tidying the strings.
FFRE:   CALL EXPECT
        DB '('
        CALL EXPR
        CALL EXPECT
        DB ')'
        LD A,(VALTYP)
        OR A
        CALL NZ,FRESTR
        XOR A
        LD (VALTYP),A
        CALL GARBAG
        LD HL,(STREND)
        EX DE,HL
        LD HL,(FRETOP)
        CALL SUBHD
        JP FLTU16

; ---- Strings ----------------------------------------------------------------------
FLEN:   CALL PARSTR
        CALL FRESTR
        XOR A
        LD (VALTYP),A
        LD A,(HL)
        JP FLTA

FASC:   CALL PARSTR
        CALL FRESTR
        OR A
        JP Z,FCERR
        LD A,(DE)
        PUSH AF
        XOR A
        LD (VALTYP),A
        POP AF
        JP FLTA

FCHRS:  CALL PARNUM
        CALL BYTFAC
CHR1:   PUSH AF
        LD A,1
        CALL GETSPA
        POP AF
        LD (DE),A
        LD A,1
        JP MKTEMP

; A = FAC as a byte (0..255).
BYTFAC: CALL CINT
        LD A,H
        OR A
        JP NZ,FCERR
        LD A,L
        RET

FSTRS:  CALL PARNUM
        CALL FOUT
        LD HL,NUMBUF
; A string made from the 0-terminated text at HL.
STRZ:   PUSH HL
        LD B,0
STZ1:   LD A,(HL)
        OR A
        JP Z,STZ2
        INC HL
        INC B
        JP STZ1
STZ2:   LD A,B
        PUSH AF
        CALL GETSPA
        POP AF
        LD B,A
        POP HL
        PUSH DE
        PUSH BC
STZ3:   LD A,(HL)
        OR A
        JP Z,STZ4
        LD (DE),A
        INC HL
        INC DE
        JP STZ3
STZ4:   POP BC
        POP DE
        LD A,B
        JP MKTEMP

FVAL:   CALL PARSTR
        CALL FRESTR
        LD B,A                  ; copy to NUMBUF area with a 0 after it
        LD HL,INBUF+128         ; (INBUF's upper half is free here)
        OR A
        JP Z,FVAL2
FVAL1:  LD A,(DE)
        LD (HL),A
        INC HL
        INC DE
        DEC B
        JP NZ,FVAL1
FVAL2:  LD (HL),0
        XOR A
        LD (VALTYP),A
        LD HL,INBUF+128
        CALL FIN
        RET NC
        JP FZERO

FSPACE: CALL PARNUM
        CALL BYTFAC
        LD C,' '
        JP STRNG1

; STRING$(n, code or string)
FSTRNG: CALL EXPECT
        DB '('
        CALL BYTEXP
        PUSH AF
        CALL EXPECT
        DB ','
        CALL EXPR
        LD A,(VALTYP)
        OR A
        JP Z,FSTR1
        CALL FRESTR
        OR A
        JP Z,FCERR
        LD A,(DE)
        JP FSTR2
FSTR1:  CALL BYTFAC
FSTR2:  LD C,A
        CALL EXPECT
        DB ')'
        POP AF
STRNG1: PUSH AF                 ; A copies of C
        PUSH BC
        CALL GETSPA
        POP BC
        POP AF
        PUSH DE
        PUSH AF
        OR A
        JP Z,STRN3
STRN2:  LD B,A
        LD A,C
        LD (DE),A
        INC DE
        LD A,B
        DEC A
        JP NZ,STRN2
STRN3:  POP AF
        POP DE
        JP MKTEMP

; LEFT$(s, n), RIGHT$(s, n), MID$(s, start[, n])
FLEFT:  CALL STRAR1
        LD C,A                  ; n
        LD B,0                  ; from 0
        JP SUBSTR
FRIGHT: CALL STRAR1
        LD C,A
        LD HL,(FAC)
        LD A,(HL)
        SUB C
        LD B,A
        JP NC,SUBSTR
        LD B,0
        JP SUBSTR
FMID:   CALL STRARG
        OR A
        JP Z,FCERR
        DEC A
        LD B,A
        LD C,0FFh
        CALL CHRGOT
        CP ','
        JP NZ,FMID1
        PUSH BC
        LD HL,(FAC)
        PUSH HL
        CALL CHRGET
        CALL BYTEXP
        POP HL
        LD (FAC),HL
        POP BC
        LD C,A
        LD A,1
        LD (VALTYP),A
FMID1:  PUSH BC
        CALL EXPECT
        DB ')'
        POP BC
        JP SUBSTR

; STRARG: '(' string ',' byte: the string's descriptor stays in FAC
; (its temporary is kept), A = the byte.
STRARG: CALL EXPECT
        DB '('
        CALL EXPR
        CALL STRCHK
        LD HL,(FAC)
        PUSH HL
        CALL EXPECT
        DB ','
        CALL BYTEXP
        POP HL
        LD (FAC),HL
        PUSH AF
        LD A,1
        LD (VALTYP),A
        POP AF
        RET
; The same and ')'.
STRAR1: CALL STRARG
        PUSH AF
        CALL EXPECT
        DB ')'
        POP AF
        RET

; SUBSTR: of the string in FAC, C characters from position B (0-based).
SUBSTR: LD HL,(FAC)
        LD A,(HL)
        SUB B
        JP NC,SUBS1
        XOR A                   ; starts after the end: empty
SUBS1:  CP C
        JP C,SUBS2
        LD A,C
SUBS2:  LD C,A                  ; C = length of the result
        PUSH BC
        CALL GETSPA
        POP BC
        PUSH DE
        PUSH BC
        LD HL,(FAC)             ; (read after GETSPA: it may have moved)
        INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        LD A,B
        ADD A,L
        LD L,A
        LD A,0
        ADC A,H
        LD H,A
        LD A,C
        OR A
        JP Z,SUBS4
SUBS3:  LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC C
        JP NZ,SUBS3
SUBS4:  CALL FRESTR
        POP BC
        POP DE
        LD A,C
        JP MKTEMP

; INSTR([start,] s, t)
FINSTR: CALL EXPECT
        DB '('
        LD A,1
        PUSH AF
        CALL EXPR
        LD A,(VALTYP)
        OR A
        JP NZ,FINS1
        POP AF
        CALL BYTFAC
        OR A
        JP Z,FCERR
        PUSH AF
        CALL EXPECT
        DB ','
        CALL EXPR
        CALL STRCHK
FINS1:  LD HL,(FAC)
        PUSH HL
        CALL EXPECT
        DB ','
        CALL EXPR
        CALL STRCHK
        CALL EXPECT
        DB ')'
        LD HL,(FAC)             ; t
        CALL FRETMP
        LD C,A                  ; length of t
        PUSH DE                 ; text of t
        POP HL
        EX (SP),HL              ; HL = s descriptor, (SP) = t text
        CALL FRETMP
        LD B,A                  ; length of s, DE = its text
        POP HL                  ; t text
        POP AF                  ; start (1-based)
        PUSH HL
        LD (INSPOS),A           ; position
        LD L,A
        DEC A
        CP B
        JP NC,FINS0             ; start beyond s (or s empty)
        LD A,C
        OR A
        JP Z,FINSE              ; empty t: found at start
        ; DE += start - 1
        LD A,L
        DEC A
        ADD A,E
        LD E,A
        LD A,0
        ADC A,D
        LD D,A
FINS2:  LD A,(INSPOS)            ; room left: B - (pos - 1) >= C ?
        LD L,A
        LD A,B
        SUB L
        INC A
        CP C
        JP C,FINS0
        POP HL                  ; t
        PUSH HL
        PUSH DE
        PUSH BC
FINS3:  LD A,(DE)
        CP (HL)
        JP NZ,FINS4
        INC DE
        INC HL
        DEC C
        JP NZ,FINS3
        POP BC
        POP DE
        LD A,(INSPOS)
        LD L,A
        JP FINSE
FINS4:  POP BC
        POP DE
        INC DE
        LD HL,INSPOS
        INC (HL)
        JP FINS2
FINS0:  LD L,0
FINSE:  POP DE
        XOR A
        LD (VALTYP),A
        LD A,L
        JP FLTA

FHEXS:  CALL PARNUM
        CALL CINTU
        LD C,4
        JP RADIX
FOCTS:  CALL PARNUM
        CALL CINTU
        LD C,3
; HL in base 2^C without leading zeros, as a string.
RADIX:  LD DE,NUMBUF+20
        XOR A
        LD (DE),A
RDX01:  LD A,C
        CP 4
        LD A,0Fh
        JP Z,RDX1
        LD A,7
RDX1:   LD B,A
RDX2:   DEC DE
        LD A,L
        AND B
        ADD A,'0'
        CP '9'+1
        JP C,RDX3
        ADD A,7
RDX3:   LD (DE),A
        PUSH BC
RDX4:   LD A,H                  ; HL >>= C
        OR A
        RRA
        LD H,A
        LD A,L
        RRA
        LD L,A
        DEC C
        JP NZ,RDX4
        POP BC
        LD A,H
        OR L
        JP NZ,RDX2
        EX DE,HL
        JP STRZ

FINKEY: CALL INSTAT
        OR A
        JP Z,FINK1
        CALL INCH
        JP CHR1
FINK1:  LD DE,0
        XOR A
        JP MKTEMP

FEOF:   JP FCERR

; ---- DEF FN calls -----------------------------------------------------------------
; FNname[(arguments)]: the arguments are evaluated first; then each
; parameter variable is saved and set, the expression of the definition is
; evaluated, and the parameters get their values back. Parameters are
; numbers.
FNCALL: CALL CHRGET
        CALL GETNAM
        CALL FNFIND
        JP NZ,UFERR
        LD A,(VARTYP)
        LD (FNTYP),A
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)               ; DE = text after the name in DEF
        LD A,(FNTYP)
        LD H,A
        PUSH HL                 ; the function's type (H)
        PUSH DE
        LD B,0                  ; arguments on the stack
        CALL CHRGOT
        CP '('
        JP NZ,FNC3
FNC1:   PUSH BC
        CALL CHRGET
        CALL NUMEXP
        POP BC
        INC B
        LD A,B
        CP 9
        JP NC,SNERR
        LD HL,(FAC+2)
        PUSH HL
        LD HL,(FAC)
        PUSH HL
        PUSH BC
        CALL CHRGOT
        POP BC
        CP ','
        JP Z,FNC1
        PUSH BC
        CALL EXPECT
        DB ')'
        POP BC
FNC3:   LD A,B                  ; into FNARGS, the last one first
        LD (FNCNT),A
        OR A
        JP Z,FNC5
        LD L,B
        LD H,0
        ADD HL,HL
        ADD HL,HL
        LD DE,FNARGS-4
        ADD HL,DE
FNC4:   POP DE
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        POP DE
        LD (HL),E
        INC HL
        LD (HL),D
        LD DE,-7
        ADD HL,DE
        DEC B
        JP NZ,FNC4
FNC5:   POP DE                  ; the definition
        LD HL,(TXTP)
        PUSH HL                 ; the caller's text
        EX DE,HL
        LD (TXTP),HL
        LD A,(FNDEPTH)
        INC A
        LD (FNDEPTH),A
        LD C,0                  ; parameters
        LD HL,FNARGS
        LD (FNAP),HL
        CALL CHRGOT
        CP '('
        JP NZ,FNC8
FNC6:   PUSH BC
        CALL CHRGET
        CALL PTRGET
        POP BC
        LD A,(VARTYP)
        CP 2
        JP Z,TMERR
        LD HL,(VARADR)          ; save the old value and the address
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        PUSH HL
        PUSH DE
        LD HL,(VARADR)
        PUSH HL
        INC C
        LD A,(FNCNT)
        CP C
        JP C,SNERR              ; more parameters than arguments
        PUSH BC
        LD HL,(FNAP)
        PUSH HL
        CALL LDFAC
        POP HL
        LD DE,4
        ADD HL,DE
        LD (FNAP),HL
        XOR A
        LD (VALTYP),A
        CALL ASSIGN
        CALL CHRGOT
        POP BC
        CP ','
        JP Z,FNC6
        PUSH BC
        CALL EXPECT
        DB ')'
        POP BC
FNC8:   LD A,(FNCNT)
        CP C
        JP NZ,SNERR
        PUSH BC                 ; C = parameters to restore
        CALL EXPECT
        DB '='
        CALL EXPR
        POP BC
FNC9:   LD A,C
        OR A
        JP Z,FNC10
        POP HL                  ; address
        POP DE
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        POP DE
        LD (HL),E
        INC HL
        LD (HL),D
        DEC C
        JP FNC9
FNC10:  POP HL
        LD (TXTP),HL
        LD A,(FNDEPTH)
        DEC A
        LD (FNDEPTH),A
        POP HL                  ; H = the function's type
        LD A,H
        CP 2
        LD A,(VALTYP)
        JP Z,FNC11
        OR A
        RET Z
        JP TMERR
FNC11:  OR A
        RET NZ
        JP TMERR
