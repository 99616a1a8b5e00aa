; Velgard BASIC: the screen's colour graphics and the voice.
;
; The picture has 512 x 256 points in 8 colours (three planes) on each of
; four pages. Drawing runs in configuration 24: ROM 0000h-5FFFh, the system
; page at BF00h and the graphics window of the page chosen in the system
; register at C000h (64 bytes a row, the leftmost point in bit 7). The
; colour register in direct mode gives every point written the colour in
; its bits 3-1, so eight points of one colour cost one write.

GWIN24  EQU 0C000h

; Graphics workspace (RAM below BF00h)
GX0     EQU 6680h       ; line: current point and end (words)
GY0     EQU 6682h
GX1     EQU 6684h
GY1     EQU 6686h
GDX     EQU 6688h
GDY     EQU 668Ah
GSX     EQU 668Ch
GSY     EQU 668Eh
GERR    EQU 6690h
GCR     EQU 6692h       ; colour register value in use
GPAGE   EQU 6693h       ; page drawn on (0-3)
GSHOW   EQU 6694h       ; page shown
GCX     EQU 6696h       ; circle: centre and radius
GCY     EQU 6698h
GRAD    EQU 669Ah
GBOX    EQU 669Ch       ; LINE: 0 line, 1 box, 2 filled box
GFX     EQU 669Eh       ; filled box: left, right
GFX2    EQU 66A0h
BX0     EQU 66A2h       ; box corners
BY0     EQU 66A4h
BX1     EQU 66A6h
BY1     EQU 66A8h

; Sets the colour for drawing: A = 0-7.
SETCOL: AND 7
        ADD A,A
        OR 80h                  ; direct mode
        LD (GCR),A
        RET

; Into configuration 24 with the colour register loaded; interrupts are
; off already (configuration 16).
GRON:   LD A,CFG24
        LD (C16REG),A
        LD A,(GCR)
        LD (C24COL),A
        RET
GROFF:  LD A,CFG16
        LD (C24REG),A
        RET

; PLOT0: the point E = x (0-255), L = y (0-255) in configuration 24; HL is
; left at its byte.
PLOT0:  CALL PLOTAD
        JP PLOTB

BITTAB: DB 80h,40h,20h,10h,08h,04h,02h,01h

; PSET: the point at DE, HL in any place of the 16-bit plane.
PSETP:  LD A,H
        OR A
        RET NZ                  ; y outside 0-255
        LD A,D
        OR A
        JP Z,PLOT0
        CP 1
        RET NZ                  ; x outside 0-511
        LD A,E                  ; x 256-511: byte column 32-63
        PUSH AF
        LD E,0
        CALL PLOTAD
        LD A,L
        ADD A,20h
        LD L,A
        POP AF
        LD E,A
        JP PLOTB
; HL = address of the byte of (E = x 0-255, L = y), A = bit mask
PLOTAD: LD A,L
        RRCA
        RRCA
        LD B,A
        AND 3Fh
        OR 0C0h
        LD H,A
        LD A,B
        AND 0C0h
        LD L,A
        RET
PLOTB:  CALL PLOTM
        LD (HL),A
        RET
; PLOTM: HL = the byte of x = E in the row at HL, A = the point's bit.
PLOTM:  LD A,E
        RRCA
        RRCA
        RRCA
        AND 1Fh
        OR L
        LD L,A
        LD A,E
        AND 7
        LD C,A
        LD B,0
        PUSH HL
        LD HL,BITTAB
        ADD HL,BC
        LD A,(HL)
        POP HL
        RET

; (x, y) -> DE = x, HL = y
GETXY:  CALL EXPECT
        DB '('
        CALL INTEXP
        PUSH HL
        CALL EXPECT
        DB ','
        CALL INTEXP
        PUSH HL
        CALL EXPECT
        DB ')'
        POP HL
        POP DE
        RET

; [, colour] -> the drawing colour (default A)
GETCOL: PUSH AF
        CALL CHRGOT
        CP ','
        JP NZ,GTC1
        CALL CHRGET
        CP ','                  ; an empty place keeps the default
        JP Z,GTC1
        POP AF
        CALL BYTEXP
        PUSH AF
GTC1:   POP AF
        JP SETCOL

; PSET (x, y)[, c] / PRESET (x, y)[, c]
PSETST: LD A,(GCOL)
        JP PST1
PRESETST:
        LD A,(GBACK)
PST1:   PUSH AF
        CALL GETXY
        EX DE,HL
        LD (GX0),HL
        EX DE,HL
        LD (GY0),HL
        POP AF
        CALL GETCOL
        LD HL,(GX0)
        EX DE,HL
        LD HL,(GY0)
        DI
        CALL GRON
        CALL PSETP
        JP GROFF

; LINE [(x1, y1)]-(x2, y2)[, [c][, B[F]]]   and LINE INPUT
GLINE:  CP '-'
        JP Z,GLI1
        CALL GETXY
        EX DE,HL
        LD (GX0),HL
        EX DE,HL
        LD (GY0),HL
GLI1:   CALL EXPECT
        DB '-'
        CALL GETXY
        EX DE,HL
        LD (GX1),HL
        EX DE,HL
        LD (GY1),HL
        LD A,(GCOL)
        CALL GETCOL
        XOR A
        LD (GBOX),A
        CALL CHRGOT
        CP ','
        JP NZ,GLI3
        CALL CHRGET
        CP 'B'
        JP NZ,SNERR
        LD A,1
        LD (GBOX),A
        CALL CHRGET
        CP 'F'
        JP NZ,GLI3
        LD A,2
        LD (GBOX),A
        CALL CHRGET
GLI3:   CALL GRON
        LD A,(GBOX)
        OR A
        JP Z,GLI4
        DEC A
        JP Z,GLI5
        CALL FILLBX
        JP GLI6
GLI5:   CALL BOX
        JP GLI6
GLI4:   CALL DRLINE
GLI6:   CALL GROFF
        LD HL,(GX1)             ; the end is the next start
        LD (GX0),HL
        LD HL,(GY1)
        LD (GY0),HL
        RET

; BOX: the four sides of GX0,GY0 - GX1,GY1.
BOX:    LD HL,(GX0)
        LD (BX0),HL
        LD HL,(GY0)
        LD (BY0),HL
        LD HL,(GX1)
        LD (BX1),HL
        LD HL,(GY1)
        LD (BY1),HL
        LD HL,(BY0)             ; top
        LD (GY1),HL
        CALL DRLINE
        LD HL,(BY1)             ; right
        LD (GY1),HL
        CALL DRLINE
        LD HL,(BX0)             ; bottom
        LD (GX1),HL
        CALL DRLINE
        LD HL,(BY0)             ; left
        LD (GY1),HL
        CALL DRLINE
        LD HL,(BX1)
        LD (GX1),HL
        LD HL,(BY1)
        LD (GY1),HL
        RET

; DRLINE: Bresenham from GX0,GY0 to GX1,GY1 (GX0/GY0 end at the end).
DRLINE: LD HL,(GX0)             ; dx = |x1 - x0|, sx
        EX DE,HL
        LD HL,(GX1)
        CALL SUBHD
        LD DE,1
        LD A,H
        OR A
        JP P,DRL1
        CALL NEGHL
        LD DE,-1
DRL1:   LD (GDX),HL
        EX DE,HL
        LD (GSX),HL
        LD HL,(GY0)             ; dy = -|y1 - y0|, sy
        EX DE,HL
        LD HL,(GY1)
        CALL SUBHD
        LD DE,1
        LD A,H
        OR A
        JP P,DRL2
        CALL NEGHL
        LD DE,-1
DRL2:   CALL NEGHL
        LD (GDY),HL
        EX DE,HL
        LD (GSY),HL
        LD HL,(GDX)             ; err = dx + dy
        EX DE,HL
        LD HL,(GDY)
        ADD HL,DE
        LD (GERR),HL
DRL3:   LD HL,(GX0)
        EX DE,HL
        LD HL,(GY0)
        CALL PSETP
        LD HL,(GX0)             ; at the end?
        EX DE,HL
        LD HL,(GX1)
        CALL CPHD
        JP NZ,DRL4
        LD HL,(GY0)
        EX DE,HL
        LD HL,(GY1)
        CALL CPHD
        RET Z
DRL4:   LD HL,(GERR)            ; e2 = 2 err
        ADD HL,HL
        PUSH HL
        EX DE,HL                ; e2 >= dy: err += dy, x += sx
        LD HL,(GDY)
        CALL SCMP               ; carry if HL (dy) > DE (e2)
        JP C,DRL5
        LD HL,(GERR)
        EX DE,HL
        LD HL,(GDY)
        ADD HL,DE
        LD (GERR),HL
        LD HL,(GX0)
        EX DE,HL
        LD HL,(GSX)
        ADD HL,DE
        LD (GX0),HL
DRL5:   POP DE                  ; e2 <= dx: err += dx, y += sy
        LD HL,(GDX)
        CALL SCMP               ; carry if dx > e2... we want e2 <= dx
        JP C,DRL6
        JP Z,DRL6
        JP DRL3
DRL6:   LD HL,(GERR)
        EX DE,HL
        LD HL,(GDX)
        ADD HL,DE
        LD (GERR),HL
        LD HL,(GY0)
        EX DE,HL
        LD HL,(GSY)
        ADD HL,DE
        LD (GY0),HL
        JP DRL3

; SCMP: signed compare of DE and HL: carry if HL > DE, Z if equal.
SCMP:   LD A,D
        XOR H
        JP M,SCMP1
        LD A,E
        SUB L
        LD A,D
        SBC A,H
        RET C                   ; DE < HL
        LD A,E
        SUB L
        LD C,A
        LD A,D
        SBC A,H
        OR C
        RET                     ; NC; Z if equal
SCMP1:  LD A,D                  ; signs differ: HL > DE when DE is negative
        RLA
        RET

; FILLBX: the filled box between the corners, a row at a time, eight
; points a write where the row allows.
FILLBX: LD HL,(GX0)             ; order the corners
        EX DE,HL
        LD HL,(GX1)
        CALL SCMP
        JP C,FB1
        LD HL,(GX0)
        EX DE,HL
        LD HL,(GX1)
        LD (GX0),HL
        EX DE,HL
        LD (GX1),HL
FB1:    LD HL,(GY0)
        EX DE,HL
        LD HL,(GY1)
        CALL SCMP
        JP C,FB2
        LD HL,(GY0)
        EX DE,HL
        LD HL,(GY1)
        LD (GY0),HL
        EX DE,HL
        LD (GY1),HL
FB2:    ; clip to the page
        LD HL,(GX0)
        CALL CLIPX
        LD (GFX),HL
        LD HL,(GX1)
        CALL CLIPX
        LD (GFX2),HL
        LD HL,(GY0)
FB3:    PUSH HL                 ; each row
        LD A,H
        OR A
        JP NZ,FB4
        LD HL,(GFX)
        EX DE,HL
FB5:    POP HL
        PUSH HL
        PUSH DE
        CALL PSETP
        POP DE
        LD HL,(GFX2)
        CALL CPHD
        JP Z,FB4
        INC DE
        LD A,E                  ; whole bytes at once
        AND 7
        JP NZ,FB5
        PUSH DE
        LD HL,7
        ADD HL,DE
        EX DE,HL
        LD HL,(GFX2)
        CALL CPHD               ; x + 7 <= right?
        POP DE
        JP C,FB5
        POP HL
        PUSH HL
        PUSH DE
        CALL PSETP              ; (sets one point and leaves HL at the byte)
        LD (HL),0FFh
        POP DE
        LD HL,7
        ADD HL,DE
        EX DE,HL
        LD HL,(GFX2)
        CALL CPHD
        JP Z,FB4
        INC DE
        JP FB5
FB4:    POP HL
        EX DE,HL
        LD HL,(GY1)
        CALL CPHD
        RET Z
        EX DE,HL
        INC HL
        JP FB3

; HL limited to 0-511
CLIPX:  LD A,H
        OR A
        JP P,CLX1
        LD HL,0
        RET
CLX1:   CP 2
        RET C
        LD HL,511
        RET

; CIRCLE (x, y), r[, c]: a circle, round on the screen (its points are
; half again as tall as they are wide: y radius = r x 2/3).
CIRCST: CALL GETXY
        EX DE,HL
        LD (GCX),HL
        EX DE,HL
        LD (GCY),HL
        CALL EXPECT
        DB ','
        CALL INTEXP
        LD A,H
        OR A
        JP M,FCERR
        LD (GRAD),HL
        LD A,(GCOL)
        CALL GETCOL
        CALL SKIPST             ; start, end and aspect are not taken
        CALL GRON
        LD HL,0                 ; x = 0, y = r, d = 1 - r
        LD (GX0),HL
        LD HL,(GRAD)
        LD (GY0),HL
        EX DE,HL
        LD HL,1
        CALL SUBHD
        LD (GERR),HL
CIR1:   CALL CIR8
        LD HL,(GERR)
        LD A,H
        OR A
        JP M,CIR3
        LD HL,(GY0)             ; d >= 0: d += 2(x - y) + 5, y -= 1
        EX DE,HL
        DEC DE
        LD HL,(GX0)
        CALL SUBHD              ; x - (y - 1)
        DEC HL                  ; x - y
        EX DE,HL
        LD (GY0),HL
        EX DE,HL
        ADD HL,HL
        LD DE,5
        ADD HL,DE
        JP CIR4
CIR3:   LD HL,(GX0)             ; d < 0: d += 2x + 3
        ADD HL,HL
        LD DE,3
        ADD HL,DE
CIR4:   EX DE,HL
        LD HL,(GERR)
        ADD HL,DE
        LD (GERR),HL
        LD HL,(GX0)
        INC HL
        LD (GX0),HL
        EX DE,HL                ; on while x < y; once more at x = y
        LD HL,(GY0)
        CALL SCMP
        JP C,CIR1
        CALL Z,CIR8
        JP GROFF

; The eight points of (GX0, GY0) around the centre; y scaled by 2/3.
CIR8:   LD HL,(GX0)
        LD (GDX),HL
        LD HL,(GY0)
        LD (GDY),HL
        CALL CIR4P
        LD HL,(GX0)
        LD (GDY),HL
        LD HL,(GY0)
        LD (GDX),HL
; The four points (+-GDX, +-GDY x 2/3)
CIR4P:  LD HL,(GDY)
        ADD HL,HL
        EX DE,HL
        LD HL,3
        EX DE,HL
        CALL UDIV16             ; HL = 2 dy / 3
        LD (GSY),HL
        LD HL,(GDX)
        CALL CIRPT
        CALL NEGHL
        CALL CIRPT
        LD HL,(GSY)
        CALL NEGHL
        LD (GSY),HL
        LD HL,(GDX)
        CALL CIRPT
        CALL NEGHL
; The point centre + (HL, GSY); HL kept.
CIRPT:  PUSH HL
        EX DE,HL
        LD HL,(GCX)
        ADD HL,DE
        PUSH HL
        LD HL,(GSY)
        EX DE,HL
        LD HL,(GCY)
        ADD HL,DE
        POP DE
        CALL PSETP
        POP HL
        RET

; POINT(x, y): the colour of the point, -1 off the page.
FPOINT: CALL GETXY
        LD A,H
        OR A
        JP NZ,FPNT9
        LD A,D
        CP 2
        JP NC,FPNT9
        PUSH DE
        PUSH HL
        LD A,80h
        LD (GCR),A
        CALL GRON
        POP HL
        POP DE
        LD A,D                  ; the byte and mask of the point
        OR A
        PUSH AF
        LD A,E
        LD (GFX),A
        CALL PLOTAD
        POP AF
        JP Z,FPNT1
        LD A,L
        ADD A,20h
        LD L,A
FPNT1:  LD A,(GFX)
        LD E,A
        CALL PLOTM
        LD C,A                  ; mask
        LD B,0                  ; try the colours: equal reads 0
FPNT2:  LD A,B
        RLCA
        RLCA
        RLCA
        RLCA
        OR 80h
        LD (C24COL),A
        LD A,(HL)
        AND C
        JP Z,FPNT3
        INC B
        LD A,B
        CP 8
        JP NZ,FPNT2
FPNT3:  CALL GROFF
        LD A,B
        JP FLTA
FPNT9:  LD HL,-1
        JP FLT16

; COLOR [text/foreground][, background]: the colour for drawing and for
; text (0-15, through the palette registers 8-15 of the text), the
; background (palette register 0).
COLORST:
        CP ','
        JP Z,COL1
        CALL BYTEXP
        CP 16
        JP NC,FCERR
        LD (TXTCOL),A
        AND 7
        LD (GCOL),A
        LD A,(TXTCOL)           ; text: palette 8-15
        RLCA
        RLCA
        RLCA
        RLCA
        OR 8
        LD B,8
COL0:   LD (C16PAL),A
        INC A
        DEC B
        JP NZ,COL0
        CALL CHRGOT
        CP ','
        RET NZ
COL1:   CALL CHRGET
        CALL BYTEXP
        CP 16
        JP NC,FCERR
        LD (GBACK),A
        RLCA
        RLCA
        RLCA
        RLCA
        LD (C16PAL),A           ; palette register 0
        RET

; PALETTE n, c: palette register n (0-15) shows colour c (0-15).
PALST:  CALL BYTEXP
        CP 16
        JP NC,FCERR
        PUSH AF
        CALL EXPECT
        DB ','
        CALL BYTEXP
        CP 16
        JP NC,FCERR
        RLCA
        RLCA
        RLCA
        RLCA
        POP BC
        OR B
        LD (C16PAL),A
        RET

; SCREEN [width][, page]: width 0 = 64 columns, 1 = 32 columns (clears
; the text); the graphics page shown and drawn on (0-3).
SCRNST: CP ','
        JP Z,SCR1
        CALL BYTEXP
        CP 2
        JP NC,FCERR
        OR A
        LD A,0Fh
        JP Z,SCR0
        LD A,0Eh
SCR0:   CALL OUTC
        CALL CHRGOT
        CP ','
        RET NZ
SCR1:   CALL CHRGET
        CALL BYTEXP
        CP 4
        JP NC,FCERR
        LD (GPAGE),A
        LD B,A
        RRCA                    ; bits 7-6: the page reached, 1-0: shown
        RRCA
        OR B
        LD B,A
        CALL XCALL
        DW SETPG
        RET

; In configuration 0: the page bits of the system register and of the
; firmware's copy of it (B = bits 7-6 and 1-0).
SETPG:  LD A,(SYSSH)
        AND 3Ch
        OR B
        LD (SYSSH),A
        LD (SYSREG),A
        RET

; CLS: the text and the drawn graphics page cleared to the background.
CLSST:  LD A,0Ch
        CALL OUTC
        LD A,(GBACK)
        CALL SETCOL
        CALL GRON
        LD HL,GWIN24
        LD A,0FFh
GCLS1:   LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        LD (HL),A
        INC L
        JP NZ,GCLS1
        INC H
        JP NZ,GCLS1
        JP GROFF

; SOUND frequency, duration: a tone through timer channel 0, the
; firmware's beep path; duration in 1/18.2 s (as on the IBM PC, so that
; published programs keep their rhythm). Frequencies 37-32767 Hz.
SOUNDST:
        CALL INTEXP
        PUSH HL
        CALL EXPECT
        DB ','
        CALL INTEXP
        LD A,H
        OR A
        JP M,FCERR
        LD (GRAD),HL            ; duration
        POP DE                  ; frequency
        LD A,D
        OR A
        JP M,FCERR
        LD HL,36
        CALL CPHD
        JP NC,FCERR             ; below 37 Hz
        ; count = 2000000 / f: 32-bit by 16-bit, done as (2000000 / 16) / (f / 16)
        ; with enough precision: 125000 / (f/16) ... take 2000000 / f by
        ; subtraction of f x 2^k
        PUSH DE
        LD HL,8480h             ; 2000000 = 1E8480h
        LD (ACC32),HL
        LD HL,001Eh
        LD (ACC32+2),HL
        CALL DIV32              ; HL = ACC32 / DE
        POP DE
        LD A,36h                ; channel 0, both bytes, mode 3
        LD (C16TMCW),A
        LD A,L
        LD (C16TMR0),A
        LD A,H
        LD (C16TMR0),A
        LD A,07h                ; the speaker on
        LD (C16SND),A
        LD HL,(GRAD)            ; 137362 cycles a tick: 6 x 22894
SND1:   LD A,H
        OR L
        JP Z,SND3
        LD B,6
SND2:   LD DE,995               ; 23 cycles a turn
SND2A:  DEC DE
        LD A,D
        OR E
        JP NZ,SND2A
        LD A,(C16STOP)
        AND 04h
        JP NZ,SND3
        DEC B
        JP NZ,SND2
        DEC HL
        JP SND1
SND3:   LD A,06h
        LD (C16SND),A
        RET

; DIV32: HL = ACC32 / DE (quotient below 65536).
DIV32:  LD B,32
        LD HL,0                 ; remainder
DV1:    PUSH HL                 ; ACC32 <<= 1, bit into the remainder
        LD HL,ACC32
        OR A
        LD C,4
DV2:    LD A,(HL)
        RLA
        LD (HL),A
        INC HL
        DEC C
        JP NZ,DV2
        POP HL
        LD A,L
        RLA
        LD L,A
        LD A,H
        RLA
        LD H,A
        LD A,L
        SUB E
        LD C,A
        LD A,H
        SBC A,D
        JP C,DV3
        LD H,A
        LD L,C
        LD A,(ACC32)
        OR 1
        LD (ACC32),A
DV3:    DEC B
        JP NZ,DV1
        LD HL,(ACC32)
        RET
