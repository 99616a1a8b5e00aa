; Velgard BASIC: expressions and variables.
;
; An expression leaves a number in FAC (VALTYP 0) or a string (VALTYP 1,
; FAC holding the address of its descriptor: length, address of the text).
; Precedence, lowest first: XOR, OR, AND, NOT, relations, + -, MOD, \,
; * /, unary minus, ^.

NUMCHK: LD A,(VALTYP)
        OR A
        RET Z
        JP TMERR
STRCHK: LD A,(VALTYP)
        OR A
        RET NZ
        JP TMERR

; Expression to a number in FAC.
NUMEXP: CALL EXPR
        JP NUMCHK

; Expression to an integer in HL (-32768..32767).
INTEXP: CALL NUMEXP
        JP CINT

; Expression to a byte in A (0..255); illegal function call otherwise.
BYTEXP: CALL INTEXP
        LD A,H
        OR A
        JP NZ,FCERR
        LD A,L
        RET

; Expression to an address in HL (-32768..65535).
ADREXP: CALL NUMEXP
        JP CINTU

EXPR:   XOR A                   ; the whole expression
; EVPREC: an expression of operators above precedence A (precedence
; climbing: one level of recursion per operator, not per precedence).
; XOR 1, OR 2, AND 3, NOT 4, relations 5, + - 6, MOD 7, \ 8, * / 9,
; unary minus 10, ^ 11.
EVPREC: PUSH AF                 ; the precedence to stay above
        LD HL,0
        ADD HL,SP
        LD DE,STKLIM
        CALL CPHD
        JP C,OMERR
        CALL UNARY
EVP1:   CALL CHRGOT
        CALL BINOP              ; B = operator code, C = precedence, Z if none
        JP Z,EVPRET
        POP AF
        PUSH AF
        CP C
        JP NC,EVPRET            ; binds less: for the caller
        ; the left operand and the operator wait on the stack
        LD HL,(FAC+2)
        PUSH HL
        LD HL,(FAC)
        PUSH HL
        LD A,(VALTYP)
        LD H,A
        LD L,B
        PUSH HL
        LD A,B                  ; relations have taken their characters
        CP OPREL
        JP NC,EVP2
        CALL CHRGET
EVP2:   POP HL
        PUSH HL
        LD A,C
        CALL EVPREC             ; the right operand
        POP HL                  ; H = left type, L = operator
        POP DE                  ; left value
        POP BC
        LD A,(VALTYP)
        CP H
        JP NZ,TMERR
        LD A,L
        CALL DOOP
        JP EVP1
EVPRET: POP AF
        RET

; Operator codes
OPXOR   EQU 0
OPOR    EQU 1
OPAND   EQU 2
OPADD   EQU 3
OPSUB   EQU 4
OPMOD   EQU 5
OPIDIV  EQU 6
OPMUL   EQU 7
OPDIV   EQU 8
OPPOW   EQU 9
OPREL   EQU 10                  ; 10 + the relation mask (1 >, 2 =, 4 <)

; BINOP: the operator at A: B = its code, C = its precedence; Z if A is
; no binary operator. Relations are read here (TXTP after them).
BINOP:  LD BC,OPADD*256+6
        CP '+'
        JP Z,BINY
        LD BC,OPSUB*256+6
        CP '-'
        JP Z,BINY
        LD BC,OPMUL*256+9
        CP '*'
        JP Z,BINY
        LD BC,OPDIV*256+9
        CP '/'
        JP Z,BINY
        LD BC,OPPOW*256+11
        CP '^'
        JP Z,BINY
        LD BC,OPIDIV*256+8
        CP '\'
        JP Z,BINY
        LD BC,OPMOD*256+7
        CP TMOD
        JP Z,BINY
        LD BC,OPAND*256+3
        CP TAND
        JP Z,BINY
        LD BC,OPOR*256+2
        CP TOR
        JP Z,BINY
        LD BC,OPXOR*256+1
        CP TXOR
        JP Z,BINY
        LD B,0                  ; relations: < = > in any pair
BIN1:   CP '<'
        JP NZ,BIN2
        LD A,B
        OR 4
        JP BIN4
BIN2:   CP '='
        JP NZ,BIN3
        LD A,B
        OR 2
        JP BIN4
BIN3:   CP '>'
        JP NZ,BIN5
        LD A,B
        OR 1
BIN4:   LD B,A
        INC HL
        LD (TXTP),HL
        LD A,(HL)
        JP BIN1
BIN5:   LD A,B
        OR A
        RET Z
        ADD A,OPREL
        LD B,A
        LD C,5
BINY:   OR 1                    ; NZ
        RET

; UNARY: NOT, unary minus and plus, or an operand.
UNARY:  CALL CHRGOT
        CP '-'
        JP Z,UNEG
        CP '+'
        JP Z,UPLUS
        CP TNOT
        JP NZ,ATOM
        CALL CHRGET
        LD A,4
        CALL EVPREC
        CALL NUMCHK
        CALL CINT
        LD A,L
        CPL
        LD L,A
        LD A,H
        CPL
        LD H,A
        JP FLT16
UNEG:   CALL CHRGET
        LD A,10
        CALL EVPREC
        CALL NUMCHK
        JP FNEG
UPLUS:  CALL CHRGET
        JP UNARY

; DOOP: left operand BCDE (or DE = its descriptor), right in FAC, A = the
; operator.
DOOP:   CP OPREL
        JP NC,DOREL
        LD L,A
        LD A,(VALTYP)
        OR A
        LD A,L
        JP NZ,DOSTR
        CP OPADD
        JP Z,FADD
        CP OPSUB
        JP Z,FSUB
        CP OPMUL
        JP Z,FMUL
        CP OPDIV
        JP Z,FDIV
        CP OPPOW
        JP Z,FPOW
        ; the integer operators: both sides to 16 bits
        PUSH AF
        PUSH BC
        PUSH DE
        CALL CINT               ; right
        POP DE
        POP BC
        PUSH HL
        CALL REGFAC
        CALL CINT               ; left
        POP DE                  ; DE = right, HL = left
        POP AF
        CP OPXOR
        JP Z,DOXOR
        CP OPOR
        JP Z,DOOR
        CP OPAND
        JP Z,DOAND
        CP OPMOD
        JP Z,DOMOD
        CALL IDIV16             ; \
        CALL FLT16
        LD A,(MODEF)            ; 32768 is too big
        OR A
        JP NZ,OVERR
        RET
DOMOD:  CALL IDIV16
        EX DE,HL
        JP FLT16
DOXOR:  LD A,L
        XOR E
        LD L,A
        LD A,H
        XOR D
        LD H,A
        JP FLT16
DOOR:   LD A,L
        OR E
        LD L,A
        LD A,H
        OR D
        LD H,A
        JP FLT16
DOAND:  LD A,L
        AND E
        LD L,A
        LD A,H
        AND D
        LD H,A
        JP FLT16
DOSTR:  CP OPADD
        JP NZ,TMERR
        JP CONCAT
DOREL:  SUB OPREL
        PUSH AF
        LD A,(VALTYP)
        OR A
        JP NZ,DORELS
        CALL FCMP               ; right against left
DOREL1: POP BC                  ; B = the relation
        LD C,4                  ; right greater: left < right
        CP 1
        JP Z,DOREL2
        LD C,2
        OR A
        JP Z,DOREL2
        LD C,1
DOREL2: LD A,B
        AND C
        JP SETBOOL
DORELS: CALL STRCMP
        PUSH AF
        XOR A
        LD (VALTYP),A
        POP AF
        JP DOREL1

; FAC = -1 if A is nonzero, else 0.
SETBOOL:
        OR A
        JP Z,FZERO
        LD BC,8180h
        LD DE,0
        JP REGFAC

; ---- Operands --------------------------------------------------------------------
ATOM:   XOR A
        LD (VALTYP),A
        CALL CHRGOT
        JP Z,MOERR
        CP '"'
        JP Z,STRLIT
        CP '.'
        JP Z,ATNUM
        CALL ISDIG
        JP NC,ATNUM
        CP '('
        JP Z,ATPAR
        CP '&'
        JP Z,ATHEX
        CALL ISLET
        JP NC,ATVAR
        CP TFN
        JP Z,FNCALL
        CP TNOT
        JP Z,UNARY
        CP '-'
        JP Z,UNARY
        CP TERR
        JP Z,ATERR
        CP TERL
        JP Z,ATERL
        CP TFIRSTF
        JP C,SNERR
        CP TEOF+1
        JP NC,SNERR
        SUB TFIRSTF             ; a function
        ADD A,A
        LD L,A
        LD H,0
        LD DE,FUNTAB
        ADD HL,DE
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        PUSH HL
        JP CHRGET

MOERR:  LD E,22
        JP BERROR

; A number in the program. Whole numbers below 10000 are read here at
; once; the rest by FIN.
ATNUM:  LD HL,(TXTP)
        LD DE,0
        LD B,5
ATNM1:   LD A,(HL)
        SUB '0'
        CP 10
        JP NC,ATNM2
        DEC B
        JP Z,ATSLOW
        PUSH HL
        LD H,D
        LD L,E
        ADD HL,HL
        ADD HL,HL
        ADD HL,DE
        ADD HL,HL
        LD E,A
        LD D,0
        ADD HL,DE
        EX DE,HL
        POP HL
        INC HL
        JP ATNM1
ATNM2:   LD A,B
        CP 5
        JP Z,ATSLOW             ; no digit first (.5)
        PUSH HL
        DEC HL
ATNM3:   INC HL                  ; what follows, past blanks, must end it
        LD A,(HL)
        CP ' '
        JP Z,ATNM3
        POP HL
        CP '.'
        JP Z,ATSLOW
        CP '0'
        JP C,ATNM4
        CP '9'+1
        JP C,ATSLOW
ATNM4:   CALL UPC
        CP 'E'
        JP Z,ATSLOW
        CP 'D'
        JP Z,ATSLOW
        CP '!'
        JP Z,ATSLOW
        CP '#'
        JP Z,ATSLOW
        LD (TXTP),HL
        EX DE,HL
        JP FLT16
ATSLOW: LD HL,(TXTP)
        CALL FIN
        LD (TXTP),HL
        RET

ATPAR:  CALL CHRGET
        CALL EXPR
        CALL EXPECT
        DB ')'
        RET

ATERR:  CALL CHRGET
        LD HL,(ERRNUM)
        JP FLT16
ATERL:  CALL CHRGET
        LD HL,(ERRLIN)
        JP FLTU16

; FAC = HL as an unsigned number.
FLTU16: XOR A
        LD (RSIGN),A
        JP FLT161

; &Hxxxx, &Oooo, &ooo: 16 bits, signed
ATHEX:  CALL CHRGET
        CALL UPC
        LD C,4                  ; bits a digit
        CP 'H'
        JP Z,ATHX1
        LD C,3
        CP 'O'
        JP NZ,ATHX2
ATHX1:  LD HL,(TXTP)
        INC HL
        LD (TXTP),HL
ATHX2:  LD HL,(TXTP)
        LD DE,0
ATHX3:  LD A,(HL)
        CALL UPC
        SUB '0'
        JP C,ATHXE
        CP 10
        JP C,ATHX4
        SUB 7
        CP 10
        JP C,ATHXE
ATHX4:  LD B,A
        LD A,C
        CP 4
        LD A,B
        JP Z,ATHX5
        CP 8
        JP NC,ATHXE
ATHX5:  CP 16
        JP NC,ATHXE
        PUSH HL
        EX DE,HL
        LD B,C
ATHX6:  ADD HL,HL
        JP C,OVERR
        DEC B
        JP NZ,ATHX6
        OR L
        LD L,A
        EX DE,HL
        POP HL
        INC HL
        JP ATHX3
ATHXE:  LD (TXTP),HL
        EX DE,HL
        JP FLT16

ATVAR:  CALL PTRGET
        LD A,(VARTYP)
        CP 2
        JP Z,ATVARS
        OR A
        JP NZ,ATVARI
        JP LDFAC
ATVARI: LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        JP FLT16
ATVARS: LD (FAC),HL             ; the variable's own descriptor
        LD A,1
        LD (VALTYP),A
        RET

; A string in quotes: a temporary descriptor for the text in place.
STRLIT: LD HL,(TXTP)
        INC HL
        LD D,H
        LD E,L
        LD B,0
STRL1:  LD A,(HL)
        OR A
        JP Z,STRL2
        CP '"'
        JP Z,STRL3
        INC HL
        INC B
        JP STRL1
STRL3:  INC HL
STRL2:  LD (TXTP),HL
        LD A,B
        JP MKTEMP               ; A = length, DE = text

; ---- Integer helpers ------------------------------------------------------------
; IDIV16: HL / DE, signed: HL = quotient (truncated), DE = remainder with
; the sign of HL. MODEF = 1 when the quotient is 32768.
IDIV16: LD A,D
        OR E
        JP Z,DZERR
        XOR A
        LD (MODEF),A
        LD A,H
        XOR D
        PUSH AF                 ; sign of the quotient
        LD A,H
        PUSH AF                 ; sign of the remainder
        CALL ABSHL
        EX DE,HL
        CALL ABSHL
        EX DE,HL
        CALL UDIV16
        POP AF
        OR A
        JP P,IDV1
        EX DE,HL
        CALL NEGHL
        EX DE,HL
IDV1:   POP AF
        OR A
        JP P,IDV2
        JP NEGHL
IDV2:   LD A,H
        OR A
        RET P
        LD A,1                  ; +32768
        LD (MODEF),A
        RET

ABSHL:  LD A,H
        OR A
        RET P
NEGHL:  LD A,L
        CPL
        LD L,A
        LD A,H
        CPL
        LD H,A
        INC HL
        RET

; UDIV16: HL / DE unsigned: HL = quotient, DE = remainder.
UDIV16: LD B,H
        LD C,L                  ; BC = dividend
        LD HL,0                 ; remainder
        LD A,16
UDV1:   PUSH AF
        LD A,C                  ; BC <<= 1 into HL
        ADD A,A
        LD C,A
        LD A,B
        RLA
        LD B,A
        LD A,L
        RLA
        LD L,A
        LD A,H
        RLA
        LD H,A
        LD A,L                  ; HL - DE
        SUB E
        LD L,A
        LD A,H
        SBC A,D
        LD H,A
        JP NC,UDV2
        ADD HL,DE
        JP UDV3
UDV2:   INC C
UDV3:   POP AF
        DEC A
        JP NZ,UDV1
        EX DE,HL
        LD H,B
        LD L,C
        RET

; HL = HL x DE, unsigned; carry on overflow.
UMUL16: LD B,H
        LD C,L
        LD HL,0
        LD A,16
UML1:   ADD HL,HL
        JP C,UMLOV
        EX DE,HL
        ADD HL,HL
        EX DE,HL
        JP NC,UML2
        ADD HL,BC
        JP C,UMLOV
UML2:   DEC A
        JP NZ,UML1
        OR A
        RET
UMLOV:  SCF
        RET

; ---- Variables -------------------------------------------------------------------
; GETNAM: a name at TXTP into VARNAM and VARTYP; TXTP after it and any
; type mark.
GETNAM: CALL CHRGOT
        CALL ISLET
        JP C,SNERR
        LD C,A
        LD B,0
        INC HL
        LD A,(HL)
        CALL ISLET
        JP NC,GTN1
        CALL ISDIG
        JP C,GTN3
GTN1:   LD B,A
GTN2:   INC HL                  ; further characters do not count
        LD A,(HL)
        CALL ISLET
        JP NC,GTN2
        CALL ISDIG
        JP NC,GTN2
GTN3:   LD A,(HL)
        LD E,2
        CP '$'
        JP Z,GTN4
        LD E,1
        CP '%'
        JP Z,GTN4
        LD E,0
        CP '!'
        JP Z,GTN4
        CP '#'
        JP Z,GTN4
        PUSH HL                 ; the default of the initial letter
        LD A,C
        SUB 'A'
        LD E,A
        LD D,0
        LD HL,DEFTBL
        ADD HL,DE
        LD E,(HL)
        POP HL
        DEC HL
GTN4:   INC HL
        LD (TXTP),HL
        LD A,E
        LD (VARTYP),A
        CP 2
        JP NZ,GTN5
        LD A,C
        OR 80h
        LD C,A
GTN5:   CP 1
        JP NZ,GTN6
        LD A,B
        OR 80h
        LD B,A
GTN6:   LD A,C
        LD (VARNAM),A
        LD A,B
        LD (VARNAM+1),A
        RET

; PTRGET: the variable or array element at TXTP; HL = VARADR = the
; address of its value (created when new).
PTRGET: CALL GETNAM
        CALL CHRGOT
        CP '('
        JP Z,ARRAY
PTRS:   LD HL,(VARNAM)
        EX DE,HL                ; E = first, D = second
        LD HL,(ARYTAB)
        LD B,H
        LD C,L                  ; BC = end of the simple variables
        LD HL,(VARTAB)
PTS1:   LD A,L
        CP C
        JP NZ,PTS2
        LD A,H
        CP B
        JP Z,PTSNEW
PTS2:   LD A,(HL)
        CP E
        JP NZ,PTS3
        INC HL
        LD A,(HL)
        DEC HL
        CP D
        JP Z,PTSFND
PTS3:   LD A,L
        ADD A,6
        LD L,A
        JP NC,PTS1
        INC H
        JP PTS1
PTSFND: INC HL
        INC HL
        LD (VARADR),HL
        RET
PTSNEW: LD BC,6                 ; a new variable at the end of the list
        CALL ROOM
        LD HL,(ARYTAB)
        EX DE,HL
        LD HL,(STREND)
        LD BC,6
        CALL MOVUP
        LD HL,(STREND)
        LD BC,6
        ADD HL,BC
        LD (STREND),HL
        LD HL,(ARYTAB)
        PUSH HL
        ADD HL,BC
        LD (ARYTAB),HL
        POP HL
        LD A,(VARNAM)
        LD (HL),A
        INC HL
        LD A,(VARNAM+1)
        LD (HL),A
        INC HL
        LD (VARADR),HL
        XOR A
        LD (HL),A
        INC HL
        LD (HL),A
        INC HL
        LD (HL),A
        INC HL
        LD (HL),A
        LD HL,(VARADR)
        RET

; ROOM: BC more bytes above STREND must stay below the strings.
ROOM:   LD HL,(STREND)
        ADD HL,BC
        JP C,OMERR
        LD DE,64                ; a margin for the stack of strings
        ADD HL,DE
        JP C,OMERR
        EX DE,HL
        LD HL,(FRETOP)
        CALL CPHD
        RET NC
        PUSH BC
        PUSH DE
        CALL GARBAG
        POP DE
        POP BC
        LD HL,(FRETOP)
        CALL CPHD
        RET NC
        JP OMERR

; Element size of type A: 4, 2 or 3.
ELSIZE: OR A
        LD A,4
        RET Z
        LD A,(VARTYP)
        CP 1
        LD A,2
        RET Z
        LD A,3
        RET

; ARRAY: the element named VARNAM with the subscripts at TXTP ('(').
; SUBFLG = 1 (DIM): creates the array with these bounds instead.
ARRAY:  LD HL,(VARNAM)
        PUSH HL
        LD A,(VARTYP)
        LD H,A
        LD A,(SUBFLG)
        LD L,A
        PUSH HL
        XOR A
        LD (SUBFLG),A
        LD B,0                  ; subscripts
ARR1:   PUSH BC
        CALL CHRGET
        CALL INTEXP
        LD A,H
        OR A
        JP M,BSERR
        POP BC
        INC B
        PUSH HL
        LD A,B
        CP 9
        JP NC,BSERR
        CALL CHRGOT
        CP ','
        JP Z,ARR1
        CALL EXPECT
        DB ')'
        LD A,B
        LD (DIMCNT),A
        LD L,B
        LD H,0
        ADD HL,HL
        LD DE,IDXB-2
        ADD HL,DE
ARR3:   POP DE
        LD (HL),E
        INC HL
        LD (HL),D
        DEC HL
        DEC HL
        DEC HL
        DEC B
        JP NZ,ARR3
        POP HL
        LD A,H
        LD (VARTYP),A
        LD A,L
        LD (DIMFLG),A
        POP HL
        LD (VARNAM),HL
        EX DE,HL                ; look for it
        LD HL,(ARYTAB)
ARF1:   PUSH DE
        EX DE,HL
        LD HL,(STREND)
        CALL CPHD
        EX DE,HL
        POP DE
        JP Z,ARNEW
        LD A,(HL)
        CP E
        JP NZ,ARF2
        INC HL
        LD A,(HL)
        DEC HL
        CP D
        JP Z,ARFND
ARF2:   INC HL
        INC HL
        LD C,(HL)
        INC HL
        LD B,(HL)
        DEC HL
        DEC HL
        DEC HL
        ADD HL,BC
        JP ARF1
ARFND:  LD A,(DIMFLG)
        OR A
        JP NZ,DDERR
        LD BC,4
        ADD HL,BC
        LD A,(DIMCNT)
        CP (HL)
        JP NZ,BSERR
        INC HL
        JP ARIDX
ARNEW:  LD A,(VARTYP)           ; HL = element size x the counts
        CALL ELSIZE
        LD L,A
        LD H,0
        LD A,(DIMCNT)
        LD B,A
        LD DE,IDXB
ARN1:   PUSH BC
        PUSH DE
        CALL ARCNT              ; DE = count of this subscript
        CALL UMUL16
        JP C,OMERR
        POP DE
        INC DE
        INC DE
        POP BC
        DEC B
        JP NZ,ARN1
        LD A,(DIMCNT)           ; + 5 + 2n
        ADD A,A
        ADD A,5
        LD E,A
        LD D,0
        ADD HL,DE
        JP C,OMERR
        LD B,H
        LD C,L
        PUSH BC
        CALL ROOM
        POP BC
        LD HL,(STREND)
        PUSH HL
        LD A,(VARNAM)
        LD (HL),A
        INC HL
        LD A,(VARNAM+1)
        LD (HL),A
        INC HL
        LD (HL),C
        INC HL
        LD (HL),B
        INC HL
        LD A,(DIMCNT)
        LD (HL),A
        INC HL
        POP DE                  ; entry
        PUSH HL                 ; counts
        EX DE,HL
        ADD HL,BC
        LD (STREND),HL          ; new end
        POP HL
        PUSH HL
        LD A,(DIMCNT)
        LD B,A
        LD DE,IDXB
ARN2:   PUSH DE                 ; the counts
        PUSH HL
        CALL ARCNT
        POP HL
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        POP DE
        INC DE
        INC DE
        DEC B
        JP NZ,ARN2
        EX DE,HL                ; zero the elements
        LD HL,(STREND)
ARN3:   LD A,L
        CP E
        JP NZ,ARN4
        LD A,H
        CP D
        JP Z,ARN5
ARN4:   XOR A
        LD (DE),A
        INC DE
        JP ARN3
ARN5:   POP HL                  ; counts
        LD A,(DIMFLG)
        OR A
        RET NZ                  ; DIM: done
; ARIDX: HL = the counts of the array; the element of IDXB.
ARIDX:  LD (T2),HL
        LD A,(DIMCNT)
        LD L,A
        LD H,0
        ADD HL,HL
        EX DE,HL
        LD HL,(T2)
        ADD HL,DE
        LD (T3),HL              ; the elements
        LD HL,0
        LD (T1),HL
        LD A,(DIMCNT)
        LD B,A
ARX1:   DEC B
        PUSH BC
        LD L,B
        LD H,0
        ADD HL,HL
        PUSH HL
        EX DE,HL
        LD HL,(T2)
        ADD HL,DE
        LD E,(HL)
        INC HL
        LD D,(HL)               ; DE = count
        POP HL
        PUSH DE
        LD DE,IDXB
        ADD HL,DE
        LD C,(HL)
        INC HL
        LD B,(HL)               ; BC = subscript
        POP DE
        LD A,C
        SUB E
        LD A,B
        SBC A,D
        JP NC,BSERR
        LD HL,(T1)
        PUSH BC
        CALL UMUL16
        POP BC
        ADD HL,BC
        LD (T1),HL
        POP BC
        LD A,B
        OR A
        JP NZ,ARX1
        LD HL,(T1)
        LD D,H
        LD E,L
        ADD HL,HL
        LD A,(VARTYP)
        CP 1
        JP Z,ARX2
        CP 2
        JP Z,ARX3
        ADD HL,HL               ; x4
        JP ARX2
ARX3:   ADD HL,DE               ; x3
ARX2:   EX DE,HL
        LD HL,(T3)
        ADD HL,DE
        LD (VARADR),HL
        RET

; DE = the count for subscript (DE): subscript + 1 for DIM, else 11.
ARCNT:  LD A,(DIMFLG)
        OR A
        JP Z,ARC1
        PUSH HL
        EX DE,HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC DE
        POP HL
        RET
ARC1:   LD DE,11
        RET
