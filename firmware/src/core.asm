; Velgard open firmware for the Korvet: the common core.
;
; One source for all three ROM sets. The including file defines
;   ROMSET  0 = "Корвет 2.0"+BAS, 1 = "Корвет 1.1"+BAS, 2 = "Контур 2.0"
;   HASBAS  1 when the image keeps room for BASIC (2000h-5FFFh)
; The core lies in 0000h-1FFFh, so it runs in configuration 0 (ROM at
; 0000h-37FFh) with every ROM set, also the 8 KB one.
;
; Written in the 8080 subset of Z80 mnemonics: the build assembles with
; pasmo's 8080 check and fails on any instruction the 8080 lacks.

; ---- Configuration 0 address map ------------------------------------------
KBD     EQU 3800h       ; keyboard matrix window (512 bytes)
CFGREG  EQU 3A7Fh       ; system page: configuration register
COLREG  EQU 3ABFh       ; system page: colour register
PALREG  EQU 3AFBh       ; system page: palette register
TMR0    EQU 3B00h       ; timer channel 0 count
TMRCW   EQU 3B03h       ; timer control word
FDCCMD  EQU 3B18h       ; floppy controller command / status
DRVCTL  EQU 3B39h       ; drive select and side
PICCMD  EQU 3B28h       ; interrupt controller, A0 = 0
PICDAT  EQU 3B29h       ; interrupt controller, A0 = 1
SNDCTL  EQU 3B33h       ; bit control of I/O 32h (bit 3: sound enable)
SYSREG  EQU 3B3Ah       ; system register
TEXT    EQU 3C00h       ; character memory, 16 rows of 64 cells
GWIN    EQU 0C000h      ; graphics window in configuration 8

CFG0    EQU 00h         ; value for CFGREG: configuration 0
CFG8    EQU 20h         ; configuration 8 (configuration 0 + graphics window)

SYSNORM EQU 20h         ; system register: page 0, bank 0, 64 columns,
                        ; characters written with attribute 0
SYSINV  EQU 10h         ; bits 5-4 = 01: characters written inverted
SYSST   EQU 3B38h       ; status: bit 3 = characters are written inverted
BLINKT  EQU 25          ; the cursor shows for 25 frames, then hides for 25

PICMASK EQU 0EFh        ; only line 4, the display frame, enabled
BEEPDIV EQU 2000        ; 2 MHz / 2000 = 1 kHz

; ---- Workspace: RAM at F800h-FFFFh in configuration 0 ---------------------
WS      EQU 0F800h
CURX    EQU WS+0        ; cursor column (0-63, or 0-31 in 32-column mode)
CURY    EQU WS+1        ; cursor row (0-15)
WIDE    EQU WS+2        ; 0: 64 columns, 1: 32 columns
SYSSH   EQU WS+3        ; copy of the system register
TICKS   EQU WS+4        ; frame counter (word), 50 per second
REPCNT  EQU WS+6        ; frames until the held key repeats
LASTKEY EQU WS+7        ; matrix position of the held key, FFh = none
PREV7   EQU WS+8        ; modifier row (row 7) at the last scan
CAPS    EQU WS+9        ; ФИКС: 1 = small letters without SHIFT
CYR     EQU WS+10       ; 1 = Cyrillic letters (ГРФ), 0 = Latin (АЛФ)
KEYBUF  EQU WS+11       ; key read ahead by CONST (valid when KEYRDY is 1)
DUMPAD  EQU WS+12       ; next address of D without arguments (word)
BOOTQ   EQU WS+14       ; 1 = boot quietly (power-on attempt)
CMDPTR  EQU WS+15       ; parse pointer into LINEBUF (word)
KEYRDY  EQU WS+17       ; 1 = KEYBUF holds a key (its code may be 00h)
CURVIS  EQU WS+18       ; 1 = the cursor cell is shown inverted now
CURBSY  EQU WS+19       ; 1 = output is being written: no blinking
BLINK   EQU WS+20       ; frames until the cursor changes
TRIES   EQU WS+21       ; disk loader: attempts left for this sector
LDCNT   EQU WS+22       ; disk loader: sectors still to load
LINEBUF EQU WS+20h      ; input line, LINEMAX characters and a 0
LINEMAX EQU 60
WSEND   EQU WS+100h

; ---- Restart and interrupt entries ----------------------------------------
        ORG 0000h
RESET:  DI                      ; the 8080 comes up with interrupts enabled
        JP START

; Until the interrupt controller is programmed it calls 0000h + level x 8;
; every such entry just acknowledges and returns.
        DS 08h-$, 0FFh
        JP IRQOTHR
        DS 10h-$, 0FFh
        JP IRQOTHR
        DS 18h-$, 0FFh
        JP IRQOTHR
        DS 20h-$, 0FFh
        JP IRQOTHR
        DS 28h-$, 0FFh
        JP IRQOTHR
        DS 30h-$, 0FFh
        JP IRQOTHR
        DS 38h-$, 0FFh
        JP IRQOTHR

; Our own vectors: the controller is set to 4-byte intervals at 0040h.
        DS 40h-$, 0FFh
VECTORS:
        JP IRQOTHR              ; line 0
        NOP
        JP IRQOTHR              ; line 1
        NOP
        JP IRQOTHR              ; line 2
        NOP
        JP IRQOTHR              ; line 3
        NOP
        JP IRQFRAM              ; line 4: display frame
        NOP
        JP IRQOTHR              ; line 5: timer channel 2
        NOP
        JP IRQOTHR              ; line 6
        NOP
        JP IRQOTHR              ; line 7: floppy controller
        NOP

; ---- Entry points for programs running in configuration 0 ----------------
        DS 60h-$, 0FFh
        JP CONOUT               ; 0060h: print the character in A
        JP CONIN                ; 0063h: wait for a key, code in A
        JP CONST                ; 0066h: A = FFh if a key is waiting, else 0
        JP MONITOR              ; 0069h: enter the monitor
        JP BEEP                 ; 006Ch: short beep
        JP SETWID               ; 006Fh: A = 0: 64 columns, 1: 32 (clears)
        JP BOOTERR              ; 0072h: disk loader failed, code in A
        JP PUTS                 ; 0075h: print the 0-terminated text at HL
        JP BOOT                 ; 0078h: boot from drive A
        JP DREAD                ; 007Bh: read a sector of drive A (see there)

; Identification: "VELGARD", the ROM set and the firmware version.
        DS 80h-$, 0FFh
        DB 'VELGARD',0
        DB ROMSET, HASBAS, 1, 0

; ---- Interrupt handlers ---------------------------------------------------
; The frame interrupt counts frames, times the key repeat and blinks the
; cursor (unless output is being written just now).
IRQFRAM:
        PUSH AF
        PUSH HL
        LD HL,(TICKS)
        INC HL
        LD (TICKS),HL
        LD A,(REPCNT)
        OR A
        JP Z,IRQF1
        DEC A
        LD (REPCNT),A
IRQF1:  LD A,(CURBSY)
        OR A
        JP NZ,IRQF3
        LD HL,BLINK
        DEC (HL)
        JP NZ,IRQF3
        LD (HL),BLINKT
        PUSH BC
        PUSH DE
        LD A,(CURVIS)
        XOR 1
        LD (CURVIS),A
        LD B,SYSNORM
        JP Z,IRQF2
        LD B,SYSINV
IRQF2:  CALL CURATT
        POP DE
        POP BC
IRQF3:  LD A,20h                ; non-specific end of interrupt
        LD (PICCMD),A
        POP HL
        POP AF
        EI
        RET

IRQOTHR:
        PUSH AF
        LD A,20h
        LD (PICCMD),A
        POP AF
        EI
        RET

; ---- Power-on -------------------------------------------------------------
START:  LD SP,0000h             ; stack at the top of RAM, below FFFFh
        LD A,CFG0
        LD (CFGREG),A
        ; interrupt controller: ICW1 = 56h (vectors at 0040h, 4-byte
        ; interval, single, no ICW4), ICW2 = 00h; then mask everything
        LD A,56h
        LD (PICCMD),A
        XOR A
        LD (PICDAT),A
        LD A,0FFh
        LD (PICDAT),A
        ; sound off, timer channel 0 ready as a 1 kHz square wave
        LD A,06h
        LD (SNDCTL),A
        CALL BEEPTMR
        ; workspace
        LD HL,WS
        LD B,0
        XOR A
WSCLR:  LD (HL),A
        INC HL
        LD (HL),A
        INC HL
        DEC B
        JP NZ,WSCLR
        LD A,0FFh
        LD (LASTKEY),A
        ; palette: graphics colours 0-7 as they are, text white
        LD HL,PALTAB
        LD B,16
PALLP:  LD A,(HL)
        LD (PALREG),A
        INC HL
        DEC B
        JP NZ,PALLP
        ; colour register: direct mode, colour 0 (clears the planes)
        LD A,80h
        LD (COLREG),A
        CALL CLRGFX
        LD A,SYSNORM
        LD (SYSSH),A
        LD (SYSREG),A
        CALL CLS
        CALL BANNER
        LD A,PICMASK
        LD (PICDAT),A
        EI
        ; try drive A; without a bootable disk we land in the monitor
        LD A,1
        LD (BOOTQ),A
        CALL BOOTGO
        JP MONITOR

PALTAB: DB 00h,11h,22h,33h,44h,55h,66h,77h
        DB 0F8h,0F9h,0FAh,0FBh,0FCh,0FDh,0FEh,0FFh

; Clears the three colour planes of all four graphics pages through the
; graphics window of configuration 8 (the colour register must be in direct
; mode with colour 0). Uses no stack: configuration 8 hides our stack.
CLRGFX: LD C,SYSNORM
CLRG1:  DI
        LD A,C
        LD (SYSREG),A           ; bits 7-6 = page reached through the window
        LD A,CFG8
        LD (CFGREG),A
        LD HL,GWIN
        LD A,0FFh
CLRG2:  LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        JP NZ,CLRG2
        INC H
        JP NZ,CLRG2
        LD A,CFG0
        LD (CFGREG),A
        LD A,C
        ADD A,40h
        LD C,A
        JP NC,CLRG1
        LD A,(SYSSH)
        LD (SYSREG),A
        RET

BANNER: LD HL,TROMNM
        CALL PUTS
        LD HL,TBANNR
        CALL PUTS
        CALL CRLF
        LD HL,THINT
        CALL PUTS
        JP CRLF

; ---- Console output -------------------------------------------------------
; CONOUT prints the character in A; all registers are kept.
; Codes: 07 beep, 08 cursor left, 09 tab, 0A line feed, 0C clear screen,
; 0D carriage return, 0E 32 columns, 0F 64 columns, 18 cursor right,
; 19 cursor up, 1A cursor down, 1E home. Other codes below 20h are
; ignored; everything else is shown.
CONOUT: PUSH AF
        PUSH BC
        PUSH DE
        PUSH HL
        PUSH AF
        CALL CURHIDE
        POP AF
        CALL OUTCH
        CALL CURSHOW
        POP HL
        POP DE
        POP BC
        POP AF
        RET

OUTCH:  CP 20h
        JP NC,PRINTBL
        CP 0Dh
        JP Z,DOCR
        CP 0Ah
        JP Z,DOLF
        CP 08h
        JP Z,DOLEFT
        CP 09h
        JP Z,DOTAB
        CP 0Ch
        JP Z,CLSIN
        CP 07h
        JP Z,BEEP
        CP 18h
        JP Z,DORIGHT
        CP 19h
        JP Z,DOUP
        CP 1Ah
        JP Z,DODOWN
        CP 1Eh
        JP Z,HOME
        CP 0Eh
        JP Z,WID32
        CP 0Fh
        JP Z,WID64
        RET

PRINTBL:
        CALL CELLAD
        LD (HL),A
        LD A,(CURX)
        INC A
        LD (CURX),A
        LD B,A
        CALL COLS
        CP B
        RET NZ
        XOR A
        LD (CURX),A
        JP DOLF

DOCR:   XOR A
        LD (CURX),A
        RET

DOLF:   LD A,(CURY)
        INC A
        CP 16
        JP NC,SCROLL
        LD (CURY),A
        RET

DOLEFT: LD A,(CURX)             ; at column 0 back to the end of the row
        OR A                    ; above, so that erasing follows a line
        JP Z,DOLEFT1            ; that wrapped
        DEC A
        LD (CURX),A
        RET
DOLEFT1:
        LD A,(CURY)
        OR A
        RET Z
        DEC A
        LD (CURY),A
        CALL COLS
        DEC A
        LD (CURX),A
        RET

DORIGHT:
        CALL COLS
        DEC A
        LD B,A
        LD A,(CURX)
        CP B
        RET NC
        INC A
        LD (CURX),A
        RET

DOUP:   LD A,(CURY)
        OR A
        RET Z
        DEC A
        LD (CURY),A
        RET

DODOWN: LD A,(CURY)
        CP 15
        RET NC
        INC A
        LD (CURY),A
        RET

DOTAB:  LD A,(CURX)
        ADD A,8
        AND 0F8h
        LD B,A
        CALL COLS
        CP B
        JP Z,DOTAB1
        JP C,DOTAB1
        LD A,B
        LD (CURX),A
        RET
DOTAB1: XOR A
        LD (CURX),A
        JP DOLF

HOME:   XOR A
        LD (CURX),A
        LD (CURY),A
        RET

WID32:  LD A,1
        JP SETW1
WID64:  XOR A
SETW1:  LD (WIDE),A
        OR A
        LD A,(SYSSH)
        AND 0F7h
        JP Z,SETW2
        OR 08h
SETW2:  LD (SYSSH),A
        LD (SYSREG),A
        JP CLSIN

; A = 0: 64 columns, otherwise 32 columns; clears the screen.
SETWID: OR A
        LD A,0Fh
        JP Z,CONOUT
        LD A,0Eh
        JP CONOUT

; Scrolls the text up by one row and blanks the bottom row.
SCROLL: LD HL,TEXT+64
        LD DE,TEXT
        LD BC,960
SCRL1:  LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC BC
        LD A,B
        OR C
        JP NZ,SCRL1
        LD B,64
        LD A,' '
SCRL2:  LD (DE),A
        INC DE
        DEC B
        JP NZ,SCRL2
        RET

; Clears the whole text screen and homes the cursor.
CLS:    CALL CURHIDE
        CALL CLSIN
        JP CURSHOW

CLSIN:  LD HL,TEXT
        LD BC,1024
CLS1:   LD (HL),' '
        INC HL
        DEC BC
        LD A,B
        OR C
        JP NZ,CLS1
        JP HOME

; A = number of columns (64 or 32).
COLS:   LD A,(WIDE)
        OR A
        LD A,64
        RET Z
        LD A,32
        RET

; HL = character memory address of the cursor cell (A, DE kept).
CELLAD: PUSH AF
        PUSH DE
        LD A,(CURY)
        LD L,A
        LD H,0
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        LD A,(WIDE)
        OR A
        LD A,(CURX)
        JP Z,CELL1
        ADD A,A                 ; 32 columns: only even cells are shown
CELL1:  LD E,A
        LD D,0
        ADD HL,DE
        LD DE,TEXT
        ADD HL,DE
        POP DE
        POP AF
        RET

; The cursor is the inverted cell under it. It blinks from the frame
; interrupt; while output is written (CURBSY = 1) it stays hidden.
; CURHIDE and CURSHOW change A, BC, DE, HL.
CURHIDE:
        LD A,1                  ; first keep the frame interrupt away
        LD (CURBSY),A
        LD A,(CURVIS)
        OR A
        RET Z
        XOR A
        LD (CURVIS),A
        LD B,SYSNORM
        JP CURATT

; Shows the cursor for a full blink phase and lets it blink again.
CURSHOW:
        LD A,1
        LD (CURVIS),A
        LD A,BLINKT
        LD (BLINK),A
        LD B,SYSINV
        CALL CURATT
        XOR A
        LD (CURBSY),A
        RET

; Rewrites the cursor cell with the attribute mode in B (SYSINV or
; SYSNORM, as bits 5-4 of the system register). The system register and
; the attribute latch are put back as they were, so a program that writes
; characters itself is not disturbed.
CURATT: CALL CELLAD
        LD A,(SYSST)            ; the latch: bit 3 = writing inverted
        AND 08h
        LD C,A
        LD A,(SYSREG)
        LD E,A                  ; E = the system register as it was
        AND 0CFh
        OR B
        LD (SYSREG),A
        LD A,(HL)
        LD (HL),A
        LD A,E                  ; the latch as it was (modes 01 and 10 set
        AND 0CFh                ; it), then the register itself
        LD B,A
        LD A,C
        OR A
        LD A,SYSNORM
        JP Z,CURAT1
        LD A,SYSINV
CURAT1: OR B
        LD (SYSREG),A
        LD A,E
        LD (SYSREG),A
        RET

; Prints the 0-terminated text at HL; HL ends after the 0.
PUTS:   LD A,(HL)
        INC HL
        OR A
        RET Z
        CALL CONOUT
        JP PUTS

CRLF:   LD A,0Dh
        CALL CONOUT
        LD A,0Ah
        JP CONOUT

SPACE:  LD A,' '
        JP CONOUT

; Prints A as two hexadecimal digits.
PHEX2:  PUSH AF
        RRCA
        RRCA
        RRCA
        RRCA
        CALL PHEXD
        POP AF
PHEXD:  PUSH AF
        AND 0Fh
        ADD A,'0'
        CP '9'+1
        JP C,PHEXD1
        ADD A,7
PHEXD1: CALL CONOUT
        POP AF
        RET

; Prints HL as four hexadecimal digits.
PHEX4:  LD A,H
        CALL PHEX2
        LD A,L
        JP PHEX2

; ---- Sound ----------------------------------------------------------------
BEEPTMR:
        LD A,36h                ; channel 0, LSB then MSB, mode 3, binary
        LD (TMRCW),A
        LD A,BEEPDIV AND 0FFh
        LD (TMR0),A
        LD A,BEEPDIV SHR 8
        LD (TMR0),A
        RET

; A short beep: timer channel 0 as a 1 kHz square wave, gated into the
; speaker by bit 3 of I/O 32h for about 80 ms. All registers are kept.
BEEP:   PUSH AF
        PUSH BC
        CALL BEEPTMR
        LD A,07h                ; set bit 3 of I/O 32h
        LD (SNDCTL),A
        LD BC,8700              ; 23 cycles a turn: about 80 ms at 2.5 MHz
BEEP1:  DEC BC
        LD A,B
        OR C
        JP NZ,BEEP1
        LD A,06h                ; clear bit 3
        LD (SNDCTL),A
        POP BC
        POP AF
        RET

; ---- Keyboard -------------------------------------------------------------
; The matrix: rows 0-3 the letter keys (@ A-Z [ \ ] ^ _ by their Latin
; legends), row 4 the digits 0-7, row 5 8 9 : ; , - . /, row 6 ВК CLS СТОП
; DEL INS ЗБ TAB and the space bar, row 7 SHIFT АЛФ ГРФ ESC СЕЛ CTRL ФИКС
; SHIFT, row 8 the keypad 0-7, row 9 keypad 8, 9 and the point (column 6),
; row 10 F1-F5. A key's position is row x 8 + column (0-87).
ROW7KEY EQU 18h         ; the keys of row 7 that give codes: ESC and СЕЛ

; KBSCAN looks at the matrix once. Returns carry set with the code in A
; when a key was pressed or repeats (the code may be 00h: CTRL+@), carry
; clear when there is nothing.
KBSCAN: PUSH BC
        PUSH HL
        CALL KBSC
        POP HL
        POP BC
        RET

KBSC:   LD A,(KBD+80h)          ; row 7: the modifiers
        LD B,A
        LD A,(PREV7)
        CPL
        AND B                   ; keys that went down since the last scan
        LD C,A
        LD A,B
        LD (PREV7),A
        LD A,C
        AND 40h                 ; ФИКС toggles capitals
        JP Z,KBS1
        LD A,(CAPS)
        XOR 1
        LD (CAPS),A
KBS1:   LD A,C
        AND 02h                 ; АЛФ: Latin letters
        JP Z,KBS2
        XOR A
        LD (CYR),A
KBS2:   LD A,C
        AND 04h                 ; ГРФ: Cyrillic letters
        JP Z,KBS3
        LD A,1
        LD (CYR),A
KBS3:   LD HL,KBD+1             ; rows 0-6, one at a time
        LD C,0
        LD B,7
KBS4:   LD A,(HL)
        OR A
        JP NZ,KBFOUND
        LD A,L
        ADD A,A
        LD L,A
        LD A,C
        ADD A,8
        LD C,A
        DEC B
        JP NZ,KBS4
        LD A,(KBD+80h)          ; C = 56: ESC and СЕЛ of row 7
        AND ROW7KEY
        JP NZ,KBFOUND
        LD C,64                 ; rows 8-10: the keypad and F1-F5
        LD A,(KBD+101h)
        OR A
        JP NZ,KBFOUND
        LD C,72
        LD A,(KBD+102h)
        OR A
        JP NZ,KBFOUND
        LD C,80
        LD A,(KBD+104h)
        OR A
        JP NZ,KBFOUND
        LD A,0FFh               ; nothing held
        LD (LASTKEY),A
        XOR A
        RET
KBFOUND:
        RRCA                    ; lowest pressed column
        JP C,KBF1
        INC C
        JP KBFOUND
KBF1:   LD A,(KBD+80h)          ; the modifiers must not have changed while
        LD HL,PREV7             ; we looked (a key and SHIFT going down at
        CP (HL)                 ; once): else look again next time
        JP Z,KBF2
        XOR A
        RET
KBF2:   LD A,(LASTKEY)
        CP C
        JP Z,KBSAME
        LD A,C
        LD (LASTKEY),A
        LD A,25                 ; first repeat after half a second
        LD (REPCNT),A
        JP KBXLAT
KBSAME: LD A,(REPCNT)
        OR A
        JP Z,KBREP
        XOR A
        RET
KBREP:  LD A,3                  ; then every 60 ms
        LD (REPCNT),A

; C = matrix position -> A = code, carry set (every key has a code).
KBXLAT: LD A,(PREV7)
        LD B,A
        LD A,C
        CP 32
        JP NC,KBDIG
        ; rows 0-3: letters and the symbols @ [ \ ] ^ _; with CTRL the
        ; control code of the key's Latin legend, 00h-1Fh, in both alphabets
        LD A,B
        AND 20h                 ; CTRL
        LD A,C
        JP NZ,KBRET
; Letters come as the capitals of the legends; SHIFT or ФИКС (not both)
; gives small letters.
KBX1:   LD A,B
        AND 81h                 ; either SHIFT
        JP Z,KBX2
        LD A,1
KBX2:   LD B,A                  ; B = 1 while shifted
        LD A,(CYR)
        OR A
        JP Z,KBLAT
        LD A,(CAPS)
        XOR B
        LD A,C
        JP Z,KBCYU              ; the legend (capital) unless one of them
        ADD A,0C0h              ; small letters
        JP KBRET
KBCYU:  ADD A,0E0h              ; capitals
        JP KBRET
KBLAT:  LD A,C
        OR A
        JP Z,KBSYM
        CP 27
        JP NC,KBSYM
        LD A,(CAPS)
        XOR B
        LD A,C
        JP Z,KBLATU
        ADD A,60h               ; a-z
        JP KBRET
KBLATU: ADD A,40h               ; A-Z
        JP KBRET
KBSYM:  LD A,B                  ; @ [ \ ] ^ _ and, shifted, ` { | } ~ DEL
        OR A
        LD A,C
        JP NZ,KBSYMU
        ADD A,40h
        JP KBRET
KBSYMU: ADD A,60h
        JP KBRET
KBDIG:  CP 48
        JP NC,KBTAB
        ; rows 4-5: 0-9 : ; , - . / and their bit-paired shifted symbols
        SUB 32
        LD C,A
        CP 12
        LD A,C
        JP C,KBD1
        ADD A,20h
        JP KBD2
KBD1:   ADD A,30h
KBD2:   LD C,A
        LD A,B
        AND 81h
        LD A,C
        JP Z,KBRET
        CP '0'
        JP Z,KBRET
        XOR 10h
        JP KBRET
        ; rows 6-10: from the table, plain or with SHIFT
KBTAB:  SUB 48
        ADD A,A
        LD L,A
        LD A,B
        AND 81h
        JP Z,KBT1
        INC L
KBT1:   LD A,L
        ADD A,KEYTAB AND 0FFh
        LD L,A
        LD A,KEYTAB SHR 8
        ADC A,0
        LD H,A
        LD A,(HL)
KBRET:  SCF
        RET

; Codes of the keys that have no character of their own.
KF1     EQU 80h         ; F1-F5: 80h-84h, with SHIFT (F6-F10) 85h-89h
KBACKT  EQU 8Ah         ; keypad 0 (|<-)
KLEFTW  EQU 8Bh         ; keypad 1 (double arrow left)
KRIGHTW EQU 8Ch         ; keypad 3 (double arrow right)
KMENU   EQU 8Dh         ; keypad 5 (menu)
KUPR    EQU 8Eh         ; keypad 9 (arrow up and right)
KSEL    EQU 8Fh         ; СЕЛ

; Positions 48-87, two codes a key: plain, with SHIFT. CTRL changes none
; of them. The modifiers and the empty places of row 9 have 0.
KEYTAB: DB 0Dh,0Ah, 0Ch,0Ch, 03h,03h, 7Fh,7Fh    ; ВК (ПС with SHIFT) CLS СТОП DEL
        DB 1Ch,1Ch, 08h,08h, 09h,09h, ' ',' '    ; INS ЗБ TAB пробел
        DB 0,0, 0,0, 0,0, 1Bh,1Bh                ; SHIFT АЛФ ГРФ ESC (АР2)
        DB KSEL,KSEL, 0,0, 0,0, 0,0              ; СЕЛ CTRL ФИКС SHIFT
        DB KBACKT,'0', KLEFTW,'1', 1Ah,'2', KRIGHTW,'3'  ; keypad 0-3
        DB 08h,'4', KMENU,'5', 18h,'6', 1Eh,'7'          ; keypad 4-7
        DB 19h,'8', KUPR,'9', 0,0, 0,0                   ; keypad 8, 9
        DB 0,0, 0,0, 09h,'.', 0,0                        ; keypad point (->|)
        DB KF1,KF1+5, KF1+1,KF1+6, KF1+2,KF1+7, KF1+3,KF1+8  ; F1-F4 (F6-F9)
        DB KF1+4,KF1+9, 0,0, 0,0, 0,0                     ; F5 (F10)

; A = FFh if a key is waiting, else 0.
CONST:  LD A,(KEYRDY)
        OR A
        JP NZ,CONST1
        CALL KBSCAN
        JP NC,CONST2
        LD (KEYBUF),A
        LD A,1
        LD (KEYRDY),A
CONST1: LD A,0FFh
        RET
CONST2: XOR A
        RET

; Waits for a key; A = its code.
CONIN:  LD A,(KEYRDY)
        OR A
        JP Z,CONIN1
        XOR A
        LD (KEYRDY),A
        LD A,(KEYBUF)
        RET
CONIN1: CALL KBSCAN
        JP NC,CONIN1
        RET

; ---- Monitor --------------------------------------------------------------
MONITOR:
        IF HASBAS
        LD A,(BOOTQ)            ; power-on without a bootable disk: BASIC
        OR A
        JP Z,MONIT1
        XOR A
        LD (BOOTQ),A
        JP BCOLD
MONIT1:
        ENDIF
        LD SP,0000h
        LD A,PICMASK
        LD (PICDAT),A
        EI
        XOR A
        LD (BOOTQ),A
MONLP:  LD SP,0000h
        LD A,(CURX)
        OR A
        CALL NZ,CRLF
        LD A,'>'
        CALL CONOUT
        CALL GETLN
        LD HL,LINEBUF
        LD (CMDPTR),HL
        CALL SKIPSP
        JP Z,MONLP              ; empty line
        CALL NEXTCH
        CALL UPCASE
        CP 'D'
        JP Z,CMDD
        CP 'M'
        JP Z,CMDM
        CP 'F'
        JP Z,CMDF
        CP 'G'
        JP Z,CMDG
        CP 'B'
        JP Z,CMDB
        CP 'V'
        JP Z,CMDV
        CP 'H'
        JP Z,CMDH
        CP '?'
        JP Z,CMDH
        LD HL,TUNKN
ERROR:  CALL PUTS
        CALL CRLF
        JP MONLP

ERRHEX: LD HL,TBADHX
        JP ERROR
ERRRNG: LD HL,TRANGE
        JP ERROR
ERRWS:  LD HL,TWSPROT
        JP ERROR

; Reads a line into LINEBUF (0-terminated). ЗБ/DEL erase, ESC cancels.
GETLN:  LD HL,LINEBUF
        LD B,0
GETL1:  CALL CONIN
        CP 0Dh
        JP Z,GETLE
        CP 08h
        JP Z,GETLBS
        CP 7Fh
        JP Z,GETLBS
        CP 1Bh
        JP Z,GETLESC
        CP 20h
        JP C,GETL1
        CP 80h                  ; 80h-BFh: the keys without a character
        JP C,GETL0
        CP 0C0h
        JP C,GETL1
GETL0:  LD C,A
        LD A,B
        CP LINEMAX
        JP NC,GETLFUL
        LD A,C
        LD (HL),A
        INC HL
        INC B
        CALL CONOUT
        JP GETL1
GETLFUL:
        CALL BEEP
        JP GETL1
GETLBS: LD A,B
        OR A
        JP Z,GETL1
        DEC HL
        DEC B
        LD A,08h
        CALL CONOUT
        LD A,' '
        CALL CONOUT
        LD A,08h
        CALL CONOUT
        JP GETL1
GETLESC:
        LD HL,LINEBUF
GETLE:  LD (HL),0
        JP CRLF

; Skips blanks at CMDPTR; A = the next character, Z at the end of the line.
SKIPSP: PUSH HL
        LD HL,(CMDPTR)
SKIP1:  LD A,(HL)
        CP ' '
        JP NZ,SKIP2
        INC HL
        JP SKIP1
SKIP2:  LD (CMDPTR),HL
        POP HL
        OR A
        RET

; A = the next character, which is consumed.
NEXTCH: PUSH HL
        LD HL,(CMDPTR)
        LD A,(HL)
        INC HL
        LD (CMDPTR),HL
        POP HL
        RET

UPCASE: CP 'a'
        RET C
        CP 'z'+1
        RET NC
        SUB 20h
        RET

; Reads a hexadecimal number of 1-4 digits into HL; anything else (no
; digit, a fifth digit, a letter after the digits) is reported as an error.
GETHEX: CALL SKIPSP
        JP Z,ERRHEX
        LD HL,0
        LD C,0                  ; digits read
GHEX1:  CALL HEXDIG
        JP C,GHEX2
        LD B,A
        LD A,C
        CP 4
        JP NC,ERRHEX
        INC C
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        ADD HL,HL
        LD A,L
        OR B
        LD L,A
        CALL NEXTCH
        JP GHEX1
GHEX2:  LD A,C
        OR A
        JP Z,ERRHEX
        PUSH HL                 ; the number must end at a blank or the end
        LD HL,(CMDPTR)
        LD A,(HL)
        POP HL
        OR A
        RET Z
        CP ' '
        RET Z
        JP ERRHEX

; Value of the hexadecimal digit at CMDPTR in A; carry set if it is none.
HEXDIG: PUSH HL
        LD HL,(CMDPTR)
        LD A,(HL)
        POP HL
        CALL UPCASE
        SUB '0'
        RET C
        CP 10
        CCF
        RET NC
        SUB 'A'-'0'
        RET C
        CP 6
        CCF
        RET C
        ADD A,10
        RET

; Checks that nothing but blanks is left on the line.
ENDLN:  CALL SKIPSP
        RET Z
        JP ERRHEX

; HL >= WS would overwrite the monitor's own memory: refused.
CHKWS:  LD A,H
        CP WS SHR 8
        RET C
        JP ERRWS

; D [addr [end]]: shows memory, 8 bytes a line with their characters.
CMDD:   CALL SKIPSP
        JP NZ,CMDD1
        LD HL,(DUMPAD)
        LD DE,63
        JP CMDD3
CMDD1:  CALL GETHEX
        PUSH HL
        CALL SKIPSP
        JP NZ,CMDD2
        POP HL
        LD DE,63
        JP CMDD3
CMDD2:  CALL GETHEX
        CALL ENDLN
        POP DE                  ; DE = start, HL = end
        LD A,L
        SUB E
        LD L,A
        LD A,H
        SBC A,D
        LD H,A
        JP C,ERRRNG
        EX DE,HL                ; HL = start, DE = count - 1
CMDD3:  ; HL = address, DE = bytes to show minus one
DUMPLN: CALL PHEX4
        CALL SPACE
        PUSH HL
        LD B,8
DUMPB:  CALL SPACE
        LD A,(HL)
        CALL PHEX2
        INC HL
        DEC B
        JP NZ,DUMPB
        CALL SPACE
        CALL SPACE
        POP HL
        LD B,8
DUMPC:  LD A,(HL)
        CP 20h
        JP C,DUMPC1
        CP 7Fh
        JP C,DUMPC2
DUMPC1: LD A,'.'
DUMPC2: CALL CONOUT
        INC HL
        DEC B
        JP NZ,DUMPC
        CALL CRLF
        LD (DUMPAD),HL
        LD A,H                  ; stop after FFFFh
        OR L
        JP Z,MONLP
        LD A,E                  ; 8 bytes fewer to go
        SUB 8
        LD E,A
        LD A,D
        SBC A,0
        LD D,A
        JP NC,DUMPLN
        JP MONLP

; M addr [bytes]: stores the bytes; without bytes, edits one byte a line:
; a new value, an empty line to keep it, '.' to finish.
CMDM:   CALL GETHEX
        EX DE,HL                ; DE = address
        CALL SKIPSP
        JP Z,MEDIT
MSTORE: CALL GETHEX
        LD A,H
        OR A
        JP NZ,ERRHEX
        EX DE,HL
        CALL CHKWS
        LD (HL),E
        INC HL
        EX DE,HL
        CALL SKIPSP
        JP NZ,MSTORE
        JP MONLP
MEDIT:  EX DE,HL
MEDIT1: CALL CHKWS
        CALL PHEX4
        CALL SPACE
        LD A,(HL)
        CALL PHEX2
        LD A,'-'
        CALL CONOUT
        PUSH HL
        CALL GETLN
        LD HL,LINEBUF
        LD (CMDPTR),HL
        CALL SKIPSP
        POP DE                  ; DE = address
        JP Z,MEDIT2             ; empty: keep the byte
        CP '.'
        JP Z,MONLP
        CALL GETHEX
        CALL ENDLN
        LD A,H
        OR A
        JP NZ,ERRHEX
        LD A,L
        LD (DE),A
MEDIT2: EX DE,HL
        INC HL
        LD A,H
        OR L
        JP NZ,MEDIT1
        JP MONLP

; F start end byte: fills start..end.
CMDF:   CALL GETHEX
        PUSH HL
        CALL GETHEX
        PUSH HL
        CALL GETHEX
        CALL ENDLN
        LD A,H
        OR A
        JP NZ,ERRHEX
        LD C,L                  ; C = byte
        POP HL                  ; HL = end
        CALL CHKWS
        POP DE                  ; DE = start
        LD A,L
        SUB E
        LD A,H
        SBC A,D
        JP C,ERRRNG
        EX DE,HL                ; HL = start, DE = end
CMDF1:  LD (HL),C
        LD A,L
        CP E
        JP NZ,CMDF2
        LD A,H
        CP D
        JP Z,MONLP
CMDF2:  INC HL
        JP CMDF1

; G addr: calls the program; its RET comes back to the monitor.
CMDG:   CALL GETHEX
        CALL ENDLN
        LD DE,MONLP
        PUSH DE
        JP (HL)

; B: boot from drive A.
CMDB:   CALL ENDLN
        CALL BOOT
        JP MONLP

; V: the ROM set and this firmware.
CMDV:   CALL ENDLN
        LD HL,TROM
        CALL PUTS
        LD HL,TROMNM
        CALL PUTS
        CALL CRLF
        LD HL,TVERS
        CALL PUTS
        CALL CRLF
        IF HASBAS
        LD HL,TBASIC
        CALL PUTS
        CALL CRLF
        ENDIF
        JP MONLP

; H, ?: the commands.
CMDH:   CALL ENDLN
        LD HL,THELP
CMDH1:  LD A,(HL)
        OR A
        JP Z,MONLP
        CALL PUTS
        CALL CRLF
        JP CMDH1

; ---- Booting from drive A -------------------------------------------------
; BOOT announces itself; BOOTGO is the quiet power-on attempt when BOOTQ
; is 1. Both return only when the disk cannot be booted and the reason
; has been shown (the loader comes back through BOOTERR).
BOOT:   XOR A
        LD (BOOTQ),A
        LD HL,TBOOT
        CALL PUTS
        CALL CRLF
BOOTGO: LD A,01h                ; drive A, side 0
        LD (DRVCTL),A
        LD A,(FDCCMD)
        AND 80h
        LD A,1
        JP NZ,BOOTERR
        DI
        LD A,0FFh               ; mask every interrupt line
        LD (PICDAT),A
        LD A,06h                ; sound off
        LD (SNDCTL),A
        CALL CURHIDE
        JP LOADER

; Reads sector C (1-5) of track D, side E (0 or 1) of drive A to HL ..
; HL+1023 in configuration 0, trying four times. Carry set when it could not
; be read; else HL ends after the 1024 bytes. C and DE are kept, A and B
; change. Interrupts may stay enabled.
DREAD:  XOR A
        JP RDSEC

; The loader failed (in configuration 0). A = 1 not ready, 2 read error,
; 3 not a bootable disk, 4 does not fit.
BOOTERR:
        LD SP,0000h
        LD B,A
        LD A,PICMASK
        LD (PICDAT),A
        EI
        LD A,(BOOTQ)
        OR A
        JP Z,BERR1
        LD A,B                  ; at power-on an empty drive is no error
        CP 1
        JP Z,MONITOR
BERR1:  LD A,(CURX)
        OR A
        CALL NZ,CRLF
        LD A,B
        LD HL,TNOTRDY
        CP 1
        JP Z,BERR2
        LD HL,TRDERR
        CP 2
        JP Z,BERR2
        LD HL,TNOBOOT
        CP 3
        JP Z,BERR2
        LD HL,TNOFIT
BERR2:  CALL PUTS
        CALL CRLF
        JP MONITOR

        INCLUDE loader.asm

; ---- Texts (character codes of the machine: KOI-8 Cyrillic) ---------------
TROMNM:
        IF ROMSET EQ 0
	DB 0ebh,0cfh,0d2h,0d7h,0c5h,0d4h,020h,032h,02eh,030h
        DB '+BAS',0
        ENDIF
        IF ROMSET EQ 1
	DB 0ebh,0cfh,0d2h,0d7h,0c5h,0d4h,020h,031h,02eh,031h
        DB '+BAS',0
        ENDIF
        IF ROMSET EQ 2
	DB 0ebh,0cfh,0ceh,0d4h,0d5h,0d2h,020h,032h,02eh,030h
        DB 0
        ENDIF
TBANNR: ; " - открытая прошивка Velgard 1.0"
	DB 020h,02dh,020h,0cfh,0d4h,0cbh,0d2h,0d9h,0d4h,0c1h,0d1h,020h,0d0h,0d2h,0cfh,0dbh,0c9h,0d7h,0cbh,0c1h,020h,056h,065h,06ch,067h,061h,072h,064h,020h,031h,02eh,030h,0
THINT:  ; "Монитор: H - справка"
	DB 0edh,0cfh,0ceh,0c9h,0d4h,0cfh,0d2h,03ah,020h,048h,020h,02dh,020h,0d3h,0d0h,0d2h,0c1h,0d7h,0cbh,0c1h,0
TBADHX: ; "Ошибка: неверное число"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0ceh,0c5h,0d7h,0c5h,0d2h,0ceh,0cfh,0c5h,020h,0deh,0c9h,0d3h,0cch,0cfh,0
TUNKN:  ; "Ошибка: неизвестная команда"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0ceh,0c5h,0c9h,0dah,0d7h,0c5h,0d3h,0d4h,0ceh,0c1h,0d1h,020h,0cbh,0cfh,0cdh,0c1h,0ceh,0c4h,0c1h,0
TRANGE: ; "Ошибка: неверный диапазон"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0ceh,0c5h,0d7h,0c5h,0d2h,0ceh,0d9h,0cah,020h,0c4h,0c9h,0c1h,0d0h,0c1h,0dah,0cfh,0ceh,0
TWSPROT: ; "Ошибка: память монитора F800-FFFF"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0d0h,0c1h,0cdh,0d1h,0d4h,0d8h,020h,0cdh,0cfh,0ceh,0c9h,0d4h,0cfh,0d2h,0c1h,020h,046h,038h,030h,030h,02dh,046h,046h,046h,046h,0
TNOTRDY: ; "Ошибка: дисковод A не готов"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0c4h,0c9h,0d3h,0cbh,0cfh,0d7h,0cfh,0c4h,020h,041h,020h,0ceh,0c5h,020h,0c7h,0cfh,0d4h,0cfh,0d7h,0
TRDERR: ; "Ошибка чтения диска"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,020h,0deh,0d4h,0c5h,0ceh,0c9h,0d1h,020h,0c4h,0c9h,0d3h,0cbh,0c1h,0
TNOBOOT: ; "Диск в дисководе A не загрузочный"
	DB 0e4h,0c9h,0d3h,0cbh,020h,0d7h,020h,0c4h,0c9h,0d3h,0cbh,0cfh,0d7h,0cfh,0c4h,0c5h,020h,041h,020h,0ceh,0c5h,020h,0dah,0c1h,0c7h,0d2h,0d5h,0dah,0cfh,0deh,0ceh,0d9h,0cah,0
TNOFIT: ; "Ошибка: образ не помещается в память"
	DB 0efh,0dbh,0c9h,0c2h,0cbh,0c1h,03ah,020h,0cfh,0c2h,0d2h,0c1h,0dah,020h,0ceh,0c5h,020h,0d0h,0cfh,0cdh,0c5h,0ddh,0c1h,0c5h,0d4h,0d3h,0d1h,020h,0d7h,020h,0d0h,0c1h,0cdh,0d1h,0d4h,0d8h,0
TBOOT:  ; "Загрузка с диска A..."
	DB 0fah,0c1h,0c7h,0d2h,0d5h,0dah,0cbh,0c1h,020h,0d3h,020h,0c4h,0c9h,0d3h,0cbh,0c1h,020h,041h,02eh,02eh,02eh,0
TROM:   ; "ПЗУ: "
	DB 0f0h,0fah,0f5h,03ah,020h,0
TVERS:  ; "Открытая прошивка Velgard 1.0, шрифт на основе Terminus Font"
	DB 0efh,0d4h,0cbh,0d2h,0d9h,0d4h,0c1h,0d1h,020h,0d0h,0d2h,0cfh,0dbh,0c9h,0d7h,0cbh,0c1h,020h,056h,065h,06ch,067h,061h,072h,064h,020h,031h,02eh,030h,02ch,020h,0dbh,0d2h,0c9h,0c6h,0d4h,020h,0ceh,0c1h,020h,0cfh,0d3h,0ceh,0cfh,0d7h,0c5h,020h,054h,065h,072h,06dh,069h,06eh,075h,073h,020h,046h,06fh,06eh,074h,0
        IF HASBAS
TBASIC: ; "Бейсик: G 2014 - вернуться в Бейсик"
        DB 0E2h,0C5h,0CAh,0D3h,0C9h,0CBh,03Ah,020h,047h,020h,032h,030h,031h,034h,020h,02Dh,020h,0D7h,0C5h,0D2h,0CEh,0D5h,0D4h,0D8h,0D3h,0D1h,020h,0D7h,020h,0E2h,0C5h,0CAh,0D3h,0C9h,0CBh,0
        ENDIF
THELP:  ; "Команды монитора:"
	DB 0ebh,0cfh,0cdh,0c1h,0ceh,0c4h,0d9h,020h,0cdh,0cfh,0ceh,0c9h,0d4h,0cfh,0d2h,0c1h,03ah,0
        ; "D адрес [конец]    - показать память"
	DB 044h,020h,0c1h,0c4h,0d2h,0c5h,0d3h,020h,05bh,0cbh,0cfh,0ceh,0c5h,0c3h,05dh,020h,020h,020h,020h,02dh,020h,0d0h,0cfh,0cbh,0c1h,0dah,0c1h,0d4h,0d8h,020h,0d0h,0c1h,0cdh,0d1h,0d4h,0d8h,0
        ; "M адрес [байты]    - изменить память"
	DB 04dh,020h,0c1h,0c4h,0d2h,0c5h,0d3h,020h,05bh,0c2h,0c1h,0cah,0d4h,0d9h,05dh,020h,020h,020h,020h,02dh,020h,0c9h,0dah,0cdh,0c5h,0ceh,0c9h,0d4h,0d8h,020h,0d0h,0c1h,0cdh,0d1h,0d4h,0d8h,0
        ; "F начало конец байт - заполнить память"
	DB 046h,020h,0ceh,0c1h,0deh,0c1h,0cch,0cfh,020h,0cbh,0cfh,0ceh,0c5h,0c3h,020h,0c2h,0c1h,0cah,0d4h,020h,02dh,020h,0dah,0c1h,0d0h,0cfh,0cch,0ceh,0c9h,0d4h,0d8h,020h,0d0h,0c1h,0cdh,0d1h,0d4h,0d8h,0
        ; "G адрес            - перейти по адресу"
	DB 047h,020h,0c1h,0c4h,0d2h,0c5h,0d3h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,02dh,020h,0d0h,0c5h,0d2h,0c5h,0cah,0d4h,0c9h,020h,0d0h,0cfh,020h,0c1h,0c4h,0d2h,0c5h,0d3h,0d5h,0
        ; "B                  - загрузка с диска A"
	DB 042h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,02dh,020h,0dah,0c1h,0c7h,0d2h,0d5h,0dah,0cbh,0c1h,020h,0d3h,020h,0c4h,0c9h,0d3h,0cbh,0c1h,020h,041h,0
        ; "V                  - версия ПЗУ"
	DB 056h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,02dh,020h,0d7h,0c5h,0d2h,0d3h,0c9h,0d1h,020h,0f0h,0fah,0f5h,0
        ; "H или ?            - эта справка"
	DB 048h,020h,0c9h,0cch,0c9h,020h,03fh,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,020h,02dh,020h,0dch,0d4h,0c1h,020h,0d3h,0d0h,0d2h,0c1h,0d7h,0cbh,0c1h,0
        DB 0

CORETOP:
        IF CORETOP GT 2000h
        .ERROR "the core does not fit into 8 KB"
        ENDIF
        DS 2000h-$, 0FFh
