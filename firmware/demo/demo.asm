; Velgard demo disk: the boot program.
;
; Booted by the firmware's disk loader (see docs/boot-contract.md): it runs
; from 1000h in configuration 7 (RAM 0000h-F7FFh, devices at F800h-FFFFh)
; with interrupts disabled. It shows, in a loop:
;   1. graphics in all eight colours, the whole character set of font
;      bank 0 in 64 columns, and a tune on timer channel 0;
;   2. the 256 mosaic glyphs of font bank 1;
;   3. large text in 32-column mode;
;   4. a palette effect over the colour bars.
; 8080 code (pasmo's 8080 check), no interrupts, timing by delay loops.

; ---- Configuration 7 ------------------------------------------------------
CFG7    EQU 0FA7Fh      ; configuration register
COLREG7 EQU 0FABFh
PALREG  EQU 0FAFBh      ; palette register
TMR0    EQU 0FB00h
TMRCW   EQU 0FB03h
PICDAT  EQU 0FB29h
SNDCTL  EQU 0FB33h      ; bit control of I/O 32h, bit 3 = sound on
SYSREG  EQU 0FB3Ah
TEXT    EQU 0FC00h
; ---- Configuration 15: graphics window at 4000h-7FFFh ---------------------
CFG15   EQU 0FF7Fh
COLREG  EQU 0FFBFh
GWIN    EQU 4000h

C7      EQU 1Ch         ; configuration register values
C15     EQU 3Ch
SYS64   EQU 20h         ; 64 columns, bank 0, page 0, normal characters
SYSBANK EQU 04h         ; font bank 1
SYS32   EQU 08h         ; 32 columns

        ORG 1000h
; The disk header: load address, start address, sectors (set when the
; disk is built); the rest is the disk's own header, kept by the builder.
HEADER: DW HEADER
        DW ENTRY
        DW 0
        DS 32-($-HEADER), 0

ENTRY:  DI
        LD SP,1000h
        LD A,0FFh               ; no interrupts wanted
        LD (PICDAT),A
        CALL SOUNDOFF
        CALL PALRESET
        CALL GRAPHICS

LOOP:   ; ---- 1: colours, bank 0, the tune
        LD A,SYS64
        CALL SCREEN
        LD HL,TTITLE
        LD DE,TEXT
        CALL PUTS
        LD DE,TEXT+6*64+3       ; the number under every colour bar
        LD A,'0'
DIGITS: LD (DE),A
        LD HL,8
        ADD HL,DE
        EX DE,HL
        INC A
        CP '8'
        JP C,DIGITS
        LD HL,TCOLORS
        LD DE,TEXT+7*64
        CALL PUTS
        LD HL,TFONT0
        LD DE,TEXT+8*64
        CALL PUTS
        LD DE,TEXT+9*64         ; codes 20h-FFh
        LD A,20h
CHARS:  LD (DE),A
        INC DE
        INC A
        JP NZ,CHARS
        LD HL,TTUNE
        LD DE,TEXT+13*64
        CALL PUTS
        CALL TUNE
        LD BC,300
        CALL DELAY

        ; ---- 2: font bank 1, the mosaic set
        LD A,SYS64 OR SYSBANK
        CALL SCREEN
        LD DE,TEXT+2*64
        XOR A
MOSAIC: LD (DE),A
        INC DE
        INC A
        JP NZ,MOSAIC
        LD BC,400
        CALL DELAY

        ; ---- 3: 32 columns
        LD A,SYS64 OR SYS32
        CALL SCREEN
        LD HL,T32
        LD DE,TEXT+2*64+2*8
        CALL PUTS32
        LD HL,TKORVET
        LD DE,TEXT+5*64+2*9
        CALL PUTS32
        LD HL,TBIG
        LD DE,TEXT+9*64+2*2
        CALL PUTS32
        LD BC,400
        CALL DELAY

        ; ---- 4: the palette turns the colours of the bars
        LD A,SYS64
        CALL SCREEN
        LD HL,TPAL
        LD DE,TEXT+7*64
        CALL PUTS
        LD C,0                  ; step
PALSTEP:
        LD B,1                  ; register 1-7 gets colour (r - 1 + step) mod 7 + 1
PALREG1:
        LD A,B
        DEC A
        ADD A,C
PALMOD: CP 7
        JP C,PALM1
        SUB 7
        JP PALMOD
PALM1:  INC A
        RLCA
        RLCA
        RLCA
        RLCA
        OR B
        LD (PALREG),A
        INC B
        LD A,B
        CP 8
        JP C,PALREG1
        PUSH BC
        LD BC,12
        CALL DELAY
        POP BC
        INC C
        LD A,C
        CP 35
        JP C,PALSTEP
        CALL PALRESET
        JP LOOP

; Sets the system register to A and blanks the text (with a space in
; bank 0, with the empty mosaic glyph 0 in bank 1).
SCREEN: LD (SYSREG),A
        AND SYSBANK
        LD B,' '
        JP Z,SCR0
        LD B,0
SCR0:   LD HL,TEXT
SCR1:   LD (HL),B
        INC HL
        LD A,H
        OR L
        JP NZ,SCR1
        RET

; Copies the 0-terminated text at HL to character memory at DE.
PUTS:   LD A,(HL)
        OR A
        RET Z
        LD (DE),A
        INC HL
        INC DE
        JP PUTS

; The same for 32 columns: only every other cell is shown.
PUTS32: LD A,(HL)
        OR A
        RET Z
        LD (DE),A
        INC HL
        INC DE
        INC DE
        JP PUTS32

; Palette registers 0-7 = colours 0-7, 8-15 = white (text).
PALRESET:
        LD B,0
PALR1:  LD A,B
        CP 8
        JP C,PALR2
        LD A,0Fh
PALR2:  RLCA
        RLCA
        RLCA
        RLCA
        OR B
        LD (PALREG),A
        INC B
        LD A,B
        CP 16
        JP C,PALR1
        RET

; ---- Graphics through the window of configuration 15 ----------------------
GRAPHICS:
        LD A,C15
        LD (CFG7),A
        LD A,80h                ; direct mode, colour 0: clear everything
        LD (COLREG),A
        LD HL,GWIN
        LD A,0FFh
GCLR:   LD (HL),A
        INC HL
        LD B,A
        LD A,H
        CP 80h
        LD A,B
        JP C,GCLR
        ; eight colour bars of 64 pixels on pixel rows 16-95
        LD C,0                  ; colour
GBAR:   LD A,C
        ADD A,A
        OR 80h
        LD (COLREG),A
        LD A,C                  ; HL = window + 16 x 64 + 8 x colour
        ADD A,A
        ADD A,A
        ADD A,A
        LD L,A
        LD H,(GWIN+16*64) SHR 8
        LD D,80                 ; rows
GBAR1:  PUSH HL
        LD B,8
        LD A,0FFh
GBAR2:  LD (HL),A
        INC HL
        DEC B
        JP NZ,GBAR2
        POP HL
        LD A,L
        ADD A,64
        LD L,A
        JP NC,GBAR3
        INC H
GBAR3:  DEC D
        JP NZ,GBAR1
        INC C
        LD A,C
        CP 8
        JP C,GBAR
        ; a chequered band on pixel rows 224-255: 8 x 8 squares
        LD HL,GWIN+224*64
        LD D,224                ; row
GCHK:   LD E,0                  ; byte column
GCHK1:  LD A,D
        RRCA
        RRCA
        RRCA
        ADD A,E
        AND 07h
        ADD A,A
        OR 80h
        LD (COLREG),A
        LD (HL),0FFh
        INC HL
        INC E
        LD A,E
        CP 64
        JP C,GCHK1
        INC D
        JP NZ,GCHK
        LD A,C7
        LD (CFG15),A
        RET

; ---- Sound ----------------------------------------------------------------
SOUNDOFF:
        LD A,06h
        LD (SNDCTL),A
        RET

; Plays NOTES: divisor of the 2 MHz timer clock and length in 10 ms units,
; ended by a 0 divisor.
TUNE:   LD HL,NOTES
TUNE1:  LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        LD A,D
        OR E
        JP Z,SOUNDOFF
        LD A,36h                ; channel 0, both bytes, mode 3
        LD (TMRCW),A
        LD A,E
        LD (TMR0),A
        LD A,D
        LD (TMR0),A
        LD A,07h                ; sound on
        LD (SNDCTL),A
        LD C,(HL)
        INC HL
        LD B,0
        PUSH HL
        CALL DELAY
        CALL SOUNDOFF
        LD BC,3                 ; a short gap between notes
        CALL DELAY
        POP HL
        JP TUNE1

; Waits BC x 10 ms (25,000 processor cycles each).
DELAY:  LD A,B
        OR C
        RET Z
        PUSH BC
        LD BC,1086
DEL1:   DEC BC
        LD A,B
        OR C
        JP NZ,DEL1
        POP BC
        DEC BC
        JP DELAY

NOTES:  DW 7645             ; C
        DB 20
        DW 6067             ; E
        DB 20
        DW 5102             ; G
        DB 20
        DW 3822             ; C
        DB 40
        DW 5102             ; G
        DB 20
        DW 6067             ; E
        DB 20
        DW 7645             ; C
        DB 40
        DW 0

; ---- Texts in the machine's character codes -------------------------------
TTITLE:    ; "Velgard: демонстрационный диск Корвета"
        DB 056h,065h,06ch,067h,061h,072h,064h,03ah,020h,0c4h,0c5h,0cdh,0cfh,0ceh,0d3h,0d4h,0d2h,0c1h,0c3h,0c9h,0cfh,0ceh,0ceh,0d9h,0cah,020h,0c4h,0c9h,0d3h,0cbh,020h,0ebh,0cfh,0d2h,0d7h,0c5h,0d4h,0c1h,0
TCOLORS:    ; "Восемь цветов графики (0-7)"
        DB 0f7h,0cfh,0d3h,0c5h,0cdh,0d8h,020h,0c3h,0d7h,0c5h,0d4h,0cfh,0d7h,020h,0c7h,0d2h,0c1h,0c6h,0c9h,0cbh,0c9h,020h,028h,030h,02dh,037h,029h,0
TFONT0:    ; "Шрифт, банк 0, 64 столбца:"
        DB 0fbh,0d2h,0c9h,0c6h,0d4h,02ch,020h,0c2h,0c1h,0ceh,0cbh,020h,030h,02ch,020h,036h,034h,020h,0d3h,0d4h,0cfh,0cch,0c2h,0c3h,0c1h,03ah,0
TTUNE:    ; "Мелодия на канале 0 таймера"
        DB 0edh,0c5h,0cch,0cfh,0c4h,0c9h,0d1h,020h,0ceh,0c1h,020h,0cbh,0c1h,0ceh,0c1h,0cch,0c5h,020h,030h,020h,0d4h,0c1h,0cah,0cdh,0c5h,0d2h,0c1h,0
T32:    ; "32 СТОЛБЦА"
        DB 033h,032h,020h,0f3h,0f4h,0efh,0ech,0e2h,0e3h,0e1h,0
TKORVET:    ; "КОРВЕТ ПК8020"
        DB 0ebh,0efh,0f2h,0f7h,0e5h,0f4h,020h,0f0h,0ebh,038h,030h,032h,030h,0
TBIG:    ; "Банк 0 в 32 столбцах: КРУПНО"
        DB 0e2h,0c1h,0ceh,0cbh,020h,030h,020h,0d7h,020h,033h,032h,020h,0d3h,0d4h,0cfh,0cch,0c2h,0c3h,0c1h,0c8h,03ah,020h,0ebh,0f2h,0f5h,0f0h,0eeh,0efh,0
TPAL:    ; "Палитра меняет цвета"
        DB 0f0h,0c1h,0cch,0c9h,0d4h,0d2h,0c1h,020h,0cdh,0c5h,0ceh,0d1h,0c5h,0d4h,020h,0c3h,0d7h,0c5h,0d4h,0c1h,0
        END
