; Plays a known tune for ever: timer channel 0 as a square wave (mode 3)
; with a known count per note, switched onto the loudspeaker through bit 3
; of I/O offset 32h (set and cleared with the control register at 33h) for
; a known number of cycles, with a known gap after each note. Every note
; also bumps character cell 0 and a graphics byte, and every pass of the
; tune counts itself at 9000h, so that RAM and screen move on with time.
; (Z80 mnemonics, 8080 instructions only.)
TMR0    equ 3B00h       ; channel 0 count
TMRCW   equ 3B03h       ; timer control word
SNDCTL  equ 3B33h       ; bit control of I/O 32h
GAP     equ 8333        ; 200,000 cycles: 4 frames
        org 0
        di
        ld sp, 0B000h
        ld a, 20h       ; configuration 8: graphics window at C000h
        ld (3A7Fh), a
        ld a, 8Eh       ; direct mode, colour 7
        ld (3ABFh), a
        ld hl, 0
        ld (9000h), hl
tune:   ld hl, notes
next:   ld e, (hl)      ; count
        inc hl
        ld d, (hl)
        inc hl
        ld c, (hl)      ; length in turns of the wait loop
        inc hl
        ld b, (hl)
        inc hl
        ld a, d
        or e
        jp z, again
        ld a, 36h       ; channel 0, LSB then MSB, mode 3, binary
        ld (TMRCW), a
        ld a, e
        ld (TMR0), a
        ld a, d
        ld (TMR0), a
        ld a, 07h       ; set bit 3 of 32h: sound on
        ld (SNDCTL), a
        call wait
        ld a, 06h       ; clear bit 3: sound off
        ld (SNDCTL), a
        ld a, (3C00h)   ; character cell 0 counts the notes
        inc a
        ld (3C00h), a
        ld a, (0C000h)  ; and so does a graphics byte
        cpl
        ld (0C000h), a
        push hl
        ld bc, GAP
        call wait
        pop hl
        jp next
again:  ld hl, (9000h)
        inc hl
        ld (9000h), hl
        jp tune
; BC turns of 24 cycles on either processor (8080: 5 + 5 + 4 + 10,
; Z80: 6 + 4 + 4 + 10).
wait:   dec bc
        ld a, b
        or c
        jp nz, wait
        ret
; count, turns: 441 Hz for 10 frames, 220.5 Hz for 5 frames, 882 Hz for
; 8 frames.
notes:  dw 4535, 20833
        dw 9070, 10417
        dw 2268, 16667
        dw 0, 0
