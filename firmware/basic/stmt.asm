; Velgard BASIC: statements. Every handler is entered with TXTP at the
; character after its keyword (A = that character, Z when the statement
; ends there) and returns to NEWSTT with TXTP at the end of the statement.

STMTAB: DW ENDST, FORST, NEXTST, DATAST, INPUTST, DIMST, READST, LETST
        DW GOTOST, RUNST, IFST, RESTST, GOSUBST, RETST, REMST, STOPST
        DW ELSEST, TRONST, TROFFST, SWAPST, ERASEST, ERRST, RESUMST, DELST
        DW AUTOST0, RENUMST, DEFSTR, DEFINT, DEFSNG, DEFST, POKEST, PRINTST
        DW CONTST, LISTST, CLEARST, NEWST, ONST, WHILEST, WENDST, RANDST
        DW OUTST, LINEST, CLSST, LOCST, COLORST, SCRNST, PSETST, PRESETST
        DW CIRCST, PAINTST, PALST, BEEPST, SOUNDST, MONST, SAVEST, LOADST
        DW MERGEST, FILESST, KILLST, NAMEST, OPENST, CLOSEST, WRITEST, LISTST

NFERR:  LD E,1
        JP BERROR
RGERR:  LD E,3
        JP BERROR
ODERR:  LD E,4
        JP BERROR
CNERR:  LD E,17
        JP BERROR
UFERR:  LD E,18
        JP BERROR
REERR:  LD E,20
        JP BERROR
WEERR:  LD E,30
        JP BERROR

; ---- Assignment ----------------------------------------------------------------
LETST:  CALL PTRGET
        LD HL,(VARADR)
        PUSH HL
        LD A,(VARTYP)
        PUSH AF
        LD HL,(ARYTAB)
        PUSH HL
        CALL EXPECT
        DB '='
        CALL EXPR
        POP DE
        POP AF
        POP HL
        CALL ADJADR
        LD (VARADR),HL
        LD (VARTYP),A
; ASSIGN: FAC (VALTYP) into the variable at VARADR of type VARTYP.
ASSIGN: LD A,(VARTYP)
        CP 2
        JP Z,ASSTR
        CALL NUMCHK
        LD A,(VARTYP)
        OR A
        JP NZ,ASINT
        LD HL,(VARADR)
        JP STFAC
ASINT:  CALL CINT
        EX DE,HL
        LD HL,(VARADR)
        LD (HL),E
        INC HL
        LD (HL),D
        RET
ASSTR:  CALL STRCHK
        JP STRASG

; An address in the arrays moves with them when a new simple variable was
; made meanwhile: HL = address, DE = ARYTAB before. A is kept.
ADJADR: PUSH AF
        CALL CPHD
        JP C,ADJ1
        PUSH HL
        LD HL,(ARYTAB)
        CALL SUBHD
        POP DE
        ADD HL,DE
ADJ1:   POP AF
        RET

; FAC = the value of the variable at HL of type A.
LDVAR:  CP 2
        JP Z,ATVARS
        PUSH AF
        XOR A
        LD (VALTYP),A
        POP AF
        OR A
        JP Z,LDFAC
        JP ATVARI

; ---- PRINT ----------------------------------------------------------------------
PRINTST:
        CALL CHRGOT
        JP Z,CRLFO
PR1:    CP TUSING
        JP Z,PUSING
        CP ';'
        JP Z,PRSEMI
        CP ','
        JP Z,PRCOMA
        CP TTAB
        JP Z,PRTAB
        CP TSPC
        JP Z,PRSPC
        CALL EXPR
        LD A,(VALTYP)
        OR A
        JP NZ,PRSTR
        CALL FOUT
        LD HL,NUMBUF
        CALL PRTS
        LD A,' '
        CALL OUTC
        JP PR2
PRSTR:  CALL FRESTF
        CALL PRTDE
PR2:    CALL CHRGOT
        JP Z,CRLFO
        JP PR1
PRSEMI: CALL CHRGET
        RET Z
        JP PR1
PRCOMA: CALL GETPOS             ; the next zone of 14 columns
        LD B,A
        LD C,0
PRC1:   LD A,C
        ADD A,14
        LD C,A
        CP B
        JP C,PRC1
        JP Z,PRC1
        CALL GETCOLS
        CP C
        JP C,PRC2
        JP Z,PRC2
        LD A,C
        SUB B
        CALL SPACES
        JP PRSEMI
PRC2:   CALL CRLFO
        JP PRSEMI
PRTAB:  CALL CHRGET
        CALL BYTEXP
        PUSH AF
        CALL EXPECT
        DB ')'
        POP AF
        OR A
        JP Z,PR2
        DEC A
        LD C,A
        CALL GETCOLS
        LD B,A
        LD A,C
PRT1:   CP B
        JP C,PRT2
        SUB B
        JP PRT1
PRT2:   LD C,A
        CALL GETPOS
        CP C
        JP Z,PR2
        JP C,PRT3
        PUSH BC
        CALL CRLFO
        POP BC
        XOR A
PRT3:   LD B,A
        LD A,C
        SUB B
        CALL SPACES
        JP PR2
PRSPC:  CALL CHRGET
        CALL BYTEXP
        PUSH AF
        CALL EXPECT
        DB ')'
        POP AF
        CALL SPACES
        JP PR2

; Prints A blanks.
SPACES: OR A
        RET Z
        PUSH AF
        LD A,' '
        CALL OUTC
        POP AF
        DEC A
        JP SPACES

; Prints A characters at DE.
PRTDE:  OR A
        RET Z
        LD B,A
PRD1:   LD A,(DE)
        CALL OUTC
        INC DE
        DEC B
        JP NZ,PRD1
        RET

; ---- INPUT and LINE INPUT ---------------------------------------------------------
INPUTST:
        CALL IDCHK
        LD HL,(TXTP)
        LD (RESPTR),HL          ; for "?Redo from start"
INP0:   CALL CHRGOT
        LD C,1                  ; print "? "
        CP '"'
        JP NZ,INP2
        CALL STRLIT
        CALL FRESTF
        CALL PRTDE
        CALL CHRGOT
        LD C,1
        CP ';'
        JP Z,INP1
        LD C,0
        CP ','
        JP NZ,SNERR
INP1:   PUSH BC
        CALL CHRGET
        POP BC
INP2:   LD A,C
        OR A
        JP Z,INP3
        CALL PRTI
        DB '? ',0
INP3:   CALL INLINE
        JP C,INPBRK
        LD HL,INBUF
        LD (USEPTR),HL          ; where the typed items are read
INPV:   CALL PTRGET
        LD HL,(USEPTR)
        LD C,0                  ; ':' belongs to the text
        CALL GETITEM
        JP C,INPREDO
        LD (USEPTR),HL
        CALL ASSIGN
        CALL CHRGOT
        CP ','
        JP NZ,INPEND
        CALL CHRGET
        LD HL,(USEPTR)          ; more variables than items: "??"
        LD A,(HL)
        CP ','
        JP Z,INPV1
        OR A
        JP NZ,INPREDO
        CALL PRTI
        DB '?? ',0
        CALL INLINE
        JP C,INPBRK
        LD HL,INBUF
        LD (USEPTR),HL
        JP INPV
INPV1:  INC HL
        LD (USEPTR),HL
        JP INPV
INPEND: LD HL,(USEPTR)
        CALL SKIPB
        OR A
        RET Z
        CALL PRTI
        DB '?Extra ignored',0
        JP CRLFO
INPREDO:
        CALL PRTI
        DB '?Redo from start',0
        CALL CRLFO
        LD HL,(RESPTR)
        LD (TXTP),HL
        LD HL,TEMPST
        LD (TEMPPT),HL
        JP INP0
INPBRK: LD HL,0
        LD (CONTP),HL
        JP BRK1

; GETITEM: the next item at HL for the variable of VARTYP: a number, or a
; string (in quotes, or up to ',' - and ':' when C = 1 - with the
; blanks around it dropped). The value is in FAC; HL after it (at ',' or
; the end). Carry if it is no valid item.
GETITEM:
        LD A,(VARTYP)
        CP 2
        JP Z,GETIS
        PUSH BC
        CALL FIN
        POP BC
        JP NC,GTI1
        CALL FZERO              ; nothing: 0 if the item is empty
GTI1:   XOR A
        LD (VALTYP),A
GTI2:   CALL SKIPB
        OR A
        RET Z
        CP ','
        RET Z
        CP ':'
        JP NZ,GTIBAD
        LD A,C
        OR A
        RET NZ
GTIBAD: SCF
        RET
GETIS:  CALL SKIPB
        CP '"'
        JP NZ,GTS2
        INC HL
        LD D,H
        LD E,L
        LD B,0
GTS1:   LD A,(HL)
        OR A
        JP Z,GTS5
        INC HL
        CP '"'
        JP Z,GTS5
        INC B
        JP GTS1
GTS5:   PUSH HL
        LD A,B
        CALL MKTEMP
        POP HL
        JP GTI2
GTS2:   LD D,H                  ; up to ',' (or ':'), blanks cut
        LD E,L
        LD B,0
GTS3:   LD A,(HL)
        OR A
        JP Z,GTS4
        CP ','
        JP Z,GTS4
        CP ':'
        JP NZ,GTS3A
        INC C
        DEC C
        JP NZ,GTS4
GTS3A:  INC HL
        INC B
        JP GTS3
GTS4:   PUSH HL                 ; trailing blanks
GTS6:   LD A,B
        OR A
        JP Z,GTS7
        DEC HL
        LD A,(HL)
        CP ' '
        JP NZ,GTS7
        DEC B
        JP GTS6
GTS7:   POP HL
        PUSH HL
        LD A,B
        CALL MKTEMP
        POP HL
        XOR A
        RET

; LINE INPUT ["prompt";] a$
LINEST: CP TINPUT
        JP NZ,GLINE
        CALL IDCHK
        CALL CHRGET
        CP '"'
        JP NZ,LIN1
        CALL STRLIT
        CALL FRESTF
        CALL PRTDE
        CALL EXPECT
        DB ';'
LIN1:   CALL PTRGET
        LD A,(VARTYP)
        CP 2
        JP NZ,TMERR
        LD HL,(VARADR)
        PUSH HL
        CALL INLINE
        POP HL
        JP C,INPBRK
        LD (VARADR),HL
        LD A,2
        LD (VARTYP),A
        LD HL,INBUF
        LD DE,INBUF
        LD B,0
LIN2:   LD A,(HL)
        OR A
        JP Z,LIN3
        INC HL
        INC B
        JP LIN2
LIN3:   LD A,B
        CALL MKTEMP
        JP STRASG

; Not in direct mode.
IDCHK:  PUSH AF
        LD A,(CURPTR+1)
        OR A
        JP Z,IDERR
        POP AF
        RET

; ---- DATA, READ, RESTORE ------------------------------------------------------------
DATAST: JP SKIPST

READST: CALL PTRGET
        CALL NXTDAT             ; HL = the item
        LD C,1
        CALL GETITEM
        JP C,SNERR
        LD (DATPTR),HL
        CALL ASSIGN
        CALL CHRGOT
        CP ','
        RET NZ
        CALL CHRGET
        JP READST

; NXTDAT: HL = the next DATA item (after its ',' or DATA keyword).
NXTDAT: LD HL,(DATPTR)
        LD A,H
        OR L
        JP NZ,NXD1
        LD HL,(DATLN)
        LD A,(HL)
        INC HL
        OR (HL)
        JP Z,ODERR
        INC HL
        INC HL
        INC HL
        JP NXD3
NXD1:   CALL SKIPB
        CP ','
        JP NZ,NXD3
        INC HL
        RET
NXD2:   INC HL
NXD3:   LD A,(HL)               ; look for DATA
        OR A
        JP Z,NXD5
        CP '"'
        JP Z,NXD4
        CP TDATA
        JP Z,NXD6
        CP TREM
        JP Z,NXD7
        CP TAPOS
        JP Z,NXD7
        JP NXD2
NXD4:   INC HL
        LD A,(HL)
        OR A
        JP Z,NXD5
        CP '"'
        JP NZ,NXD4
        JP NXD2
NXD7:   INC HL
        LD A,(HL)
        OR A
        JP NZ,NXD7
NXD5:   LD HL,(DATLN)           ; the next line
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        LD (DATLN),HL
        LD A,(HL)
        INC HL
        OR (HL)
        JP Z,ODERR
        INC HL
        INC HL
        INC HL
        JP NXD3
NXD6:   INC HL
        RET

RESTST: JP Z,RESTOR0
        CALL LINNUM
        CALL FINDLN
        JP NZ,ULERR
        LD (DATLN),HL
        LD HL,0
        LD (DATPTR),HL
        RET
RESTOR0:
        LD HL,TXTTAB
        LD (DATLN),HL
        LD HL,0
        LD (DATPTR),HL
        RET

; ---- Jumps ---------------------------------------------------------------------
GOTOST: CALL LINNUM
; GOTOLN: DE = line number; goes there.
GOTOLN: LD HL,(CURLIN)          ; forwards: search from this line on
        CALL CPHD
        JP NC,GTL1
        LD HL,(CURPTR)
        LD A,H
        OR L
        JP Z,GTL1
        CALL FINDFR
        JP GTL2
GTL1:   CALL FINDLN
GTL2:   JP NZ,ULERR
        CALL SETLIN
        JP NEWST2

GOSUBST:
        CALL LINNUM
        PUSH DE
        CALL PUSHRET
        POP DE
        JP GOTOLN

; A GOSUB frame returning to TXTP.
PUSHRET:
        CALL CSPUSH
        LD (HL),FRGOSUB
FRMPOS: LD DE,12                ; the frame's line and text
        ADD HL,DE
        EX DE,HL
        LD HL,(CURPTR)
        EX DE,HL
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        EX DE,HL
        LD HL,(TXTP)
        EX DE,HL
        LD (HL),E
        INC HL
        LD (HL),D
        RET

; CSPUSH: a new control stack frame; HL = its start.
CSPUSH: LD HL,(CSP)
        LD DE,-16
        ADD HL,DE
        LD DE,CSTKLO
        CALL CPHD
        JP C,OMERR
        LD (CSP),HL
        RET

; Makes the frame at HL's line and text current.
FRMGO:  LD DE,12
        ADD HL,DE
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        LD (TXTP),HL
        EX DE,HL
        LD (CURPTR),HL
        LD A,H
        OR L
        LD DE,0FFFFh
        JP Z,FRMG1
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
FRMG1:  EX DE,HL
        LD (CURLIN),HL
        RET

RETST:  LD HL,(CSP)
RET1:   LD DE,CSTKHI
        CALL CPHD
        JP Z,RGERR
        LD A,(HL)
        CP FRGOSUB
        JP Z,RET2
        LD DE,16                ; FOR and WHILE frames inside go too
        ADD HL,DE
        JP RET1
RET2:   PUSH HL
        LD DE,16
        ADD HL,DE
        LD (CSP),HL
        POP HL
        JP FRMGO

; ---- IF -------------------------------------------------------------------------------
IFST:   CALL NUMEXP
        CALL CHRGOT
        CP TGOTO
        JP Z,IF1
        CALL EXPECT
        DB TTHEN
IF1:    CALL FSGN
        OR A
        JP Z,IFFALSE
IFGO:   CALL CHRGOT
        CALL ISDIG
        JP NC,GOTOST
        JP NEWST2
IFFALSE:
        LD HL,(TXTP)            ; look for this IF's ELSE
        LD B,0
IFF1:   LD A,(HL)
        OR A
        JP Z,IFF9
        CP '"'
        JP Z,IFF3
        CP TREM
        JP Z,IFF8
        CP TAPOS
        JP Z,IFF8
        CP TIF
        JP NZ,IFF2
        INC B
IFF2:   CP TELSE
        JP NZ,IFF5
        LD A,B
        OR A
        JP Z,IFF6
        DEC B
IFF5:   INC HL
        JP IFF1
IFF3:   INC HL
        LD A,(HL)
        OR A
        JP Z,IFF9
        CP '"'
        JP NZ,IFF3
        JP IFF5
IFF6:   INC HL
        LD (TXTP),HL
        JP IFGO
IFF8:   INC HL
        LD A,(HL)
        OR A
        JP NZ,IFF8
IFF9:   LD (TXTP),HL
        RET

ELSEST:
REMST:  JP SKIPLN

; ---- ON ... GOTO/GOSUB, ON ERROR GOTO -------------------------------------------
ONST:   CP TERROR
        JP Z,ONERR
        CALL BYTEXP
        PUSH AF
        CALL CHRGOT
        LD B,A
        CP TGOTO
        JP Z,ON1
        CP TGOSUB
        JP NZ,SNERR
ON1:    PUSH BC
        CALL CHRGET
        POP BC
        POP AF
        OR A
        JP Z,SKIPST
        LD C,A
ON2:    PUSH BC
        CALL LINNUM
        POP BC
        DEC C
        JP Z,ON3
        PUSH BC
        CALL CHRGOT
        POP BC
        CP ','
        RET NZ                  ; fewer lines: on with the next statement
        PUSH BC
        CALL CHRGET
        POP BC
        JP ON2
ON3:    LD A,B
        CP TGOSUB
        JP NZ,GOTOLN
        PUSH DE
        CALL SKIPST
        CALL PUSHRET
        POP DE
        JP GOTOLN

ONERR:  CALL CHRGET
        CALL EXPECT
        DB TGOTO
        CALL LINNUM
        LD A,D
        OR E
        JP NZ,ONE1
        LD HL,0
        LD (ONERRL),HL
        LD A,(INERR)            ; inside the handler: the error stands
        OR A
        RET Z
        XOR A
        LD (INERR),A
        LD HL,(ERRNUM)
        EX DE,HL
        LD HL,(ERRCPT)
        LD (CURPTR),HL
        LD HL,(ERRLIN)
        LD (CURLIN),HL
        JP BERROR
ONE1:   CALL FINDLN
        JP NZ,ULERR
        LD (ONERRL),HL
        RET

RESUMST:
        PUSH AF
        LD A,(INERR)
        OR A
        JP Z,REERR
        XOR A
        LD (INERR),A
        POP AF
        JP Z,RES0
        CP TNEXT
        JP Z,RESNXT
        CALL LINNUM
        LD A,D
        OR E
        JP NZ,GOTOLN
RES0:   CALL RESPOS             ; the statement again
        JP NEWST2
RESNXT: CALL RESPOS             ; the statement after it
        CALL SKIPST
        RET
RESPOS: LD HL,(ERRCPT)
        LD (CURPTR),HL
        LD HL,(ERRLIN)
        LD (CURLIN),HL
        LD HL,(ERRSTP)
        LD (TXTP),HL
        LD A,(HL)               ; a statement starting with its keyword
        RET

ERRST:  CALL BYTEXP
        OR A
        JP Z,FCERR
        LD E,A
        JP BERROR

; ---- FOR / NEXT -------------------------------------------------------------------------
FORST:  CALL PTRGET
        LD A,(VARTYP)
        CP 2
        JP Z,TMERR
        LD HL,(VARADR)
        PUSH HL
        PUSH AF
        LD HL,(ARYTAB)
        PUSH HL
        CALL EXPECT
        DB '='
        CALL NUMEXP
        POP DE
        POP AF
        POP HL
        CALL ADJADR
        LD (VARADR),HL
        LD (VARTYP),A
        LD (FORVAR),HL
        LD (FORTYP),A
        CALL ASSIGN
        CALL EXPECT
        DB TTO
        CALL NUMEXP
        LD HL,(FAC)
        PUSH HL
        LD HL,(FAC+2)
        PUSH HL
        CALL CHRGOT
        CP TSTEP
        JP NZ,FOR1
        CALL CHRGET
        CALL NUMEXP
        JP FOR2
FOR1:   LD BC,8100h             ; 1
        LD DE,0
        CALL REGFAC
FOR2:   CALL ENDCHK
        LD HL,(FORVAR)          ; the same variable's loop ends here
        EX DE,HL
        LD HL,(CSP)
FOR3:   PUSH DE
        LD DE,CSTKHI
        CALL CPHD
        POP DE
        JP Z,FOR5
        LD A,(HL)
        CP FRFOR
        JP NZ,FOR5
        INC HL
        LD A,(HL)
        INC HL
        CP E
        JP NZ,FOR4
        LD A,(HL)
        CP D
        JP NZ,FOR4
        LD BC,14
        ADD HL,BC
        LD (CSP),HL
        JP FOR5
FOR4:   LD BC,14
        ADD HL,BC
        JP FOR3
FOR5:   CALL CSPUSH
        LD (FORFRM),HL
        LD (HL),FRFOR
        INC HL
        LD A,(FORVAR)
        LD (HL),A
        INC HL
        LD A,(FORVAR+1)
        LD (HL),A
        INC HL
        LD A,(FORTYP)
        LD (HL),A
        INC HL
        CALL STFAC              ; the step
        LD HL,(FORFRM)
        LD DE,8
        ADD HL,DE
        POP BC                  ; the limit
        POP DE
        CALL STREG
        LD HL,(FORFRM)
        CALL FRMPOS
        LD HL,(FORFRM)
        CALL FORTST
        RET NC                  ; into the loop
        LD HL,(FORFRM)          ; not even once: on after its NEXT
        LD DE,16
        ADD HL,DE
        LD (CSP),HL
        LD HL,(CURPTR)          ; (the line of the FOR, for an error)
        LD (FORFRM),HL
        LD A,1
        LD (FSKDEP),A
FSK1:   CALL SCANTK
        JP C,FSKE
        LD HL,(TXTP)
        LD A,(HL)
        INC HL
        LD (TXTP),HL
        CP TFOR
        JP NZ,FSK2
        LD HL,FSKDEP
        INC (HL)
        JP FSK1
FSK2:   CP TNEXT
        JP NZ,FSK1
        CALL CHRGOT
        JP NZ,FSK3
        CALL FSKDN
        RET Z
        JP FSK1
FSK3:   CALL GETNAM
        CALL FSKDN
        JP Z,FSK4
        CALL CHRGOT
        CP ','
        JP NZ,FSK1
        CALL CHRGET
        JP FSK3
FSK4:   CALL CHRGOT
        CP ','
        RET NZ
        CALL CHRGET
        JP NXT1
FSKDN:  LD HL,FSKDEP
        DEC (HL)
        RET
; No NEXT (26) or WEND (29) found: the error belongs to the line of the
; FOR or WHILE.
FSKE:   LD A,26
        DB 01h                  ; (LD BC,nn: passes over the next LD A)
WSKE:   LD A,29
        PUSH AF
        LD HL,(FORFRM)
        CALL SETLN1
        POP DE
        LD E,D
        JP BERROR

; FORTST: HL = a FOR frame; carry if its variable is past the limit.
FORTST: PUSH HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD A,(HL)
        EX DE,HL
        CALL LDVAR
        POP HL
        PUSH HL
        LD DE,8
        ADD HL,DE
        CALL LDREG
        CALL FCMP
        POP HL
        LD B,A
        LD DE,6
        ADD HL,DE
        LD A,(HL)
        OR A
        LD A,B
        JP M,FORTN
        CP 1
        JP Z,FORDN
        OR A
        RET
FORTN:  CP 0FFh
        JP Z,FORDN
        OR A
        RET
FORDN:  SCF
        RET

NEXTST: LD HL,(CSP)
        JP NZ,NXT1
        LD DE,CSTKHI
        CALL CPHD
        JP Z,NFERR
        LD A,(HL)
        CP FRFOR
        JP NZ,NFERR
        JP NXTDO
NXT1:   CALL PTRGET
        LD HL,(VARADR)
        EX DE,HL
        LD HL,(CSP)
NXT2:   PUSH DE
        LD DE,CSTKHI
        CALL CPHD
        POP DE
        JP Z,NFERR
        LD A,(HL)
        CP FRFOR
        JP NZ,NFERR
        INC HL
        LD A,(HL)
        CP E
        JP NZ,NXT3
        INC HL
        LD A,(HL)
        DEC HL
        CP D
        JP Z,NXT4
NXT3:   LD BC,15
        ADD HL,BC
        JP NXT2
NXT4:   DEC HL
NXTDO:  LD (CSP),HL
        LD (FORFRM),HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD A,(HL)
        LD (VARTYP),A
        EX DE,HL
        LD (VARADR),HL
        CALL LDVAR
        LD HL,(FORFRM)
        LD DE,4
        ADD HL,DE
        CALL LDREG
        CALL FADD
        CALL ASSIGN
        LD HL,(FORFRM)
        CALL FORTST
        JP C,NXTEND
        LD HL,(FORFRM)
        JP FRMGO
NXTEND: LD HL,(FORFRM)
        LD DE,16
        ADD HL,DE
        LD (CSP),HL
        CALL CHRGOT
        CP ','
        RET NZ
        CALL CHRGET
        JP NXT1

; SCANTK: moves TXTP to the next keyword, over lines (CURPTR follows),
; past texts in quotes, comments and DATA items. Carry at the end.
SCANTK: LD HL,(TXTP)
SCK1:   LD A,(HL)
        OR A
        JP Z,SCK5
        CP '"'
        JP Z,SCK3
        CP TREM
        JP Z,SCK4
        CP TAPOS
        JP Z,SCK4
        CP TDATA
        JP Z,SCK6
        CP 80h
        JP NC,SCK9
SCK2:   INC HL
        JP SCK1
SCK3:   INC HL
        LD A,(HL)
        OR A
        JP Z,SCK1
        CP '"'
        JP NZ,SCK3
        JP SCK2
SCK4:   INC HL
        LD A,(HL)
        OR A
        JP NZ,SCK4
        JP SCK1
SCK6:   INC HL
        LD A,(HL)
        OR A
        JP Z,SCK1
        CP ':'
        JP Z,SCK1
        CP '"'
        JP NZ,SCK6
SCK7:   INC HL
        LD A,(HL)
        OR A
        JP Z,SCK1
        CP '"'
        JP NZ,SCK7
        JP SCK6
SCK5:   LD HL,(CURPTR)
        LD A,H
        OR L
        SCF
        RET Z
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        SCF
        RET Z
        CALL SETLN0
        JP SCK1
SCK9:   LD (TXTP),HL
        OR A
        RET

; ---- WHILE / WEND ------------------------------------------------------------------
WHILEST:
        CALL NUMEXP
        CALL FSGN
        OR A
        JP Z,WSKIP
        CALL CSPUSH
        LD (HL),FRWHILE
        LD DE,12
        ADD HL,DE
        EX DE,HL
        LD HL,(CURPTR)
        EX DE,HL
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        EX DE,HL
        LD HL,(STMTP)
        EX DE,HL
        LD (HL),E
        INC HL
        LD (HL),D
        RET
WSKIP:  LD HL,(CURPTR)
        LD (FORFRM),HL
        LD A,1
        LD (FSKDEP),A
WSK1:   CALL SCANTK
        JP C,WSKE
        LD HL,(TXTP)
        LD A,(HL)
        INC HL
        LD (TXTP),HL
        CP TWHILE
        JP NZ,WSK2
        LD HL,FSKDEP
        INC (HL)
        JP WSK1
WSK2:   CP TWEND
        JP NZ,WSK1
        CALL FSKDN
        RET Z
        JP WSK1

WENDST: LD HL,(CSP)
        LD DE,CSTKHI
        CALL CPHD
        JP Z,WEERR
        LD A,(HL)
        CP FRWHILE
        JP NZ,WEERR
        PUSH HL
        LD DE,16
        ADD HL,DE
        LD (CSP),HL
        POP HL
        CALL FRMGO
        JP NEWST2

; ---- Program control --------------------------------------------------------------
ENDST:  CALL ENDCHK
        CALL SETCONT
        JP READY

STOPST: CALL ENDCHK
        JP STOPIN

SETCONT:
        LD HL,(TXTP)
        LD (CONTP),HL
        LD HL,(CURPTR)
        LD (CONTL),HL
        LD A,H
        OR L
        RET NZ
        LD (CONTP),HL
        RET

CONTST: LD HL,(CONTP)
        LD A,H
        OR L
        JP Z,CNERR
        LD (TXTP),HL
        LD HL,(CONTL)
        CALL SETLN1
        LD HL,0
        LD (CONTP),HL
        CALL CHRGOT             ; after a break: the statement itself
        RET Z
        JP NEWST2

RUNST:  JP Z,RUNALL
        CP '"'
        JP Z,RUNFIL
        CALL LINNUM
        PUSH DE
        CALL CLEARV
        POP DE
        CALL FINDLN
        JP NZ,ULERR
        CALL SETLIN
        JP NEWST2
RUNALL: CALL CLEARV
        LD HL,TXTTAB
        LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        JP Z,READY
        CALL SETLIN
        JP NEWST2

NEWST:  CALL ENDCHK
        CALL SCRNEW
        JP READY

CLEARST:
        CALL CLEARV
        JP SKIPST

TRONST: LD A,1
        DB 0FEh                 ; (CP n: passes over the XOR A)
TROFFST:
        XOR A
        LD (TRACE),A
        RET

; DIM a(n[,m...])[, ...]
DIMST:  CALL GETNAM
        CALL CHRGOT
        CP '('
        JP NZ,SNERR
        LD A,1
        LD (SUBFLG),A
        CALL ARRAY
        CALL CHRGOT
        CP ','
        RET NZ
        CALL CHRGET
        JP DIMST

; DEFINT / DEFSNG / DEFSTR letter[-letter][, ...]
DEFINT: LD C,1
        DB 21h                  ; (LD HL,nn: passes over the next LD C)
DEFSNG: LD C,0
        DB 21h
DEFSTR: LD C,2
DEFT:   CALL CHRGOT
        CALL ISLET
        JP C,SNERR
        LD B,A
        LD E,A
        PUSH BC
        CALL CHRGET
        POP BC
        CP '-'
        JP NZ,DEFT1
        PUSH BC
        CALL CHRGET
        POP BC
        CALL ISLET
        JP C,SNERR
        LD E,A
        PUSH BC
        PUSH DE
        CALL CHRGET
        POP DE
        POP BC
DEFT1:  LD A,E                  ; B..E
        CP B
        JP C,SNERR
        PUSH BC
        LD A,B
        SUB 'A'
        LD C,A
        LD B,0
        LD HL,DEFTBL
        ADD HL,BC
        POP BC
        LD A,E
        SUB B
        INC A
        LD B,A
DEFT2:  LD (HL),C
        INC HL
        DEC B
        JP NZ,DEFT2
        CALL CHRGOT
        CP ','
        RET NZ
        PUSH BC
        CALL CHRGET
        POP BC
        JP DEFT

; POKE address, byte
POKEST: CALL ADREXP
        PUSH HL
        CALL EXPECT
        DB ','
        CALL BYTEXP
        POP HL
        LD (HL),A
        RET

; OUT port, byte: the Korvet's devices have no processor ports (its IN
; and OUT reach nothing), so only the arguments are checked.
OUTST:  CALL BYTEXP
        CALL EXPECT
        DB ','
        JP BYTEXP

; RANDOMIZE [seed]
RANDST: JP Z,RAND1
        CALL INTEXP
        JP RAND2
RAND1:  CALL XCALL
        DW RDTICK
RAND2:  LD (RNDSD),HL
        LD A,L
        XOR 5Ah
        LD L,A
        LD (RNDSD+2),HL
        RET

; SWAP a, b
SWAPST: CALL PTRGET
        LD HL,(VARADR)
        PUSH HL
        LD A,(VARTYP)
        PUSH AF
        LD HL,(ARYTAB)
        PUSH HL
        CALL EXPECT
        DB ','
        CALL PTRGET
        POP DE
        POP AF
        POP HL
        CALL ADJADR
        LD B,A
        LD A,(VARTYP)
        CP B
        JP NZ,TMERR
        CALL ELSIZE
        LD B,A
        EX DE,HL
        LD HL,(VARADR)
SWP1:   LD A,(DE)
        LD C,(HL)
        LD (HL),A
        LD A,C
        LD (DE),A
        INC HL
        INC DE
        DEC B
        JP NZ,SWP1
        RET

; ERASE a[, b...]
ERASEST:
        CALL GETNAM
        LD HL,(VARNAM)
        EX DE,HL
        LD HL,(ARYTAB)
ERS1:   PUSH DE
        EX DE,HL
        LD HL,(STREND)
        CALL CPHD
        EX DE,HL
        POP DE
        JP Z,FCERR
        LD A,(HL)
        CP E
        JP NZ,ERS2
        INC HL
        LD A,(HL)
        DEC HL
        CP D
        JP Z,ERS3
ERS2:   INC HL
        INC HL
        LD C,(HL)
        INC HL
        LD B,(HL)
        DEC HL
        DEC HL
        DEC HL
        ADD HL,BC
        JP ERS1
ERS3:   PUSH HL                 ; move the rest down
        INC HL
        INC HL
        LD C,(HL)
        INC HL
        LD B,(HL)
        POP HL
        PUSH HL
        ADD HL,BC
        EX DE,HL                ; DE = next entry
        LD HL,(STREND)
        CALL SUBHD
        LD B,H
        LD C,L
        POP HL
        CALL MOVDN
        LD (STREND),HL
        CALL CHRGOT
        CP ','
        RET NZ
        CALL CHRGET
        JP ERASEST

; MID$(a$, n[, m]) = b$: b$ over the characters of a$ from n on (no more
; than m of them; a$ keeps its length).
MIDV    EQU 66C4h
MIDA    EQU 66C6h
MIDN    EQU 66C8h
MIDM    EQU 66C9h
MIDST:  CALL CHRGET
        CALL EXPECT
        DB '('
        CALL PTRGET
        LD A,(VARTYP)
        CP 2
        JP NZ,TMERR
        LD HL,(VARADR)          ; a text in the program is copied first
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        LD HL,(FRETOP)
        CALL CPHD
        JP C,MID1
        JP Z,MID1
        LD HL,(VARADR)
        LD (FAC),HL
        LD A,1
        LD (VALTYP),A
        CALL STAS2
MID1:   LD HL,(VARADR)
        LD (MIDV),HL
        LD HL,(ARYTAB)
        LD (MIDA),HL
        CALL EXPECT
        DB ','
        CALL BYTEXP
        OR A
        JP Z,FCERR
        LD (MIDN),A
        LD A,0FFh
        LD (MIDM),A
        CALL CHRGOT
        CP ','
        JP NZ,MID2
        CALL CHRGET
        CALL BYTEXP
        LD (MIDM),A
MID2:   CALL EXPECT
        DB ')'
        CALL EXPECT
        DB '='
        CALL EXPR
        CALL FRESTR             ; A = length, DE = text of b$
        LD B,A
        LD A,(MIDM)
        CP B
        JP C,MID3
        LD A,B
MID3:   LD C,A
        PUSH DE
        LD HL,(MIDA)
        EX DE,HL
        LD HL,(MIDV)
        CALL ADJADR             ; HL = the descriptor of a$
        POP DE
        LD A,(MIDN)
        DEC A
        LD B,A
        LD A,(HL)
        SUB B
        JP C,FCERR
        JP Z,FCERR
        CP C
        JP NC,MID4
        LD C,A
MID4:   INC HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        ADD A,B
        LD L,A
        JP NC,MID5
        INC H
MID5:   LD B,0
        JP MOVDN

; DEF FNname[(params)] = expression: remembered by name.
DEFST:  CP TFN
        JP NZ,SNERR
        CALL IDCHK
        CALL CHRGET
        CALL GETNAM
        CALL FNFIND             ; HL = its entry (new or old)
        LD A,(VARNAM)
        LD (HL),A
        INC HL
        LD A,(VARNAM+1)
        LD (HL),A
        INC HL
        EX DE,HL
        LD HL,(TXTP)
        EX DE,HL
        LD (HL),E
        INC HL
        LD (HL),D
        JP SKIPST

; FNFIND: HL = the DEF FN entry of VARNAM, or a free one; Z if found.
FNFIND: LD HL,(VARNAM)
        EX DE,HL
        LD HL,FNTAB
FNF1:   LD A,(HL)
        OR A
        JP Z,FNF2
        CP E
        JP NZ,FNF3
        INC HL
        LD A,(HL)
        DEC HL
        CP D
        RET Z
FNF3:   LD BC,4
        ADD HL,BC
        LD A,L
        CP FNTEND AND 0FFh
        JP NZ,FNF1
        JP OMERR
FNF2:   OR 1
        RET

MONST:  CALL ENDCHK
        JP MONGO

BEEPST: CALL XCALL
        DW BEEP
        RET

; LOCATE row, column (from 1)
LOCST:  CALL BYTEXP
        PUSH AF
        CALL EXPECT
        DB ','
        CALL BYTEXP
        OR A
        JP Z,FCERR
        DEC A
        LD B,A
        CALL GETCOLS
        CP B
        JP C,FCERR
        JP Z,FCERR
        POP AF
        OR A
        JP Z,FCERR
        CP 17
        JP NC,FCERR
        DEC A
        LD L,A
        LD A,B
        CALL XCALL
        DW SETCUR
        RET

; AUTO [start][, step]
AUTOST0:
        LD HL,10
        LD (AUTOLN),HL
        LD (AUTOST),HL
        CALL CHRGOT
        JP Z,AUT2
        CP ','
        JP Z,AUT1
        CALL LINNUM
        EX DE,HL
        LD (AUTOLN),HL
        CALL CHRGOT
        CP ','
        JP NZ,AUT2
AUT1:   CALL CHRGET
        CALL LINNUM
        EX DE,HL
        LD (AUTOST),HL
AUT2:   LD A,1
        LD (AUTOON),A
        JP MAIN

; DELETE [from][-to]
DELST:  CALL LRANGE
        CALL FINDLN             ; HL = first line to go
        PUSH HL
DEL1:   LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        JP Z,DEL2
        PUSH HL
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        LD HL,(LISTHI)
        CALL CPHD
        POP HL
        JP C,DEL2
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        JP DEL1
DEL2:   EX DE,HL                ; DE = first to keep
        LD HL,(VARTAB)
        CALL SUBHD
        LD B,H
        LD C,L
        POP HL
        CALL MOVDN
        CALL RELINK
        CALL CLEARV
        JP READY

NOTYET:
RENUMST:
PAINTST:
SAVEST:
LOADST:
MERGEST:
FILESST:
KILLST:
NAMEST:
OPENST:
CLOSEST:
WRITEST:
RUNFIL:
        JP FCERR
