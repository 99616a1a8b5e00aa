; Velgard disk loader, part of the core (included by core.asm).
;
; It runs from the ROM, so that a program may be loaded anywhere in
; 0001h-F7FFh: everything below the device pages of configuration 7.
;   1. In configuration 0, track 0, side 0, sector 1 of drive A is read
;      into the workspace (HDRBUF) and its header checked: 133 mm, two
;      sides, 1024-byte sectors, 5 a track, at least 80 tracks; a load
;      address other than 0; 1 to 61 sectors; the program ending at or
;      below F800h.
;   2. Header word 4 sectors are read from track 0, side 0, sector 1 on
;      (sectors 1-5, then side 1, then the next track) to header word 0.
;      Each sector is set up in configuration 0 and its bytes are taken
;      in configuration 4: the ROM stays at 0000h-1FFFh, where this code
;      lies, the devices are at F800h-FFFFh, and writes to 0000h-1FFFh
;      land in the RAM beneath the ROM. No stack is used while in
;      configuration 4 (the stack lies in the workspace, which that
;      configuration covers with the device pages).
;   3. SP = F800h, then configuration 4 and a jump to a four-byte
;      trampoline at TRAMP, RAM beneath the system page (an offset that
;      is no register), which configurations 4 and 7 both show at FA00h:
;      it selects configuration 7 and jumps to header word 2 (in HL).
; A sector that fails is tried again after a Restore and a short pause,
; TRYMAX times in all. Failures come back to BOOTERR in configuration 0
; with the reason in A: 2 read error, 3 not a bootable disk, 4 the
; program does not fit below F800h.

HDRBUF  EQU 0FB00h      ; the first sector, in configuration 0 (1024 bytes)
TRAMP   EQU 0FA00h      ; the trampoline, RAM beneath the system page
CFG4    EQU 10h         ; configuration register values
CFG7    EQU 1Ch
FDCTRK  EQU 3B19h       ; floppy controller, configuration 0
FDCSEC  EQU 3B1Ah
FDCDAT  EQU 3B1Bh
CFGREG4 EQU 0FA7Fh      ; configuration register in configuration 4
FDCST4  EQU 0FB18h      ; floppy controller status in configuration 4
FDCDAT4 EQU 0FB1Bh
MAXSEC  EQU 61          ; 61 x 1024 bytes from 0400h on reach F7FFh
LIMIT   EQU 0F8h        ; the program must end at or below F800h
TRYMAX  EQU 4           ; attempts for a sector

; Entered from BOOTGO with interrupts disabled, every line masked, the
; sound off and the cursor hidden; drive A has been found ready.
LOADER: LD HL,TRAMP             ; LD (FA7Fh),A / JP (HL)
        LD (HL),32h
        INC HL
        LD (HL),7Fh
        INC HL
        LD (HL),0FAh
        INC HL
        LD (HL),0E9h
        XOR A                   ; Restore: head to track 0
        LD (FDCCMD),A
        CALL WAITNB
        ; the header
        LD HL,HDRBUF
        LD DE,0                 ; track 0, side 0
        LD C,1
        XOR A                   ; into memory of configuration 0
        CALL RDSEC
        LD A,2
        JP C,BOOTERR
        LD A,(HDRBUF+6)         ; 133 mm
        OR A
        JP NZ,LDNOBT
        LD A,(HDRBUF+10)        ; 1024-byte sectors
        CP 3
        JP NZ,LDNOBT
        LD A,(HDRBUF+11)        ; two sides
        CP 1
        JP NZ,LDNOBT
        LD HL,(HDRBUF+12)       ; 5 sectors a track
        LD A,H
        OR A
        JP NZ,LDNOBT
        LD A,L
        CP 5
        JP NZ,LDNOBT
        LD HL,(HDRBUF+14)       ; at least 80 tracks
        LD A,H
        OR A
        JP NZ,LDHDR1
        LD A,L
        CP 80
        JP C,LDNOBT
LDHDR1: LD HL,(HDRBUF)          ; load address 0: not a system disk
        LD A,H
        OR L
        JP Z,LDNOBT
        LD HL,(HDRBUF+4)        ; sectors to load: 1..61
        LD A,L
        OR H
        JP Z,LDNOBT             ; 0: not a system disk
        LD A,H
        OR A
        JP NZ,LDNOFIT
        LD A,L
        CP MAXSEC+1
        JP NC,LDNOFIT
        LD (LDCNT),A
        ADD A,A                 ; end = load + count x 1024 <= F800h
        ADD A,A
        LD B,A
        LD HL,(HDRBUF)
        LD A,L
        OR A
        LD A,H
        JP Z,LDHDR2
        INC A                   ; a partly used page counts whole
        JP Z,LDNOFIT
LDHDR2: ADD A,B
        JP C,LDNOFIT
        CP LIMIT+1
        JP NC,LDNOFIT
        ; the program, to HL
        LD DE,0                 ; D = track, E = side
        LD C,1                  ; sector
LDLOOP: LD A,1                  ; into memory of configuration 4
        CALL RDSEC
        LD A,2
        JP C,BOOTERR
        LD A,(LDCNT)
        DEC A
        LD (LDCNT),A
        JP Z,LDRUN
        INC C                   ; next sector, side, track
        LD A,C
        CP 6
        JP C,LDLOOP
        LD C,1
        INC E
        LD A,E
        CP 2
        JP C,LDLOOP
        LD E,0
        INC D
        JP LDLOOP
LDRUN:  LD HL,(HDRBUF+2)
        LD SP,0F800h
        LD A,CFG4               ; this code stays in view
        LD (CFGREG),A
        LD A,CFG7
        JP TRAMP
LDNOBT: LD A,3
        JP BOOTERR
LDNOFIT:
        LD A,4
        JP BOOTERR

; Reads sector C of track D, side E of drive A to HL, trying up to TRYMAX
; times. A = 0: HL is memory of configuration 0; else of configuration 4.
; Carry set when every attempt failed. On success HL ends after the 1024
; bytes. C and DE are kept.
RDSEC:  LD B,A
        LD A,TRYMAX
        LD (TRIES),A
RDS1:   PUSH HL
        PUSH BC
        PUSH DE
        CALL RDTRY
        POP DE
        POP BC
        JP NC,RDS2
        POP HL                  ; the sector's start again
        LD A,(TRIES)
        DEC A
        LD (TRIES),A
        SCF
        RET Z
        PUSH BC                 ; Restore, a pause, and again
        LD A,01h
        LD (DRVCTL),A
        XOR A
        LD (FDCCMD),A
        CALL WAITNB
        LD BC,6000              ; 24 cycles a turn: about 58 ms
RDS3:   DEC BC
        LD A,B
        OR C
        JP NZ,RDS3
        POP BC
        JP RDS1
RDS2:   INC SP                  ; drop the sector's start (carry stays clear)
        INC SP
        RET

; One attempt of RDSEC, with B = the configuration flag. Changes A, BC,
; DE; carry set on a failure.
RDTRY:  LD A,E                  ; drive A and the side
        RLCA
        RLCA
        RLCA
        RLCA
        OR 01h
        LD (DRVCTL),A
        LD A,(FDCCMD)
        AND 80h
        JP NZ,RDFAIL
        LD A,D                  ; Seek
        LD (FDCDAT),A
        LD A,10h
        LD (FDCCMD),A
        CALL WAITNB
        AND 90h                 ; not ready or seek error
        JP NZ,RDFAIL
        LD A,(FDCTRK)
        CP D
        JP NZ,RDFAIL
        LD A,C
        LD (FDCSEC),A
        LD A,(FDCCMD)
        AND 90h
        JP NZ,RDFAIL
        LD A,80h                ; Read Sector
        LD (FDCCMD),A
        LD A,B
        LD BC,1024              ; bytes to take
        LD DE,0                 ; patience while BUSY without DRQ
        OR A
        JP NZ,RDT4
        ; configuration 0
RDT0:   LD A,(FDCCMD)
        RRCA                    ; BUSY
        JP NC,RDT0E
        RRCA                    ; DRQ
        JP NC,RDT0W
        LD A,(FDCDAT)
        LD (HL),A
        INC HL
        DEC BC
        LD A,B
        OR C
        JP NZ,RDT0
        JP RDT0E
RDT0W:  DEC DE
        LD A,D
        OR E
        JP NZ,RDT0
RDT0E:  LD A,(FDCCMD)
        LD E,A
        JP RDTEND
        ; configuration 4: no stack and no workspace until it is left
RDT4:   LD A,CFG4
        LD (CFGREG),A
RDT4L:  LD A,(FDCST4)
        RRCA                    ; BUSY
        JP NC,RDT4E
        RRCA                    ; DRQ
        JP NC,RDT4W
        LD A,(FDCDAT4)
        LD (HL),A
        INC HL
        DEC BC
        LD A,B
        OR C
        JP NZ,RDT4L
        JP RDT4E
RDT4W:  DEC DE
        LD A,D
        OR E
        JP NZ,RDT4L
RDT4E:  LD A,(FDCST4)
        LD E,A
        LD A,CFG0
        LD (CFGREG4),A
        ; every byte taken, and the command over without an error
RDTEND: LD A,B
        OR C
        JP NZ,RDFAIL
        LD A,E
        AND 9Fh                 ; not ready, not found, CRC, lost, DRQ, BUSY
        JP NZ,RDFAIL
        RET                     ; carry clear
RDFAIL: SCF
        RET

; Reads the status until BUSY has dropped (at most 256 times); A = status.
WAITNB: PUSH BC
        LD B,0
WAITN1: LD A,(FDCCMD)
        LD C,A
        AND 01h
        JP Z,WAITN2
        DEC B
        JP NZ,WAITN1
WAITN2: LD A,C
        POP BC
        RET
