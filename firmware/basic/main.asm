; Velgard BASIC: entry points, the bridge to the firmware's console, the
; workspace, the command loop, program lines and the statement loop.
;
; BASIC runs in configuration 16: ROM 0000h-5FFFh, RAM 6000h-F7FFh, the
; devices at F800h-FFFFh. The console and keyboard routines of the core
; expect configuration 0 (devices at 3800h-3FFFh, their workspace in RAM at
; F800h), so every call to them goes through XCALL, which lives below
; 3800h where both configurations show the ROM. Interrupts stay disabled
; in configuration 16 (the frame handler writes configuration 0 addresses)
; and are enabled only inside the firmware's routines.

; ---- Hardware in configuration 16 ------------------------------------------
CFG16   EQU 40h         ; configuration register value: configuration 16
CFG24   EQU 60h         ; configuration 24: ROM, system page BF00h, graphics
C16REG  EQU 0FA7Fh      ; configuration register
C16COL  EQU 0FABFh      ; colour register
C16PAL  EQU 0FAFBh      ; palette register
C16TMR0 EQU 0FB00h      ; timer channel 0
C16TMCW EQU 0FB03h      ; timer control word
C16SND  EQU 0FB33h      ; bit control of I/O 32h
C16SYS  EQU 0FB3Ah      ; system register
C16STOP EQU 0F840h      ; keyboard row 6; bit 2 is the СТОП key
C24REG  EQU 0BF7Fh      ; configuration register in configuration 24
C24COL  EQU 0BFBFh      ; colour register in configuration 24

; ---- Workspace (RAM seen by configurations 0, 16 and 24) --------------------
BV      EQU 6000h
MAGIC   EQU BV+0        ; 5642h once the workspace is set up
TXTP    EQU BV+2        ; parse pointer
CURLIN  EQU BV+4        ; line number being run, FFFFh in direct mode
CURPTR  EQU BV+6        ; start of that line, 0 in direct mode
VARTAB  EQU BV+8        ; simple variables (after the program)
ARYTAB  EQU BV+10       ; arrays
STREND  EQU BV+12       ; end of the arrays, start of free memory
FRETOP  EQU BV+14       ; bottom of the string space
MEMSIZ  EQU BV+16       ; top of the string space + 1
CSP     EQU BV+18       ; control stack pointer (FOR, GOSUB, WHILE)
DATPTR  EQU BV+20       ; where READ goes on
STMTP   EQU BV+22       ; start of the statement being run
ERRNUM  EQU BV+24       ; ERR
ERRLIN  EQU BV+26       ; ERL
ONERRL  EQU BV+28       ; ON ERROR GOTO line pointer, 0 = none
INERR   EQU BV+30       ; 1 while an error handler runs
ERRSTP  EQU BV+31       ; statement of the error (for RESUME)
ERRCPT  EQU BV+33       ; its line pointer
CONTP   EQU BV+35       ; where CONT goes on, 0 = it cannot
CONTL   EQU BV+37       ; line pointer for CONT
TRACE   EQU BV+39       ; TRON
VALTYP  EQU BV+40       ; type of the last expression: 0 number, 1 string
TEMPPT  EQU BV+41       ; next free temporary string descriptor
FAC     EQU BV+44       ; floating accumulator (4 bytes, Microsoft format)
FACX    EQU BV+48       ; its rounding byte
RNDSD   EQU BV+50       ; random generator state (4 bytes)
RNDLST  EQU BV+54       ; the last random number (4 bytes)
T1      EQU BV+58       ; scratch words
T2      EQU BV+60
T3      EQU BV+62
DEFTBL  EQU BV+64       ; type of each initial letter: 0 single, 1 int, 2 string
TEMPST  EQU BV+96       ; temporary string descriptors, TEMPN x 3 bytes
TEMPN   EQU 10
TEMPEND EQU TEMPST+3*TEMPN
DSCTMP  EQU BV+128      ; a descriptor being built
SUBFLG  EQU BV+131      ; 1 while DIM creates arrays
NUMBUF  EQU BV+132      ; number formatting (24 bytes)
DIGITS  EQU BV+156      ; 7 digits and more
DECEXP  EQU BV+166      ; decimal exponent (word)
DVS     EQU BV+168      ; divisor mantissa (3 bytes)
MBYTE   EQU BV+171      ; multiplier byte
CNT     EQU BV+172      ; loop counters
CNT2    EQU BV+173
ACC32   EQU BV+174      ; 32-bit accumulator for number input (4 bytes)
SIGNT   EQU BV+178      ; a sign
XTGT    EQU BV+180      ; routine called through XCALL
PRTFLG  EQU BV+182      ; PRINT: 1 after a number
LISTHI  EQU BV+183      ; LIST: last line (word)
OPTR    EQU BV+185      ; output redirection hook (0 = screen)
FNPTR   EQU BV+187      ; DEF FN table pointer
LSTCH   EQU BV+189      ; quote state while listing
VARNAM  EQU BV+190      ; name being looked up (2 bytes)
VARTYP  EQU BV+192      ; its type: 0 single, 1 integer, 2 string
VARADR  EQU BV+193      ; address of its value (word)
DIMCNT  EQU BV+195      ; number of subscripts
FORVAR  EQU BV+196      ; FOR: variable address (word)
FORTYP  EQU BV+198
AUTOLN  EQU BV+199      ; AUTO: next line (word), AUTOON flag
AUTOST  EQU BV+201
AUTOON  EQU BV+203
FTEMP   EQU BV+204      ; 4 bytes
FTEMP2  EQU BV+208      ; 4 bytes
FTEMP3  EQU BV+212      ; 4 bytes
GX      EQU BV+216      ; graphics: current point and colours
GY      EQU BV+218
GCOL    EQU BV+220      ; foreground colour
GBACK   EQU BV+221      ; background colour
TXTCOL  EQU BV+222      ; text colour
SYSSV   EQU BV+223      ; copy of the system register
DATLN   EQU BV+224      ; line pointer of DATPTR (word)
USEPTR  EQU BV+226      ; PRINT USING format pointer and end
USEEND  EQU BV+228
USELEN  EQU BV+230
FNDEPTH EQU BV+231
RESPTR  EQU BV+232      ; resume pointers
RESLN   EQU BV+234
MODEF   EQU BV+236      ; a flag
INBUF   EQU 6100h       ; the typed line (255 characters and a 0)
KBUF    EQU 6200h       ; the tokenised line
CSTKLO  EQU 6300h       ; control stack: frames of 16 bytes
CSTKHI  EQU 6500h
STKLIM  EQU 6600h       ; deep expressions stop here
STKTOP  EQU 6C00h       ; processor stack
TXTTAB  EQU 6C00h       ; the program
MEMTOP  EQU 0F800h      ; end of BASIC's memory

; Control stack frames
FRFOR   EQU 1
FRGOSUB EQU 2
FRWHILE EQU 3

; ---- Entry points -----------------------------------------------------------
        DS 2000h-$, 0FFh
BASIC:  DB 'VELGARD BASIC AREA',0
        DB 1                    ; 1: an interpreter is present
        JP BWARM                ; 2014h: back to BASIC, the program kept
        JP BCOLD                ; 2017h: power-on start

; ---- Bridge to the firmware in configuration 0 ------------------------------
; XCALL calls the routine whose address follows the CALL XCALL (a word) with
; A, BC, DE and HL passed both ways.
XCALL:  EX (SP),HL              ; HL = address of the word
        PUSH AF
        LD A,(HL)
        LD (XTGT),A
        INC HL
        LD A,(HL)
        LD (XTGT+1),A
        INC HL
        POP AF
        EX (SP),HL              ; return past the word
        PUSH AF
        XOR A
        LD (C16REG),A           ; configuration 0
        POP AF
        EI
        CALL XGO
        DI
        PUSH AF
        LD A,CFG16
        LD (CFGREG),A           ; back to configuration 16
        POP AF
        RET
XGO:    PUSH HL
        LD HL,(XTGT)
        EX (SP),HL
        RET

; Reads firmware workspace bytes (in configuration 0).
RDCURX: LD A,(CURX)
        RET
RDWIDE: LD A,(WIDE)
        RET
RDTICK: LD HL,(TICKS)
        RET
SETCUR: PUSH HL                 ; A = column, L = row
        PUSH AF
        CALL CURHIDE
        POP AF
        POP HL
        LD (CURX),A
        LD A,L
        LD (CURY),A
        JP CURSHOW

; MON: the monitor, in configuration 0.
MONGO:  DI
        XOR A
        LD (C16REG),A
        JP MONITOR

; Output of a character; all registers kept.
OUTC:   PUSH HL
        LD HL,(OPTR)
        INC H
        DEC H
        JP NZ,OUTC1
        POP HL
OUTSCR: CALL XCALL
        DW CONOUT
        RET
OUTC1:  EX (SP),HL              ; to the redirection routine
        RET

INCH:   CALL XCALL
        DW CONIN
        RET

INSTAT: CALL XCALL
        DW CONST
        RET

; A = the cursor column.
GETPOS: CALL XCALL
        DW RDCURX
        RET

; A = number of columns.
GETCOLS:
        CALL XCALL
        DW RDWIDE
        OR A
        LD A,64
        RET Z
        LD A,32
        RET

CRLFO:  LD A,0Dh
        CALL OUTC
        LD A,0Ah
        JP OUTC

; Prints the 0-terminated text at HL.
PRTS:   LD A,(HL)
        INC HL
        OR A
        RET Z
        CALL OUTC
        JP PRTS

; Prints a text that follows the CALL (0-terminated).
PRTI:   EX (SP),HL
        CALL PRTS
        EX (SP),HL
        RET

; New line unless the cursor is at the start of one.
FRESHL: CALL GETPOS
        OR A
        RET Z
        JP CRLFO

; ---- Power-on and restart -----------------------------------------------------
BCOLD:  DI
        LD A,CFG16
        LD (CFGREG),A           ; from configuration 0 (where this starts)
        LD SP,STKTOP
        CALL INITWS
        CALL PRTI
        ; "Velgard Бейсик 1.0"
        DB 056h,065h,06Ch,067h,061h,072h,064h,020h,0E2h,0C5h,0CAh,0D3h,0C9h,0CBh,020h,031h,02Eh,030h,0
        CALL CRLFO
        CALL PFREE
        JP READY

; G 2014 from the monitor: the program and variables are kept when the
; workspace is intact.
BWARM:  DI
        LD A,CFG16
        LD (CFGREG),A
        LD SP,STKTOP
        LD HL,0
        LD (OPTR),HL
        LD HL,(MAGIC)
        LD A,H
        CP 56h
        JP NZ,BCOLD
        LD A,L
        CP 42h
        JP NZ,BCOLD
        CALL FRESHL
        JP READY

INITWS: LD HL,BV                ; clear the workspace
        LD BC,100h
        XOR A
INIT1:  LD (HL),0
        INC HL
        DEC BC
        LD A,B
        OR C
        JP NZ,INIT1
        LD HL,MEMTOP
        LD (MEMSIZ),HL
        LD HL,5642h
        LD (MAGIC),HL
        LD HL,1234h
        LD (RNDSD),HL
        LD HL,5678h
        LD (RNDSD+2),HL
        LD A,7
        LD (GCOL),A
        LD A,15
        LD (TXTCOL),A
        LD A,20h
        LD (SYSSV),A
        ; on into NEW
SCRNEW: LD HL,TXTTAB
        XOR A
        LD (HL),A
        INC HL
        LD (HL),A
        INC HL
        LD (VARTAB),HL
        LD (TRACE),A
        LD (AUTOON),A
        JP CLEARV

; CLEARV: forgets the variables, arrays, strings, FOR/GOSUB frames, DATA
; position and error handling; the program stays.
CLEARV: LD HL,(VARTAB)
        LD (ARYTAB),HL
        LD (STREND),HL
        LD HL,(MEMSIZ)
        LD (FRETOP),HL
        LD HL,0
        LD (ONERRL),HL
        LD (CONTP),HL
        LD (FNPTR),HL
        XOR A
        LD (INERR),A
        LD (FNDEPTH),A
        LD HL,DEFTBL
        LD B,26
CLRV1:  LD (HL),A
        INC HL
        DEC B
        JP NZ,CLRV1
        LD HL,FNTAB             ; DEF FN definitions go too
CLRV2:  LD (HL),A
        INC HL
        LD A,L
        CP FNTEND AND 0FFh
        LD A,0
        JP NZ,CLRV2
        CALL RESTOR0
RSTCS:  LD HL,CSTKHI
        LD (CSP),HL
        LD HL,TEMPST
        LD (TEMPPT),HL
        RET

PFREE:  LD HL,(FRETOP)
        EX DE,HL
        LD HL,(STREND)
        CALL SUBDH              ; HL = DE - HL
        CALL PRTU16
        CALL PRTI
        ; " байт свободно"
        DB 020h,0C2h,0C1h,0CAh,0D4h,020h,0D3h,0D7h,0CFh,0C2h,0CFh,0C4h,0CEh,0CFh,0
        JP CRLFO

; HL = DE - HL
SUBDH:  LD A,E
        SUB L
        LD L,A
        LD A,D
        SBC A,H
        LD H,A
        RET

; Compares HL with DE: Z if equal, C if HL < DE.
CPHD:   LD A,H
        CP D
        RET NZ
        LD A,L
        CP E
        RET

; Prints HL as an unsigned decimal number.
PRTU16: PUSH HL
        CALL U16STR             ; HL -> NUMBUF text
        LD HL,NUMBUF
        CALL PRTS
        POP HL
        RET

; Unsigned HL to decimal text at NUMBUF (0-terminated, no blanks).
U16STR: LD DE,NUMBUF
        LD BC,10000
        CALL U16D
        LD BC,1000
        CALL U16D
        LD BC,100
        CALL U16D
        LD BC,10
        CALL U16D
        LD A,L
        ADD A,'0'
        LD (DE),A
        INC DE
        XOR A
        LD (DE),A
        ; drop leading zeros
        LD HL,NUMBUF
U16Z:   LD A,(HL)
        CP '0'
        RET NZ
        INC HL
        LD A,(HL)
        OR A
        RET Z
        DEC HL
        PUSH HL
        LD D,H
        LD E,L
        INC HL
U16Z1:  LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        OR A
        JP NZ,U16Z1
        POP HL
        JP U16Z
U16D:   LD A,'0'-1
U16D1:  INC A
        PUSH AF
        LD A,L
        SUB C
        LD L,A
        LD A,H
        SBC A,B
        LD H,A
        JP C,U16D2
        POP AF
        JP U16D1
U16D2:  ADD HL,BC
        POP AF
        LD (DE),A
        INC DE
        RET

; ---- The command loop -----------------------------------------------------
READY:  LD SP,STKTOP
        CALL FRESHL
        CALL PRTI
        DB 'Ok',0
        CALL CRLFO
MAIN:   LD SP,STKTOP
        LD HL,0FFFFh
        LD (CURLIN),HL
        LD HL,0
        LD (CURPTR),HL
        LD (OPTR),HL
        CALL RSTCST
        LD A,(AUTOON)
        OR A
        JP Z,MAIN1
        LD HL,(AUTOLN)          ; AUTO: offer the next number
        CALL PRTU16
        LD A,' '
        CALL OUTC
        CALL INLINE
        JP C,MAINBRK
        LD HL,(AUTOLN)
        PUSH HL
        CALL U16STR
        POP HL
        ; the line typed is prefixed with its number
        LD A,(INBUF)
        OR A
        JP Z,MAIN            ; empty: keep asking
        CALL AUTOPFX
        JP MAIN2
MAINBRK:
        XOR A
        LD (AUTOON),A
        JP READY
MAIN1:  CALL INLINE
        JP C,MAIN
MAIN2:  LD HL,INBUF
        CALL SKIPB
        OR A
        JP Z,MAIN
        CP '0'
        JP C,DIRECT
        CP '9'+1
        JP NC,DIRECT
        ; a program line
        CALL GETLNUM            ; DE = number, HL after it
        JP C,SNERR
        CALL SKIPB              ; the blanks after the number are not kept
        PUSH DE
        PUSH HL
        CALL CRUNCH             ; HL = source -> KBUF; BC = length with the 0
        POP HL
        POP DE
        CALL EDITLN
        LD A,(AUTOON)
        OR A
        JP Z,MAIN
        LD HL,(AUTOLN)
        EX DE,HL
        LD HL,(AUTOST)
        ADD HL,DE
        LD (AUTOLN),HL
        JP MAIN
DIRECT: CALL CRUNCH
        LD HL,KBUF
        LD (TXTP),HL
        JP NEWST2

RSTCST: LD HL,TEMPST
        LD (TEMPPT),HL
        RET

; AUTO: puts the number (NUMBUF) and a blank before the typed line.
AUTOPFX:
        LD HL,INBUF             ; length of the typed line
        LD B,0
APF1:   LD A,(HL)
        OR A
        JP Z,APF2
        INC HL
        INC B
        JP APF1
APF2:   LD DE,NUMBUF            ; C = length of the number + 1
        LD C,1
APF3:   LD A,(DE)
        OR A
        JP Z,APF4
        INC DE
        INC C
        JP APF3
APF4:   LD A,B                  ; no room: keep the line as it is
        ADD A,C
        RET C
        CP 250
        RET NC
        ; move the line up by C (HL = its 0)
        LD D,H
        LD E,L
        LD A,E
        ADD A,C
        LD E,A
        INC B
APF5:   LD A,(HL)
        LD (DE),A
        DEC HL
        DEC DE
        DEC B
        JP NZ,APF5
        LD HL,NUMBUF
        LD DE,INBUF
APF6:   LD A,(HL)
        OR A
        JP Z,APF7
        LD (DE),A
        INC HL
        INC DE
        JP APF6
APF7:   LD A,' '
        LD (DE),A
        RET

; HL -> first non-blank; A = it.
SKIPB:  LD A,(HL)
        CP ' '
        RET NZ
        INC HL
        JP SKIPB

; Reads a decimal line number at HL into DE (0-65529); C if none.
GETLNUM:
        CALL SKIPB
        CP '0'
        RET C
        CP '9'+1
        CCF
        RET C
        LD DE,0
GLN1:   LD A,(HL)
        CP '0'
        JP C,GLN2
        CP '9'+1
        JP NC,GLN2
        PUSH HL
        LD H,D
        LD L,E
        ADD HL,HL
        JP C,GLNBIG
        ADD HL,HL
        JP C,GLNBIG
        ADD HL,DE
        JP C,GLNBIG
        ADD HL,HL
        JP C,GLNBIG
        SUB '0'
        LD E,A
        LD D,0
        ADD HL,DE
        JP C,GLNBIG
        EX DE,HL
        POP HL
        INC HL
        JP GLN1
GLNBIG: POP HL
        JP SNERR
GLN2:   LD A,D                  ; 65530 and above are no line numbers
        CP 0FFh
        JP NZ,GLN3
        LD A,E
        CP 0FAh
        JP NC,SNERR
GLN3:   OR A
        RET

; ---- Reading a line from the keyboard -----------------------------------------
; INLINE: into INBUF, 0-terminated. Carry set when СТОП (or CTRL-C) ended it.
INLINE: LD HL,INBUF
        LD B,0
INL1:   CALL INCH
        CP 0Dh
        JP Z,INLEND
        CP 03h
        JP Z,INLBRK
        CP 08h
        JP Z,INLBS
        CP 7Fh
        JP Z,INLBS
        CP 1Bh
        JP Z,INLESC
        CP 20h
        JP C,INL1
        LD C,A
        LD A,B
        CP 255
        JP NC,INLFUL
        LD A,C
        LD (HL),A
        INC HL
        INC B
        CALL OUTC
        JP INL1
INLFUL: LD A,07h
        CALL OUTC
        JP INL1
INLBS:  LD A,B
        OR A
        JP Z,INL1
        DEC HL
        DEC B
        LD A,08h
        CALL OUTC
        LD A,' '
        CALL OUTC
        LD A,08h
        CALL OUTC
        JP INL1
INLESC: LD A,B                  ; ESC: erase what was typed
        OR A
        JP Z,INL1
        CALL INLBS1
        JP INLESC
INLBS1: DEC HL
        DEC B
        LD A,08h
        CALL OUTC
        LD A,' '
        CALL OUTC
        LD A,08h
        JP OUTC
INLEND: LD (HL),0
        CALL CRLFO
        OR A
        RET
INLBRK: LD (HL),0
        CALL PRTI
        DB '^C',0
        CALL CRLFO
        SCF
        RET

; ---- Program lines ----------------------------------------------------------
; FINDLN: DE = line number. Returns HL = the line with that number (Z set)
; or the first line after it (NZ), or the end link; BC = the line before.
FINDLN: LD HL,TXTTAB
FINDFR: LD B,H
        LD C,L
        LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        JP Z,FINDE             ; end of the program
        INC HL
        INC HL
        LD A,(HL)               ; line number
        INC HL
        PUSH HL
        LD H,(HL)
        LD L,A
        CALL CPHD
        POP HL
        JP Z,FINDEQ
        JP NC,FINDGT
        LD H,B
        LD L,C
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        JP FINDFR
FINDEQ: LD H,B
        LD L,C
        XOR A
        RET
FINDGT: LD H,B
        LD L,C
FINDE:  LD A,1
        OR A
        RET

; EDITLN: DE = number, KBUF the tokenised text (BC = its length with the
; 0). Replaces, inserts or (empty text) deletes the line.
EDITLN: PUSH BC
        PUSH DE
        CALL FINDLN
        JP NZ,EDL2
        ; delete the old line: from HL to the next line
        PUSH HL
        LD E,(HL)
        INC HL
        LD D,(HL)               ; DE = next line
        POP HL
        ; count = VARTAB - next
        PUSH HL
        PUSH DE
        LD HL,(VARTAB)
        CALL SUBHD              ; HL = HL - DE
        LD B,H
        LD C,L
        POP DE
        POP HL
        PUSH HL
        CALL MOVDN              ; copy BC bytes from DE to HL upwards
        LD (VARTAB),HL          ; HL = new end
        POP HL                  ; where the line was
EDL2:   POP DE
        POP BC
        LD A,(KBUF)
        OR A
        JP Z,EDLDON             ; a number alone: deleted
        ; insert at HL: room for 4 + BC bytes
        PUSH HL
        PUSH DE
        LD HL,4
        ADD HL,BC
        PUSH HL                 ; size of the new line
        EX DE,HL                ; DE = size
        LD HL,(VARTAB)
        ADD HL,DE
        JP C,OMERR
        EX DE,HL
        LD HL,(FRETOP)
        CALL SUBHD              ; room?
        JP C,OMERR
        LD A,H
        OR A
        JP Z,OMERR              ; keep 256 bytes free
        POP BC                  ; BC = size
        POP DE                  ; DE = number
        POP HL                  ; HL = where
        PUSH DE
        PUSH BC
        PUSH HL
        ; move HL..VARTAB up by BC
        EX DE,HL                ; DE = where
        LD HL,(VARTAB)
        PUSH HL
        ADD HL,BC
        LD (VARTAB),HL
        POP HL                  ; HL = old end
        CALL MOVUP              ; moves [DE, HL) up by BC
        POP HL                  ; where
        POP BC
        POP DE
        LD (HL),1               ; a link that is not the end (RELINK sets it)
        INC HL
        INC HL
        LD (HL),E
        INC HL
        LD (HL),D
        INC HL
        EX DE,HL
        LD HL,KBUF
EDL3:   LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        OR A
        JP NZ,EDL3
EDLDON: CALL RELINK
        JP CLEARV

; HL = HL - DE
SUBHD:  LD A,L
        SUB E
        LD L,A
        LD A,H
        SBC A,D
        LD H,A
        RET

; Copies BC bytes from DE to HL, ascending; HL ends after the copy.
MOVDN:  LD A,B
        OR C
        RET Z
MOVD1:  LD A,(DE)
        LD (HL),A
        INC HL
        INC DE
        DEC BC
        LD A,B
        OR C
        JP NZ,MOVD1
        RET

; Moves the bytes [DE, HL) up by BC, descending.
MOVUP:  PUSH HL
        ADD HL,BC               ; HL = destination end
        EX (SP),HL              ; HL = source end, (SP) = destination end
        POP BC                  ; BC = destination end
MOVU1:  LD A,L
        CP E
        JP NZ,MOVU2
        LD A,H
        CP D
        RET Z
MOVU2:  DEC HL
        DEC BC
        LD A,(HL)
        LD (BC),A
        JP MOVU1

; Sets the link of every line from its end mark; VARTAB after the end.
RELINK: LD HL,TXTTAB
RLK1:   LD D,H
        LD E,L
        LD A,(HL)
        INC HL
        OR (HL)
        JP Z,RLK3
        INC HL                  ; number
        INC HL
        INC HL
RLK2:   LD A,(HL)
        INC HL
        OR A
        JP NZ,RLK2
        EX DE,HL                ; HL = line, DE = next
        LD (HL),E
        INC HL
        LD (HL),D
        EX DE,HL
        JP RLK1
RLK3:   INC HL
        LD (VARTAB),HL
        RET

; ---- The statement loop -------------------------------------------------------
; NEWSTT runs the statement at TXTP; every statement returns here.
NEWSTT: LD SP,STKTOP
        LD HL,TEMPST
        LD (TEMPPT),HL
        CALL CHRGOT
        OR A
        JP Z,NXTLIN
        CP ':'
        JP Z,NEWST1
        CP TELSE                ; ELSE or a comment: the rest of the line
        JP Z,NXTLSK
        CP TAPOS
        JP Z,NXTLSK
        JP SNERR
NEWST1: CALL CHRGET
NEWST2: LD SP,STKTOP
        LD A,(C16STOP)          ; СТОП held: break (CONT runs this statement)
        AND 04h
        JP NZ,BREAK
        LD HL,(TXTP)
        LD (STMTP),HL
        LD HL,NEWSTT
        PUSH HL
        CALL CHRGOT
        RET Z                   ; an empty statement
        CP TAPOS
        JP Z,SKIPLN
        CP 80h
        JP C,LETST              ; assignment without LET
        CP TMIDS
        JP Z,MIDST
        CP TLASTST+1
        JP NC,SNERR
        SUB 80h
        ADD A,A
        LD L,A
        LD H,0
        LD DE,STMTAB
        ADD HL,DE
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        PUSH HL
        JP CHRGET               ; handler entered with the next character

NXTLSK: CALL SKIPLN
NXTLIN: LD HL,(CURPTR)          ; end of the line
        LD A,H
        OR L
        JP Z,READY              ; direct mode done
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A                  ; next line
        LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        JP Z,ENDPRG
        CALL SETLIN
        JP NEWST2

; Makes HL the current line and TXTP its first statement.
SETLIN: CALL SETLN0
        LD A,(TRACE)
        OR A
        RET Z
        LD A,'['
        CALL OUTC
        LD HL,(CURLIN)
        CALL PRTU16
        LD A,']'
        JP OUTC
; The same without the trace; HL = TXTP.
SETLN0: LD (CURPTR),HL
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD (TXTP),HL
        EX DE,HL
        LD (CURLIN),HL
        LD HL,(TXTP)
        RET
; CURPTR = HL (0 in direct mode) and CURLIN from it.
SETLN1: LD (CURPTR),HL
        LD A,H
        OR L
        LD DE,0FFFFh
        JP Z,SETL1
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
SETL1:  EX DE,HL
        LD (CURLIN),HL
        RET

ENDPRG: CALL RSTCS0
        JP READY

RSTCS0: LD HL,0
        LD (CONTP),HL
        RET

; Skips to the end of the line (TXTP at its 0).
SKIPLN: LD HL,(TXTP)
SKL1:   LD A,(HL)
        OR A
        JP Z,SKL2
        INC HL
        JP SKL1
SKL2:   LD (TXTP),HL
        RET

; Skips to the end of the statement (':' or 0 outside quotes).
SKIPST: LD HL,(TXTP)
SKS1:   LD A,(HL)
        OR A
        JP Z,SKL2
        CP ':'
        JP Z,SKL2
        CP '"'
        JP NZ,SKS3
SKS2:   INC HL
        LD A,(HL)
        OR A
        JP Z,SKL2
        CP '"'
        JP NZ,SKS2
SKS3:   INC HL
        JP SKS1

; The СТОП key: "Прервано" (in line n); CONT goes on at this statement.
BREAK:  LD A,(C16STOP)          ; wait until it is let go
        AND 04h
        JP NZ,BREAK
        CALL INSTAT             ; and forget the key
        OR A
        CALL NZ,INCH
STOPIN: CALL SETCONT
BRK1:   CALL FRESHL
        CALL PRTI
        ; "Прервано"
        DB 0F0h,0D2h,0C5h,0D2h,0D7h,0C1h,0CEh,0CFh,0
        CALL INLINEN
        JP READY

; " в строке n" when a program runs.
INLINEN:
        LD HL,(CURPTR)
        LD A,H
        OR L
        RET Z
        CALL PRTI
        ; " в строке "
        DB 020h,0D7h,020h,0D3h,0D4h,0D2h,0CFh,0CBh,0C5h,020h,0
        LD HL,(CURLIN)
        JP PRTU16

; ---- Reading the program text ---------------------------------------------------
; CHRGOT: A = the character at TXTP after blanks (TXTP moved to it), HL =
; TXTP; Z when it ends the statement (0, ':', ELSE, ').
; CHRGET: the same after moving past the current character.
CHRGET: LD HL,(TXTP)
        INC HL
        JP CHRG1
CHRGOT: LD HL,(TXTP)
CHRG1:  LD A,(HL)
        CP ' '
        JP Z,CHRG2
        LD (TXTP),HL
        OR A
        RET Z
        CP ':'
        RET Z
        CP TELSE
        RET Z
        CP TAPOS
        RET
CHRG2:  INC HL
        JP CHRG1

; EXPECT: the byte after the CALL must come next; it is passed over.
EXPECT: CALL CHRGOT
        EX (SP),HL
        CP (HL)
        INC HL
        EX (SP),HL
        JP NZ,SNERR
        JP CHRGET

; Checks that the statement ends here.
ENDCHK: CALL CHRGOT
        RET Z
        JP SNERR

; Is A a letter? Carry clear if it is.
ISLET:  CP 'A'
        RET C
        CP 'Z'+1
        CCF
        RET

ISDIG:  CP '0'
        RET C
        CP '9'+1
        CCF
        RET

; ---- Errors -----------------------------------------------------------------------
SNERR:  LD E,2
        JP BERROR
FCERR:  LD E,5
        JP BERROR
OVERR:  LD E,6
        JP BERROR
OMERR:  LD E,7
        JP BERROR
ULERR:  LD E,8
        JP BERROR
BSERR:  LD E,9
        JP BERROR
DDERR:  LD E,10
        JP BERROR
DZERR:  LD E,11
        JP BERROR
IDERR:  LD E,12
        JP BERROR
TMERR:  LD E,13
        JP BERROR
OSERR:  LD E,14
        JP BERROR
LSERR:  LD E,15
        JP BERROR
STERR:  LD E,16
        JP BERROR

; ERROR: E = the error number. With ON ERROR GOTO (and no handler running)
; the handler line takes over; otherwise the message, and the command
; loop with the program and variables kept.
BERROR: LD SP,STKTOP
        LD D,0
        EX DE,HL
        LD (ERRNUM),HL
        LD HL,0
        LD (OPTR),HL
        LD HL,(CURLIN)
        LD (ERRLIN),HL
        LD HL,(STMTP)
        LD (ERRSTP),HL
        LD HL,(CURPTR)
        LD (ERRCPT),HL
        LD HL,TEMPST
        LD (TEMPPT),HL
        LD HL,(ONERRL)
        LD A,H
        OR L
        JP Z,ERRMSG
        LD A,(INERR)
        OR A
        JP NZ,ERRMSG
        LD A,(CURPTR+1)         ; not for direct statements
        OR A
        JP Z,ERRMSG
        LD A,1
        LD (INERR),A
        LD A,0
        LD (FNDEPTH),A
        CALL SETLIN
        JP NEWST2
ERRMSG: XOR A
        LD (INERR),A
        LD (FNDEPTH),A
        LD (AUTOON),A
        LD HL,0                 ; CONT is not possible after an error
        LD (CONTP),HL
        CALL FRESHL
        CALL PRTI
        ; "Ошибка "
        DB 0EFh,0DBh,0C9h,0C2h,0CBh,0C1h,020h,0
        LD HL,(ERRNUM)
        CALL PRTU16
        LD HL,(ERRCPT)
        LD A,H
        OR L
        JP Z,ERRM1
        CALL PRTI
        ; " в строке "
        DB 020h,0D7h,020h,0D3h,0D4h,0D2h,0CFh,0CBh,0C5h,020h,0
        LD HL,(ERRLIN)
        CALL PRTU16
ERRM1:  LD A,':'
        CALL OUTC
        LD A,' '
        CALL OUTC
        LD A,(ERRNUM)
        LD B,A
        LD HL,ERRTAB
ERRM2:  LD A,(HL)
        OR A
        JP Z,ERRM4
        CP B
        JP Z,ERRM4
        INC HL
ERRM3:  LD A,(HL)
        INC HL
        OR A
        JP NZ,ERRM3
        JP ERRM2
ERRM4:  INC HL
        CALL PRTS
        CALL CRLFO
        CALL RSTCS
        LD HL,0FFFFh
        LD (CURLIN),HL
        JP READY
REXP    EQU BV+237      ; exponent of a result being built
RSIGN   EQU BV+238      ; its sign
FNTAB   EQU 6500h       ; DEF FN: 32 entries of name (2) and text (2)
FNTEND  EQU 6580h
IDXB    EQU 6580h       ; subscripts of an array reference (8 words)
DIMFLG  EQU 6590h       ; 1 while DIM creates an array
FORFRM  EQU 659Ah       ; the FOR frame being worked on
FSKDEP  EQU 659Ch       ; nesting while looking for NEXT or WEND
PCNT    EQU 659Dh       ; polynomial terms
PX      EQU 65C0h       ; polynomial argument
PB      EQU 65C4h       ; power: base, result, exponent
PR      EQU 65C8h
PN      EQU 65CCh
PY      EQU 65CEh
IOSTUB  EQU 65E0h
INSPOS  EQU 65E9h       ; INSTR: the position tried
NORND   EQU 65E8h       ; 1: results keep their low bits in FACX, unrounded
FOX     EQU 65F0h       ; the number being formatted
FOCNT   EQU 65F4h
FNTYP   EQU 65E4h       ; DEF FN call: the function's type
FNCNT   EQU 65E5h       ; its arguments
FNAP    EQU 65E6h       ; next argument to bind       ; OUT/INP routine written at run time
GCTOP   EQU 6592h       ; garbage collection: end of the moved strings
GCLIM   EQU 6594h       ; only strings below this are left
GCBEST  EQU 6596h       ; descriptor of the highest string found
GCBADR  EQU 6598h       ; its address
FNARGS  EQU 65A0h       ; DEF FN arguments (8 x 4 bytes)
