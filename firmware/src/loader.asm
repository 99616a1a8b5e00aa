; Velgard disk loader. The firmware copies this code to F000h and jumps to
; it with interrupts disabled and every interrupt line masked. It switches
; to configuration 7 (RAM 0000h-F7FFh, devices at F800h-FFFFh), so the
; program may be loaded anywhere in 0000h-EFFFh, then:
;   1. reads track 0, side 0, sector 1 of drive A to F400h and checks the
;      disk header (133 mm, two sides, 1024-byte sectors, 5 a track, at
;      least 80 tracks);
;   2. loads header word 4 sectors from track 0, side 0, sector 1 on
;      (sectors 1-5, then side 1, then the next track) to header word 0;
;   3. jumps to header word 2 with SP = F800h, still in configuration 7.
; On failure it switches back to configuration 0 and jumps to the
; firmware's BOOTERR entry with the reason in A (1 not ready, 2 read error,
; 3 not a bootable disk, 4 the program does not fit below F000h).

        ORG 0F000h

CFGROM  EQU 3A7Fh       ; configuration register in configuration 0
CFGRAM  EQU 0FA7Fh      ; the same register in configuration 7
FDCST   EQU 0FB18h      ; command / status
FDCTRK  EQU 0FB19h
FDCSEC  EQU 0FB1Ah
FDCDAT  EQU 0FB1Bh
DRVCTL  EQU 0FB39h
BOOTERR EQU 0072h       ; firmware entry, in configuration 0
BUFFER  EQU 0F400h      ; the header sector
LIMIT   EQU 0F0h        ; the program must end at or below F000h
MAXSEC  EQU 60          ; 60 x 1024 bytes = F000h

LOADER: LD SP,BUFFER
        LD A,1Ch                ; configuration 7
        LD (CFGROM),A
        LD A,01h                ; drive A, side 0
        LD (DRVCTL),A
        LD A,(FDCST)
        AND 80h
        JP NZ,ERRRDY
        XOR A                   ; Restore: head to track 0
        LD (FDCST),A
        CALL WAITNB
        ; the header
        LD HL,BUFFER
        LD D,0
        LD E,0
        LD C,1
        CALL RDSEC
        JP C,ERRRD
        LD A,(BUFFER+6)         ; 133 mm
        OR A
        JP NZ,ERRBOOT
        LD A,(BUFFER+10)        ; 1024-byte sectors
        CP 3
        JP NZ,ERRBOOT
        LD A,(BUFFER+11)        ; two sides
        CP 1
        JP NZ,ERRBOOT
        LD HL,(BUFFER+12)       ; 5 sectors a track
        LD A,H
        OR A
        JP NZ,ERRBOOT
        LD A,L
        CP 5
        JP NZ,ERRBOOT
        LD HL,(BUFFER+14)       ; at least 80 tracks
        LD A,H
        OR A
        JP NZ,HDROK
        LD A,L
        CP 80
        JP C,ERRBOOT
HDROK:  LD HL,(BUFFER+4)        ; sectors to load: 1..60
        LD A,H
        OR A
        JP NZ,ERRFIT
        LD A,L
        OR A
        JP Z,ERRBOOT
        CP MAXSEC+1
        JP NC,ERRFIT
        LD (COUNT),A
        ADD A,A                 ; end = load + count x 1024 <= F000h
        ADD A,A
        LD B,A
        LD HL,(BUFFER)
        LD (DEST),HL
        LD A,L
        OR A
        LD A,H
        JP Z,HDR2
        INC A                   ; a partly used page counts whole
        JP Z,ERRFIT
HDR2:   ADD A,B
        JP C,ERRFIT
        CP LIMIT+1
        JP NC,ERRFIT
        LD HL,(BUFFER+2)
        LD (START),HL
        ; the program
        LD D,0                  ; track
        LD E,0                  ; side
        LD C,1                  ; sector
LOADLP: LD HL,(DEST)
        PUSH BC
        PUSH DE
        CALL RDSEC
        POP DE
        POP BC
        JP C,ERRRD
        LD (DEST),HL
        LD A,(COUNT)
        DEC A
        LD (COUNT),A
        JP Z,RUN
        INC C                   ; next sector, side, track
        LD A,C
        CP 6
        JP C,LOADLP
        LD C,1
        INC E
        LD A,E
        CP 2
        JP C,LOADLP
        LD E,0
        INC D
        LD A,D
        CP 80
        JP C,LOADLP
        JP ERRRD
RUN:    LD SP,0F800h
        LD HL,(START)
        JP (HL)

; Reads sector C of track D, side E of drive A to HL. Carry set on an
; error; HL ends after the 1024 bytes.
RDSEC:  LD A,E
        RLCA
        RLCA
        RLCA
        RLCA
        OR 01h
        LD (DRVCTL),A
        LD A,(FDCST)
        AND 80h
        JP NZ,RDFAIL
        LD A,D                  ; Seek
        LD (FDCDAT),A
        LD A,10h
        LD (FDCST),A
        CALL WAITNB
        AND 90h                 ; not ready or seek error
        JP NZ,RDFAIL
        LD A,(FDCTRK)
        CP D
        JP NZ,RDFAIL
        LD A,C
        LD (FDCSEC),A
        LD A,(FDCST)
        AND 90h
        JP NZ,RDFAIL
        LD A,80h                ; Read Sector
        LD (FDCST),A
        LD BC,1024
        LD E,0                  ; patience while neither DRQ nor the end
RDLP:   LD A,(FDCST)
        LD D,A
        AND 80h
        JP NZ,RDFAIL
        LD A,D
        AND 02h
        JP Z,RDNODRQ
        LD A,(FDCDAT)
        LD (HL),A
        INC HL
        DEC BC
        LD A,B
        OR C
        JP NZ,RDLP
        LD A,(FDCST)            ; the whole sector: the command must be over
        AND 81h
        JP NZ,RDFAIL
        OR A
        RET
RDNODRQ:
        LD A,D
        AND 01h
        JP Z,RDFAIL             ; ended before 1024 bytes
        DEC E
        JP NZ,RDLP
RDFAIL: SCF
        RET

; Reads the status until BUSY has dropped (at most 256 times); A = status.
WAITNB: PUSH BC
        LD B,0
WAITN1: LD A,(FDCST)
        LD C,A
        AND 01h
        JP Z,WAITN2
        DEC B
        JP NZ,WAITN1
WAITN2: LD A,C
        POP BC
        RET

ERRRDY: LD B,1
        JP FAIL
ERRRD:  LD B,2
        JP FAIL
ERRBOOT:
        LD B,3
        JP FAIL
ERRFIT: LD B,4
FAIL:   XOR A                   ; back to configuration 0 and the firmware
        LD (CFGRAM),A
        LD A,B
        JP BOOTERR

COUNT:  DB 0
DEST:   DW 0
START:  DW 0
        END
