; Velgard BASIC: strings.
;
; A string value is a 3-byte descriptor: the length, then the address of
; the text. Texts made at run time live in the string space, which grows
; down from MEMSIZ to FRETOP; texts in quotes in the program stay where
; they are. Expressions hand strings on in temporary descriptors (TEMPST).
; When the string space meets the arrays, GARBAG moves every live text to
; the top, highest first, and updates its descriptor.

; MKTEMP: a temporary descriptor for A bytes at DE; FAC points to it.
MKTEMP: LD HL,(TEMPPT)
        PUSH AF
        PUSH DE
        LD DE,TEMPEND
        CALL CPHD
        POP DE
        JP NC,STERR
        POP AF
        LD (FAC),HL
        LD (HL),A
        INC HL
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        LD (TEMPPT),HL
        LD A,1
        LD (VALTYP),A
        RET

; FRESTR: the string in FAC is used up: HL = its descriptor, A = length,
; DE = text. A temporary descriptor on top is given back.
FRESTR: CALL STRCHK
        LD HL,(FAC)
; FRETMP: the same for the descriptor at HL.
FRETMP: PUSH HL
        EX DE,HL
        LD HL,(TEMPPT)
        DEC HL
        DEC HL
        DEC HL
        CALL CPHD
        JP NZ,FRT1
        LD (TEMPPT),HL
FRT1:   POP HL
        LD A,(HL)
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        DEC HL
        DEC HL
        RET

; Like FRESTR, and when the text is the newest in the string space its
; room is given back too (only where nothing is made before it is used).
FRESTF: CALL FRESTR
        PUSH HL
        PUSH AF
        LD HL,(TEMPPT)          ; a temporary one was given back
        LD B,H
        LD C,L
        POP AF
        POP HL
        PUSH HL
        PUSH AF
        LD A,H
        CP B
        JP NZ,FRF1
        LD A,L
        CP C
        JP NZ,FRF1
        LD HL,(FRETOP)
        CALL CPHD
        JP NZ,FRF1
        POP AF
        PUSH AF
        LD L,A
        LD H,0
        ADD HL,DE
        LD (FRETOP),HL
FRF1:   POP AF
        POP HL
        RET

; GETSPA: room for A bytes in the string space; DE = its address.
GETSPA: PUSH AF
        CALL GETSP1
        JP NC,GETSP2
        CALL GARBAG
        POP AF
        PUSH AF
        CALL GETSP1
        JP C,OSERR
GETSP2: LD (FRETOP),HL
        EX DE,HL
        POP AF
        RET
GETSP1: LD C,A                  ; HL = FRETOP - A; carry if it meets STREND
        LD B,0
        LD HL,(FRETOP)
        LD A,L
        SUB C
        LD L,A
        LD A,H
        SBC A,B
        LD H,A
        RET C
        PUSH HL
        LD HL,(STREND)
        LD BC,32                ; keep a little room above the arrays
        ADD HL,BC
        EX DE,HL
        POP HL
        JP CPHD

; Copies the text of the descriptor at HL to DE; DE ends after it.
COPYST: LD B,(HL)
        INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        LD A,B
        OR A
        RET Z
CPST1:  LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC B
        JP NZ,CPST1
        RET

; CONCAT: DE = left descriptor, FAC = right descriptor.
CONCAT: PUSH DE
        LD HL,(FAC)
        PUSH HL
        LD A,(DE)
        ADD A,(HL)
        JP C,LSERR
        LD (DSCTMP),A
        CALL GETSPA
        EX DE,HL
        LD (DSCTMP+1),HL
        EX DE,HL
        POP HL                  ; right
        POP BC                  ; left
        PUSH HL
        PUSH BC
        LD H,B
        LD L,C
        CALL COPYST
        POP BC
        POP HL
        PUSH BC
        PUSH HL
        CALL COPYST
        POP HL
        CALL FRETMP
        POP HL
        CALL FRETMP
        LD HL,(DSCTMP+1)
        EX DE,HL
        LD A,(DSCTMP)
        JP MKTEMP

; STRCMP: DE = left descriptor, FAC = right one. A = 1 if right > left,
; 0 if equal, FFh if right < left.
STRCMP: LD HL,(FAC)
        PUSH DE
        PUSH HL
        LD A,(DE)
        LD B,A                  ; left length
        INC DE
        LD A,(DE)
        INC DE
        PUSH AF
        LD A,(DE)
        LD D,A
        POP AF
        LD E,A                  ; DE = left text
        LD C,(HL)               ; right length
        INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A                  ; HL = right text
STC1:   LD A,B
        OR A
        JP Z,STC3
        LD A,C
        OR A
        JP Z,STCLT              ; right ended first
        LD A,(DE)
        CP (HL)
        JP C,STCGT
        JP NZ,STCLT
        INC DE
        INC HL
        DEC B
        DEC C
        JP STC1
STC3:   LD A,C
        OR A
        JP Z,STCEQ
STCGT:  LD A,1
        JP STC4
STCLT:  LD A,0FFh
        JP STC4
STCEQ:  XOR A
STC4:   POP HL
        PUSH AF
        CALL FRETMP
        POP AF
        POP HL
        PUSH AF
        CALL FRETMP
        POP AF
        RET

; STRASG: stores the string in FAC into the descriptor at VARADR. Texts in
; the program and newly made ones are taken over; others are copied.
STRASG: LD HL,(FAC)
        LD A,(HL)
        OR A
        JP Z,STAS3              ; empty
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        EX DE,HL                ; HL = text
        LD DE,TXTTAB
        CALL CPHD
        JP C,STAS1
        EX DE,HL
        LD HL,(VARTAB)
        EX DE,HL
        CALL CPHD
        JP C,STAS3              ; in the program: kept there
STAS1:  EX DE,HL
        LD HL,(FRETOP)
        EX DE,HL
        CALL CPHD
        JP C,STAS2              ; not in the string space
        LD HL,(FAC)
        LD DE,TEMPST
        CALL CPHD
        JP C,STAS2
        LD DE,TEMPEND
        CALL CPHD
        JP C,STAS3              ; a new text: taken over
STAS2:  LD HL,(FAC)             ; copied
        LD A,(HL)
        CALL GETSPA
        PUSH DE
        LD HL,(FAC)
        CALL COPYST
        CALL FRESTR
        POP DE
        LD HL,(VARADR)
        LD (HL),A
        INC HL
        LD (HL),E
        INC HL
        LD (HL),D
        RET
STAS3:  CALL FRESTR
        LD HL,(VARADR)
        LD (HL),A
        INC HL
        LD (HL),E
        INC HL
        LD (HL),D
        RET

; ---- Garbage collection -------------------------------------------------------
GARBAG: LD HL,(MEMSIZ)
        LD (GCTOP),HL
        LD (GCLIM),HL
GC1:    LD HL,0
        LD (GCBEST),HL
        LD (GCBADR),HL
        CALL GCSCAN
        LD HL,(GCBEST)
        LD A,H
        OR L
        JP Z,GCEND
        LD C,(HL)               ; length
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)               ; DE = text
        PUSH HL
        EX DE,HL
        LD (GCLIM),HL
        LD B,0
        ADD HL,BC               ; HL = end of the text
        PUSH HL
        LD HL,(GCTOP)
        LD A,L
        SUB C
        LD L,A
        LD A,H
        SBC A,B
        LD H,A
        LD (GCTOP),HL           ; new place
        POP DE                  ; DE = source end
        ADD HL,BC               ; HL = destination end
GC2:    DEC DE                  ; copy downwards
        DEC HL
        LD A,(DE)
        LD (HL),A
        DEC C
        JP NZ,GC2
        POP HL                  ; descriptor + 2
        LD A,(GCTOP+1)
        LD (HL),A
        DEC HL
        LD A,(GCTOP)
        LD (HL),A
        JP GC1
GCEND:  LD HL,(GCTOP)
        LD (FRETOP),HL
        RET

; GCVIS: looks at the descriptor at HL.
GCVIS:  LD A,(HL)
        OR A
        RET Z
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)               ; text
        DEC HL
        DEC HL
        PUSH HL
        LD HL,(FRETOP)
        EX DE,HL
        CALL CPHD               ; text < FRETOP: not ours
        JP C,GCV9
        EX DE,HL
        LD HL,(GCLIM)
        EX DE,HL
        CALL CPHD               ; text >= GCLIM: done already
        JP NC,GCV9
        EX DE,HL
        LD HL,(GCBADR)
        EX DE,HL
        CALL CPHD
        JP C,GCV9
        JP Z,GCV9
        LD (GCBADR),HL
        POP HL
        LD (GCBEST),HL
        RET
GCV9:   POP HL
        RET

; GCSCAN: GCVIS for every descriptor: temporaries, simple variables and
; string arrays.
GCSCAN: LD HL,TEMPST
GCS1:   EX DE,HL
        LD HL,(TEMPPT)
        CALL CPHD
        EX DE,HL
        JP Z,GCS2
        PUSH HL
        CALL GCVIS
        POP HL
        INC HL
        INC HL
        INC HL
        JP GCS1
GCS2:   LD HL,(VARTAB)
GCS3:   EX DE,HL
        LD HL,(ARYTAB)
        CALL CPHD
        EX DE,HL
        JP Z,GCS5
        LD A,(HL)
        OR A
        JP P,GCS4
        PUSH HL
        INC HL
        INC HL
        CALL GCVIS
        POP HL
GCS4:   LD DE,6
        ADD HL,DE
        JP GCS3
GCS5:   LD HL,(ARYTAB)
GCS6:   EX DE,HL
        LD HL,(STREND)
        CALL CPHD
        EX DE,HL
        RET Z
        PUSH HL                 ; entry
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        POP BC
        PUSH BC
        EX DE,HL
        ADD HL,BC
        EX DE,HL                ; DE = end of the entry
        LD A,(BC)
        OR A
        JP P,GCS8               ; not strings
        LD A,(HL)               ; skip the counts
        ADD A,A
        INC A
        LD C,A
        LD B,0
        ADD HL,BC
GCS7:   CALL CPHD
        JP Z,GCS8
        PUSH DE
        PUSH HL
        CALL GCVIS
        POP HL
        POP DE
        INC HL
        INC HL
        INC HL
        JP GCS7
GCS8:   POP HL
        EX DE,HL
        JP GCS6
